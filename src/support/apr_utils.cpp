#include "support/apr_utils.h"

#include <apr_file_io.h>
#include <apr_strings.h>
#include <log4cpp/Category.hh>

#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>

#include "support/apr_pool.h"
#include "support/path.h"

namespace {

constexpr apr_size_t kReadBlock = 8192;

// Closes an APR directory handle on every way out of a walk.
class DirHandle {
 public:
  DirHandle() = default;
  ~DirHandle() {
    if (dir_)
      apr_dir_close(dir_);
  }
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  apr_status_t open(const char* path, apr_pool_t* pool) {
    return apr_dir_open(&dir_, path, pool);
  }
  apr_dir_t* get() const { return dir_; }

 private:
  apr_dir_t* dir_ = nullptr;
};

bool IsDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// apr_dir_read reports APR_INCOMPLETE when it could not fill every wanted
// field; name and type are what the walks rely on.
bool ReadOk(apr_status_t status, const apr_finfo_t& info) {
  return status == APR_SUCCESS ||
         (status == APR_INCOMPLETE && (info.valid & APR_FINFO_TYPE));
}

struct CopyContext {
  std::string destination;
  apr_copy_directory_fn* callback;
  void* callbackData;
};

[[noreturn]] void CopyFailure(const std::string& message) {
  std::cerr << "apr_copy_directory_walk(..) : " << message << std::endl;
  throw std::runtime_error(message);
}

bool CopyStep(void* data,
              apr_finfo_t* info,
              const char* relativePath,
              const char* fullPath,
              apr_pool_t* pool) {
  const CopyContext& context = *static_cast<const CopyContext*>(data);
  std::cout << "apr_copy_directory_walk(..," << relativePath << ", " << fullPath
            << ",..)" << std::endl;
  path target(context.destination);
  target << relativePath;
  if (target.basename() == ".svn") {
    std::cout << "apr_copy_directory_walk(..) IGNORING " << fullPath
              << std::endl;
    return false;
  }
  if (info->filetype == APR_DIR) {
    const apr_status_t status =
        apr_dir_make(target.c_str(), APR_OS_DEFAULT, pool);
    if (status != APR_SUCCESS && !APR_STATUS_IS_EEXIST(status)) {
      CopyFailure("Couldn't create directory: " + target.str() + " " +
                  aprStatus(status));
    }
  } else {
    const apr_status_t status =
        apr_file_copy(fullPath, target.c_str(), APR_FILE_SOURCE_PERMS, pool);
    if (status != APR_SUCCESS) {
      CopyFailure(std::string("Copy of file failed: ") + fullPath + " to " +
                  target.str() + " (APR ERROR " + aprStatus(status) + ")");
    }
  }
  if (context.callback) {
    context.callback(context.callbackData, target.c_str(), pool);
  }
  return true;
}

}  // namespace

bool apr_file_exists(const char* path, apr_pool_t* pool) {
  if (path == nullptr)
    return false;
  apr::Pool scratch(pool);
  apr_file_t* file = nullptr;
  // Non-blocking: opening a FIFO for reading would otherwise wait for a
  // writer, holding whichever thread asked.
  if (apr_file_open(&file, path, APR_FOPEN_READ | APR_FOPEN_NONBLOCK,
                    APR_OS_DEFAULT, scratch) != APR_SUCCESS) {
    return false;
  }
  apr_file_close(file);
  return true;
}

bool apr_dir_exists(const char* path, apr_pool_t* pool) {
  if (path == nullptr)
    return false;
  apr::Pool scratch(pool);
  DirHandle dir;
  return dir.open(path, scratch) == APR_SUCCESS;
}

bool apr_isdir(const char* path, apr_pool_t* pool) {
  apr_finfo_t info;
  std::memset(&info, 0, sizeof(info));
  const apr_status_t status =
      path ? apr_stat(&info, path, APR_FINFO_TYPE, pool) : APR_EINVAL;
  if (status != APR_SUCCESS &&
      !(status == APR_INCOMPLETE && (info.valid & APR_FINFO_TYPE))) {
    throw std::runtime_error(std::string("apr_stat failed in apr_isdir(") +
                             (path ? path : "") + ",..)");
  }
  return info.filetype == APR_DIR;
}

long apr_file_size(const char* path, apr_pool_t* pool) {
  if (path == nullptr)
    return 0;
  apr_finfo_t info;
  std::memset(&info, 0, sizeof(info));
  const apr_status_t status = apr_stat(&info, path, APR_FINFO_SIZE, pool);
  if (status != APR_SUCCESS && !(info.valid & APR_FINFO_SIZE))
    return 0;
  return static_cast<long>(info.size);
}

std::string apr_file_readString(const char* path, apr_pool_t* pool) {
  apr::Pool scratch(pool);
  apr_file_t* file = nullptr;
  if (path == nullptr ||
      apr_file_open(&file, path, APR_FOPEN_READ | APR_FOPEN_BINARY,
                    APR_OS_DEFAULT, scratch) != APR_SUCCESS) {
    return "ERROR: Failed to open";
  }
  std::string contents;
  char block[kReadBlock];
  for (;;) {
    apr_size_t count = sizeof(block);
    const apr_status_t status = apr_file_read(file, block, &count);
    if (count > 0)
      contents.append(block, count);
    if (status != APR_SUCCESS || count == 0)
      break;
  }
  apr_file_close(file);
  return contents;
}

void apr_dir_walk(const char* root,
                  apr_dir_walk_pre_fn* pre,
                  void* preData,
                  apr_dir_walk_post_fn* post,
                  void* postData,
                  apr_pool_t* pool,
                  int wanted,
                  int rootLength) {
  const std::string rootText = root ? root : "";
  if (rootLength < 0) {
    rootLength =
        static_cast<int>(path(rootText).str_without_trailing_slash().size());
  }
  // Entry paths and directory handles live in a sub-pool per directory, so a
  // deep or wide tree does not grow the caller's pool.
  apr::Pool scratch(pool);
  DirHandle dir;
  if (dir.open(rootText.c_str(), scratch) != APR_SUCCESS) {
    log4cpp::Category::getInstance("apr.utils")
        .error("Couldn't open: " + rootText);
    throw std::runtime_error("Couldn't open " + rootText);
  }
  const apr_int32_t flags = APR_FINFO_NAME | APR_FINFO_TYPE | wanted;
  for (;;) {
    apr_finfo_t info;
    std::memset(&info, 0, sizeof(info));
    const apr_status_t status = apr_dir_read(&info, flags, dir.get());
    if (!ReadOk(status, info))
      break;
    if (info.name == nullptr) {
      throw std::runtime_error("apr_dir_read returned finfo.name NULL in dir " +
                               rootText);
    }
    if (IsDotOrDotDot(info.name))
      continue;
    path full(rootText);
    full << info.name;
    const std::string fullText = full.str();
    const std::string relative =
        fullText.size() > static_cast<std::size_t>(rootLength)
            ? fullText.substr(static_cast<std::size_t>(rootLength) + 1)
            : std::string();
    bool descend = true;
    if (pre) {
      descend =
          pre(preData, &info, relative.c_str(), fullText.c_str(), scratch);
    }
    if (descend && info.filetype == APR_DIR) {
      apr_dir_walk(fullText.c_str(), pre, preData, post, postData, scratch,
                   wanted, rootLength);
    }
    if (post)
      post(postData, &info, relative.c_str(), fullText.c_str(), scratch);
  }
}

void apr_copy_directory(const char* source,
                        const char* destination,
                        apr_copy_directory_fn* callback,
                        void* callbackData,
                        apr_pool_t* pool) {
  const std::string sourceText = source ? source : "";
  const std::string destinationText = destination ? destination : "";
  const apr_status_t status =
      apr_dir_make_recursive(destinationText.c_str(), APR_OS_DEFAULT, pool);
  if (status != APR_SUCCESS && !APR_STATUS_IS_EEXIST(status)) {
    const std::string message =
        "Could not create destination directory: " + destinationText;
    std::cerr << "apr_copy_directory(const char*, const char*, "
                 "apr_dir_walk_pre_fn*, apr_pool_t*): "
              << message << std::endl;
    throw std::runtime_error(message);
  }
  std::cout << "apr_copy_directory(" << sourceText << ", " << destinationText
            << ",..)" << std::endl;
  CopyContext context{destinationText, callback, callbackData};
  apr_dir_walk(sourceText.c_str(), CopyStep, &context, nullptr, nullptr, pool,
               0, -1);
}

apr_status_t apr_dir_remove_recursive(const char* dirPath, apr_pool_t* pool) {
  log4cpp::Category& log =
      log4cpp::Category::getInstance("util.apr.dir_remove");
  const std::string dirText = dirPath ? dirPath : "";
  if (log.isDebugEnabled()) {
    log.debug("apr_dir_remove_recursive(%s, ..)", dirText.c_str());
  }
  apr::Pool scratch(pool);
  {
    DirHandle dir;
    apr_status_t status = dir.open(dirText.c_str(), scratch);
    if (status != APR_SUCCESS) {
      logApr(log4cpp::Priority::ERROR, log, status, "Opening directory %s",
             dirText.c_str());
      return status;
    }
    for (;;) {
      apr_finfo_t info;
      std::memset(&info, 0, sizeof(info));
      status = apr_dir_read(&info, APR_FINFO_NAME | APR_FINFO_TYPE, dir.get());
      if (!ReadOk(status, info))
        break;
      if (info.name == nullptr) {
        log.error("apr_dir_read returned finfo.name of NULL");
        return 20001;
      }
      if (IsDotOrDotDot(info.name))
        continue;
      const std::string child = dirText + "/" + info.name;
      if (info.filetype == APR_DIR) {
        status = apr_dir_remove_recursive(child.c_str(), scratch);
        if (status != APR_SUCCESS)
          return status;
      } else if (info.filetype == APR_REG || info.filetype == APR_LNK) {
        if (log.isDebugEnabled())
          log.debug("Removing file %s", child.c_str());
        status = apr_file_remove(child.c_str(), scratch);
        if (status != APR_SUCCESS) {
          logApr(log4cpp::Priority::ERROR, log, status, "Removing file %s",
                 child.c_str());
          return status;
        }
      } else {
        log.warn("File type of %s not recognized (%d)", child.c_str(),
                 static_cast<int>(info.filetype));
      }
    }
  }
  // The handle is closed before the directory itself goes.
  return apr_dir_remove(dirText.c_str(), scratch);
}
