#include "rpn/rpn_path.h"

#include <cstdio>
#include <string>
#include <utility>

RpnPath::RpnPath(const char* text) {
  parse(text);
}

void RpnPath::parse(const char* text) {
  steps_.clear();
  if (!text)
    return;
  const char* p = text;
  // Every step consumes at least its "/" or the white space before the end,
  // so the loop always advances.
  while (*p != '\0') {
    auto step = std::make_shared<RpnChildFilter>();
    p = step->parse(p);
    steps_.push_back(std::move(step));
  }
}

void RpnPath::filter(TiXmlNode* root, std::vector<TiXmlNode*>& result) {
  std::vector<TiXmlNode*> current;
  if (root)
    current.push_back(root);
  std::vector<TiXmlNode*> next;
  for (const std::shared_ptr<RpnChildFilter>& step : steps_) {
    if (current.empty())
      break;
    next.clear();
    step->filter(current, next);
    current.swap(next);
  }
  result.swap(current);
}

void RpnPath::debug() const {
  for (const std::shared_ptr<RpnChildFilter>& step : steps_) {
    std::printf("/");
    step->debug();
  }
  std::printf("\n");
}
