#include "docs/doc_examples.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vq_docs {

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::runtime_error Misplaced(const FencedBlock& block, const std::string& why) {
  return std::runtime_error(block.where() + ": ```" + block.info + " " + why);
}

}  // namespace

std::string FencedBlock::where() const { return page + ":" + std::to_string(line); }
std::string FencedBlock::language() const { return info.substr(0, info.find(' ')); }
std::string FencedBlock::marker() const {
  const size_t space = info.find(' ');
  return space == std::string::npos ? "" : Trim(info.substr(space + 1));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

std::vector<FencedBlock> ReadFencedBlocks(const std::string& directory) {
  std::vector<std::string> pages;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (entry.is_regular_file() && entry.path().extension() == ".md")
      pages.push_back(entry.path().string());
  }
  std::sort(pages.begin(), pages.end());
  std::vector<FencedBlock> blocks;
  for (const std::string& page : pages) {
    std::ifstream in(page);
    if (!in) throw std::runtime_error("cannot read " + page);
    const std::string name = std::filesystem::path(page).filename().string();
    FencedBlock* open = nullptr;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      if (open == nullptr && line.compare(0, 3, "```") == 0) {
        blocks.push_back({name, number, Trim(line.substr(3)), ""});
        open = &blocks.back();
      } else if (open != nullptr) {
        if (Trim(line) == "```") {
          open = nullptr;
        } else {
          open->text += line + "\n";
        }
      }
    }
    if (open != nullptr) throw std::runtime_error(open->where() + ": fence never closed");
  }
  return blocks;
}

Examples GroupExamples(const std::vector<FencedBlock>& blocks) {
  Examples examples;
  std::vector<FencedBlock> files;
  const FencedBlock* pathDocument = nullptr;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const FencedBlock& block = blocks[i];
    const std::string marker = block.marker();
    const FencedBlock* next = i + 1 < blocks.size() ? &blocks[i + 1] : nullptr;
    if (marker.compare(0, 5, "file ") == 0) {
      files.push_back(block);
    } else if (block.language() == "xml" &&
               (marker == "answer" || marker == "answer unsigned" ||
                marker == "answer badly-signed" ||
                marker == "answer without-sig2")) {
      if (next == nullptr || next->info != "result")
        throw Misplaced(block, "must be followed by a ```result block");
      examples.answers.push_back({files, block, *next});
      files.clear();
      ++i;
    } else if (block.info == "result") {
      throw Misplaced(block, "must follow an ```xml answer block");
    } else if (block.language() == "xml" && marker == "path-document") {
      pathDocument = &block;
    } else if (block.info == "path") {
      if (pathDocument == nullptr || pathDocument->page != block.page)
        throw Misplaced(block, "needs an ```xml path-document before it");
      examples.paths.push_back({*pathDocument, block});
    } else if (block.language() == "http" && marker == "command") {
      if (next == nullptr || next->info != "http reply")
        throw Misplaced(block, "must be followed by an ```http reply block");
      examples.commands.push_back({block, *next});
      ++i;
    } else if (block.info == "http reply") {
      throw Misplaced(block, "must follow an ```http command block");
    }
    if (!files.empty() && files.front().page != block.page)
      throw Misplaced(files.front(), "must be followed by an ```xml answer");
  }
  if (!files.empty())
    throw Misplaced(files.front(), "must be followed by an ```xml answer");
  return examples;
}

}  // namespace vq_docs
