#include "app/c_template.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CTemplateTest, ExpandsEveryKindOfReference) {
  CTemplate tmpl;
  tmpl.set("dir.data", "/U/d");
  tmpl.set("amp", "a b&c\xc3");
  tmpl.set("a${b", "AB");
  tmpl.set("outer", "${dir.data}");
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"${dir.data}/x", "/U/d/x"},
      {"${@dir.data}", "%2fU%2fd"},
      {"${@amp}", "a+b%26c%c3"},
      {"${missing}/x", "${missing}/x"},
      {"${@missing}", "${missing}"},
      {"cost $$5 and $5", "cost $5 and $5"},
      {"$", "$"},
      {"$$${dir.data}", "$/U/d"},
      {"$$$${dir.data}", "$${dir.data}"},
      {"${unterminated", "${unterminated"},
      {"${abc $$ x", "${abc $ x"},  // "$$" after a failed "${" still collapses
      {"${a${b}}", "AB}"},          // no nesting: the name is "a${b"
      {"${outer}", "${dir.data}"},  // one pass only
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, tmpl.parse(c.text)) << c.text;
  }
  EXPECT_EQ("", tmpl.parse(nullptr));
  tmpl.clear("dir.data");
  EXPECT_EQ("${dir.data}/x", tmpl.parsef("${%s}/x", "dir.data"));
  const std::string longText(3000, 'x');
  EXPECT_EQ(CTemplate::kFormatBufferSize - 1,
            tmpl.parsef("%s", longText.c_str()).size());
}

}  // namespace
