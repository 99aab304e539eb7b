// The "write" action: the element's text becomes a file.

#include <apr_file_info.h>
#include <apr_file_io.h>
#include <log4cpp/Category.hh>
#include <tinyxml.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "response/action_permissions.h"
#include "response/vq_response_processor.h"
#include "response/xml_text.h"
#include "support/apr_file.h"
#include "support/path.h"
#include "support/source_location.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_file_move.h"

void VqResponseProcessor::ProcessActionWrite(TiXmlElement* element,
                                             TransactionEngine& engine) {
  const char* filename = element->Attribute("filename");
  if (!filename) {
    throw VqException(url.c_str(), VqException::zone(1),
                      VqException::severity(2), kErrWriteNoFilename,
                      "Write was : %s", nodeAsXml(*element).c_str());
  }
  const std::string target = expand(filename);
  const std::string temporary = target + ".tmp";
  const int permissions =
      actionPermissions(element, url, kErrWriteBadPerm);

  // Created at once and kept even when the transaction fails.
  const std::string directory = path(target).parent();
  if (!directory.empty()) {
    const apr_status_t status = apr_dir_make_recursive(
        directory.c_str(), permissions | kOwnerAllPermissions, pool);
    if (status != APR_SUCCESS) {
      logger.error("apr_dir_make_recursive(" + directory + " failed.");
      throw VqException(url.c_str(), VqException::zone(0),
                        VqException::severity(1), kErrWriteOpen, status,
                        "Failed to create directory %s for write action",
                        directory.c_str());
    }
  }

  // Parsed with white-space condensing: runs of white space are single
  // blanks, except inside a CDATA section, which arrives verbatim.
  const char* text = element->GetText();
  if (!text) {
    // Deliberately not a VqException: an empty write ends the whole
    // document, as a malformed document would.
    throw std::logic_error("write element has no text: " +
                           nodeAsXml(*element));
  }

  std::unique_ptr<apr::File> file;
  try {
    file = std::make_unique<apr::File>(
        temporary.c_str(),
        APR_FOPEN_CREATE | APR_FOPEN_WRITE | APR_FOPEN_TRUNCATE |
            APR_FOPEN_BINARY,
        permissions, pool);
  } catch (const apr::Exception& e) {
    logger.error("Failed to open " + temporary);
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(1), kErrWriteOpen, e.status(),
                      "Failed to open %s", temporary.c_str());
  }
  try {
    file->write(text, std::strlen(text));
    // A failed close can lose written data, so it counts as a failed write.
    file->close();
  } catch (const apr::Exception& e) {
    logger.error("apr_file_write failed on " + temporary + " (" +
                 VQ_SOURCE_LOCATION + ")");
    file.reset();
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(1), kErrWriteFailed, e.status(),
                      "Failed to write %s", temporary.c_str());
  }
  if (logger.isDebugEnabled()) {
    logger.debug("Writing temporary file " + temporary + " succeeded.");
  }

  auto move = std::make_unique<TransactionalFileMove>(pool);
  move->setSourceFilename(temporary);
  move->setDestinationFilename(target);
  move->setPermissions(permissions);
  engine << move.release();
}
