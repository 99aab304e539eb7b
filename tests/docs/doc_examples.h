#ifndef VQ_TESTS_DOCS_DOC_EXAMPLES_H_
#define VQ_TESTS_DOCS_DOC_EXAMPLES_H_

#include <string>
#include <vector>

namespace vq_docs {

// One fenced block of a Markdown page: ```INFO ... ```.
struct FencedBlock {
  std::string page;  // file name, e.g. "answers.md"
  int line = 0;      // line of the opening fence, from 1
  std::string info;  // the info string after the fence, trimmed
  std::string text;  // the lines between the fences, each ending in "\n"

  // "answers.md:120", for failure messages.
  std::string where() const;
  // The info string's first word ("xml" of "xml answer") and the rest.
  std::string language() const;
  std::string marker() const;
};

// The fenced blocks of every "*.md" file of `directory`, pages in name order,
// blocks in page order. Throws std::runtime_error when the folder cannot be
// read or a fence is left open.
std::vector<FencedBlock> ReadFencedBlocks(const std::string& directory);

// The runnable examples of the pages. The markers, by kind:
//   answer documents  ```LANG file NAME  (optional, any number) a file of the
//                                         data directory written first
//                     ```xml answer       the document the update server
//                                         sends, signed ("answer unsigned":
//                                         without the signature header,
//                                         "answer badly-signed": with a
//                                         signature of other bytes,
//                                         "answer without-sig2": without
//                                         "xxx-vq-sig2")
//                     ```result           what must hold afterwards
//   path language     ```xml path-document the document later paths run on
//                     ```path             expressions, each followed by its
//                                         "=> " result lines
//   command server    ```http command     a request
//                     ```http reply       the whole reply, byte for byte
struct AnswerExample {
  std::vector<FencedBlock> files;
  FencedBlock answer;
  FencedBlock result;
};
struct PathExample {
  FencedBlock document;
  FencedBlock paths;
};
struct CommandExample {
  FencedBlock command;
  FencedBlock reply;
};
struct Examples {
  std::vector<AnswerExample> answers;
  std::vector<PathExample> paths;
  std::vector<CommandExample> commands;
};

// Groups `blocks` into examples. Throws std::runtime_error, naming the
// block, for a marker out of place: an answer without its result, a result
// or reply without what it follows, a path before any path-document.
Examples GroupExamples(const std::vector<FencedBlock>& blocks);

// Splits `text` into lines without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vq_docs

#endif  // VQ_TESTS_DOCS_DOC_EXAMPLES_H_
