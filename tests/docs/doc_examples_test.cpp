// The extraction of examples from the pages: markers out of place are
// refused, so an example can never be skipped silently.

#include "docs/doc_examples.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

vq_docs::Examples Group(const std::string& page) {
  vq_testing::ScopedTempDir dir;
  vq_testing::WriteFile(dir.Append("page.md"), page);
  vq_testing::WriteFile(dir.Append("other.txt"), "```xml answer\n<vq/>\n```\n");
  return vq_docs::GroupExamples(vq_docs::ReadFencedBlocks(dir.path()));
}

TEST(DocExamples, GroupsEachKindWithWhatBelongsToIt) {
  const vq_docs::Examples examples = Group(
      "text\n```text file a.txt\nA\n```\n```xml answer\n<vq/>\n```\n"
      "```result\nno report\n```\n"
      "```xml path-document\n<a/>\n```\n```path\n/a\n=> <a />\n```\n"
      "```path\n/b\n=> nothing\n```\n"
      "```http command\nGET /~cmd/wake\n```\n```http reply\nHTTP/1.1 200 OK\n```\n"
      "```xml\n<not-run/>\n```\n");
  // (The texts of the blocks, the pages' own examples check when they run.)
  ASSERT_EQ(1u, examples.answers.size());
  EXPECT_EQ(1u, examples.answers[0].files.size());
  EXPECT_EQ("page.md:5", examples.answers[0].answer.where());
  EXPECT_EQ(2u, examples.paths.size());
  EXPECT_EQ(1u, examples.commands.size());
}

TEST(DocExamples, MarkersOutOfPlaceAreRefused) {
  const char* const pages[] = {
      "```xml answer\n<vq/>\n```\n",                          // no result
      "```xml answer\n<vq/>\n```\ntext\n```text\nx\n```\n",   // not a result
      "```result\nno report\n```\n",                          // no answer
      "```text file a\nA\n```\n",                             // file, no answer
      "```path\n/a\n```\n",                                   // no document
      "```http command\nGET /\n```\n",                        // no reply
      "```http reply\nHTTP/1.1 200 OK\n```\n",                // no command
      "```xml answer\n<vq/>\n",                               // never closed
  };
  for (const char* page : pages) {
    EXPECT_THROW(Group(page), std::runtime_error) << page;
  }
}

}  // namespace
