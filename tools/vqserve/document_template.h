#ifndef VQ_VQSERVE_DOCUMENT_TEMPLATE_H_
#define VQ_VQSERVE_DOCUMENT_TEMPLATE_H_

#include <string>
#include <vector>

#include "vqserve/download_folder.h"

namespace vqtools {

// Fills in the server's own placeholders in an action document, so that
// documents can point at downloads without knowing the port:
//   ${server.base}          e.g. http://127.0.0.1:8123
//   ${download.base}        e.g. http://127.0.0.1:8123/files
//   ${download.md5:NAME}    MD5 (32 lower-case hex digits) of NAME in the
//                           download folder
//   ${download.sha256:NAME} SHA-256 (64 lower-case hex digits) of NAME
// Every other "${...}" is left alone: those are the agent's own variables.
// A ${download.md5:NAME} whose file cannot be read stays unexpanded and a
// warning is added, so that the agent's digest check visibly fails.
class DocumentTemplate {
 public:
  DocumentTemplate(std::string server_base,
                   std::string download_base,
                   const DownloadFolder* downloads);

  std::string expand(const std::string& text,
                     std::vector<std::string>* warnings) const;

 private:
  const std::string server_base_;
  const std::string download_base_;
  const DownloadFolder* const downloads_;  // Not owned; may be closed.
};

}  // namespace vqtools

#endif  // VQ_VQSERVE_DOCUMENT_TEMPLATE_H_
