#include "support/c_template.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

TEST(CTemplateTest, ExpandsEveryKindOfReference) {
  CTemplate tmpl;
  tmpl.set("dir.data", "/U/d");
  tmpl.set("amp", "a b&c/\xc3");
  tmpl.set("a${b", "AB");
  tmpl.set("outer", "${dir.data}");
  const std::pair<const char*, const char*> cases[] = {  // text, expected
      {"${dir.data}/x", "/U/d/x"},
      {"${@amp}", "a+b%26c%2f%c3"},
      {"${missing}/${@missing}", "${missing}/${missing}"},
      {"cost $$5 and $5 $", "cost $5 and $5 $"},
      {"$$$${dir.data}", "$${dir.data}"},
      {"${abc $$ x", "${abc $ x"},  // "$$" after a failed "${" still collapses
      {"${a${b}}", "AB}"},          // no nesting: the name is "a${b"
      {"${outer}", "${dir.data}"},  // one pass only
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(expected, tmpl.parse(text)) << text;
  EXPECT_EQ("", tmpl.parse(nullptr));
  EXPECT_EQ("/U/d/x", tmpl.parsef("${%s}/x", "dir.data"));
  const std::string longText(3000, 'x');
  EXPECT_EQ(CTemplate::kFormatBufferSize - 1,
            tmpl.parsef("%s", longText.c_str()).size());
}

}  // namespace
