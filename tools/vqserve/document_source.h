#ifndef VQ_VQSERVE_DOCUMENT_SOURCE_H_
#define VQ_VQSERVE_DOCUMENT_SOURCE_H_

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vqtools {

// Where the answers to one page come from: one fixed document, or the
// documents of a folder handed out one per request in name order. After the
// last document the source either keeps answering with the last one or,
// when looping, starts again at the first. Files are read when they are
// served, so a test may rewrite one between requests. Thread-safe.
class DocumentSource {
 public:
  // |path| names a file (always served) or a folder (its regular files whose
  // names do not start with '.', sorted bytewise by name). Returns null and
  // fills |error| when the path is missing or the folder holds no document.
  static std::unique_ptr<DocumentSource> fromPath(const std::string& path,
                                                  bool loop,
                                                  std::string* error);

  // Always answers with |text|.
  static std::unique_ptr<DocumentSource> fromText(std::string text);

  // Takes the next document and reads it into |text|. Returns false and
  // fills |error| when its file cannot be read; the turn is used up anyway.
  bool next(std::string* text, std::string* error);

  // The file names in serving order (empty for a text source).
  const std::vector<std::string>& files() const { return files_; }

 private:
  DocumentSource(std::vector<std::string> files, bool loop, std::string text);

  const std::vector<std::string> files_;
  const bool loop_;
  const std::string text_;
  std::mutex mutex_;
  size_t served_ = 0;  // Guarded by mutex_.
};

}  // namespace vqtools

#endif  // VQ_VQSERVE_DOCUMENT_SOURCE_H_
