// The "web" action: a file downloaded and checked against its MD5 digest
// and, when the action names one, its SHA-256 digest.

#include <apr_errno.h>
#include <apr_file_info.h>
#include <apr_file_io.h>
#include <log4cpp/Category.hh>
#include <sys/stat.h>
#include <tinyxml.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "response/action_permissions.h"
#include "response/vq_response_processor.h"
#include "response/xml_text.h"
#include "support/apr_exception.h"
#include "support/apr_permissions.h"
#include "support/apr_utils.h"
#include "support/source_location.h"
#include "support/vq_exception.h"
#include "transact/transaction_engine.h"
#include "transact/transactional_file_move.h"
#include "web/apple_web_download.h"
#include "web/ssl_crypto.h"

namespace {

// The file's digest, or false with the reason in `why` when it cannot be
// computed (no such file, a directory, unreadable).
bool digestOf(const std::string& file, apr_pool_t* pool, std::string* digest,
              std::string* why) {
  // Opening a FIFO would block and a device would never end: only a regular
  // file has a digest worth comparing.
  struct stat info;
  if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *why = file + " is not a regular file";
    return false;
  }
  try {
    *digest = ssl_md5(file.c_str(), pool);
    return true;
  } catch (const apr::Exception& e) {
    *why = e.what();
  } catch (const std::runtime_error& e) {
    *why = e.what();
  }
  return false;
}

// The "sha256" attribute compared without regard to letter case: unlike
// "md5", whose exact-text comparison older servers may rely on, it is new,
// and a digest in capitals is still the same digest.
bool sameSha256(const std::string& digest, const char* attribute) {
  if (attribute == nullptr || digest.size() != std::strlen(attribute)) {
    return false;
  }
  for (std::size_t i = 0; i < digest.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(attribute[i])) != digest[i]) {
      return false;
    }
  }
  return true;
}

bool isDirectory(const std::string& file, apr_pool_t* pool) {
  apr_finfo_t info;
  return apr_stat(&info, file.c_str(), APR_FINFO_TYPE, pool) == APR_SUCCESS &&
         info.filetype == APR_DIR;
}

}  // namespace

// True when no SHA-256 digest is asked for, or the current file has it.
bool VqResponseProcessor::currentSha256Matches(const std::string& file,
                                               const char* sha256) {
  if (sha256 == nullptr) return true;
  try {
    return sameSha256(ssl_sha256(file.c_str(), pool), sha256);
  } catch (const apr::Exception&) {
    return false;
  } catch (const std::runtime_error&) {
    return false;
  }
}

void VqResponseProcessor::ProcessActionWeb(TiXmlElement* element,
                                           TransactionEngine& engine) {
  const char* source = element->Attribute("url");
  const char* filename = element->Attribute("filename");
  const char* md5 = element->Attribute("md5");
  // Optional; when present the file must match it as well as "md5".
  const char* sha256 = element->Attribute("sha256");
  const struct {
    bool missing;
    VqErrorCode code;
  } required[] = {{!source, kErrWebNoUrl},
                  {!filename, kErrWebNoFilename},
                  {!md5, kErrWebNoMd5}};
  for (const auto& check : required) {
    if (check.missing) {
      throw VqException(url.c_str(), VqException::zone(1),
                        VqException::severity(2), check.code,
                        "Element is: %s", nodeAsXml(*element).c_str());
    }
  }
  const std::string target = expand(filename);
  const int permissions = actionPermissions(element, url, kErrWebBadPerm);

  // A digest that cannot be computed is reported like a mismatch: the
  // transaction fails in order instead of the error escaping the agent.
  auto digestFailure = [&](const std::string& reason) {
    logger.warn(std::string("md5 of downloaded file md5(") + source +
                ") could not be computed: " + reason + " (" +
                VQ_SOURCE_LOCATION + ")");
    return VqException(url.c_str(), VqException::zone(0),
                       VqException::severity(0), kErrWebMd5Mismatch,
                       "Downloaded md5 of %s was %s", source,
                       ("unavailable: " + reason).c_str());
  };

  if (apr_file_exists(target.c_str(), pool)) {
    // The target can never be replaced by a file; downloading would be
    // wasted.
    if (isDirectory(target, pool)) {
      throw digestFailure(target + " is a directory");
    }
    std::string current;
    std::string why;
    // An unreadable current file is simply not current: download it again.
    if (digestOf(target, pool, &current, &why) && current == md5 &&
        currentSha256Matches(target, sha256)) {
      logger.info("Current file " + target +
                  " already matches md5 - no download occurring.");
      const apr_status_t status =
          apr_file_perms_set(target.c_str(), permissions);
      if (status != APR_SUCCESS && !APR_STATUS_IS_INCOMPLETE(status) &&
          !APR_STATUS_IS_ENOTIMPL(status)) {
        throw VqException(
            url.c_str(), VqException::zone(0), VqException::severity(1),
            kErrWebSetPermissions, status,
            "Failed to set permissions of %s to %s (%s:%d)", target.c_str(),
            apr_strperm(permissions), VQ_SOURCE_FILE, __LINE__);
      }
      return;
    }
  }

  std::string downloaded;
  std::string downloadedSha256;
  {
    AppleWebDownload download(pool);
    // Digested while it streams in: no second pass over the file.
    download.setSha256WhileStreaming(sha256 != nullptr);
    download.setCancelCheck(cancelled_);
    download.setUrl(expand(source).c_str());
    download.get();
    const char* name = download.DownloadFilename();
    downloaded = name ? name : "";
    if (sha256) downloadedSha256 = download.DownloadSha256();
  }

  std::string digest;
  std::string why;
  if (downloaded.empty() || !digestOf(downloaded, pool, &digest, &why)) {
    if (!downloaded.empty()) apr_file_remove(downloaded.c_str(), pool);
    throw digestFailure(why.empty() ? "no file was downloaded" : why);
  }
  if (digest != md5) {
    const apr_status_t status = apr_file_remove(downloaded.c_str(), pool);
    if (status != APR_SUCCESS) {
      logger.warn("Failed to remove web download temporary file " +
                  downloaded + " (" + VQ_SOURCE_LOCATION + ")");
    }
    logger.warn(std::string("md5 of downloaded file md5(") + source +
                ")=" + digest + " does not match md5 from server=" + md5 +
                " (" + VQ_SOURCE_LOCATION + ")");
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(0), kErrWebMd5Mismatch,
                      "Downloaded md5 of %s was %s", source, digest.c_str());
  }

  if (sha256 && !sameSha256(downloadedSha256, sha256)) {
    const apr_status_t status = apr_file_remove(downloaded.c_str(), pool);
    if (status != APR_SUCCESS) {
      logger.warn("Failed to remove web download temporary file " +
                  downloaded + " (" + VQ_SOURCE_LOCATION + ")");
    }
    logger.warn(std::string("sha256 of downloaded file sha256(") + source +
                ")=" + downloadedSha256 +
                " does not match sha256 from server=" + sha256 + " (" +
                VQ_SOURCE_LOCATION + ")");
    throw VqException(url.c_str(), VqException::zone(0),
                      VqException::severity(0), kErrWebMd5Mismatch,
                      "Downloaded sha256 of %s was %s", source,
                      downloadedSha256.c_str());
  }

  // The download stays until the move's cleanup deletes it.
  auto move = std::make_unique<TransactionalFileMove>(pool);
  move->setSourceFilename(downloaded);
  move->setDestinationFilename(target);
  move->setPermissions(permissions);
  engine << move.release();
}
