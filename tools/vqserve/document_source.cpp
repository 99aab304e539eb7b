#include "vqserve/document_source.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

namespace vqtools {

namespace {

bool isRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool readFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream content;
  if (in.peek() != std::ifstream::traits_type::eof())
    content << in.rdbuf();
  if (in.bad())
    return false;
  *text = content.str();
  return true;
}

}  // namespace

std::unique_ptr<DocumentSource> DocumentSource::fromPath(
    const std::string& path,
    bool loop,
    std::string* error) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    *error = "no such file or folder: " + path;
    return nullptr;
  }
  std::vector<std::string> files;
  if (S_ISDIR(info.st_mode)) {
    struct DirCloser {
      void operator()(DIR* dir) const { ::closedir(dir); }
    };
    std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    if (!dir) {
      *error = "cannot read folder " + path;
      return nullptr;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.empty() || name[0] == '.')
        continue;
      const std::string file = path + "/" + name;
      if (isRegularFile(file))
        files.push_back(file);
    }
    if (files.empty()) {
      *error = "folder " + path + " holds no document";
      return nullptr;
    }
    std::sort(files.begin(), files.end());
  } else if (S_ISREG(info.st_mode)) {
    files.push_back(path);
  } else {
    *error = path + " is neither a file nor a folder";
    return nullptr;
  }
  return std::unique_ptr<DocumentSource>(
      new DocumentSource(std::move(files), loop, std::string()));
}

std::unique_ptr<DocumentSource> DocumentSource::fromText(std::string text) {
  return std::unique_ptr<DocumentSource>(
      new DocumentSource({}, false, std::move(text)));
}

DocumentSource::DocumentSource(std::vector<std::string> files,
                               bool loop,
                               std::string text)
    : files_(std::move(files)), loop_(loop), text_(std::move(text)) {}

bool DocumentSource::next(std::string* text, std::string* error) {
  if (files_.empty()) {
    *text = text_;
    return true;
  }
  size_t index;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    index =
        loop_ ? served_ % files_.size() : std::min(served_, files_.size() - 1);
    ++served_;
  }
  if (!readFile(files_[index], text)) {
    *error = "cannot read " + files_[index];
    return false;
  }
  return true;
}

}  // namespace vqtools
