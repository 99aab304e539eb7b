#include "transact/faulty_file_system.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "testing/file_util.h"

namespace transact_test {

namespace fs = std::filesystem;

namespace {

std::string parentOf(const std::string& key) {
  const std::string parent = fs::path(key).parent_path().string();
  return parent.empty() ? "." : parent;
}

bool isBelow(const std::string& key, const std::string& directory) {
  return key == directory || key.rfind(directory + "/", 0) == 0;
}

}  // namespace

FaultyFileSystem::FaultyFileSystem() : root_(fs::current_path().string()) { snapshot(); }

std::string FaultyFileSystem::key(const std::string& name) const {
  fs::path path(name);
  if (path.is_relative()) path = fs::current_path() / path;
  return path.lexically_normal().lexically_relative(root_).string();
}

void FaultyFileSystem::snapshot() {
  files_.clear();
  directories_ = {"."};
  durableListings_.clear();
  durableData_.clear();
  std::map<ino_t, int> byInode;  // hard links share one identity
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    const std::string relative = entry.path().lexically_relative(root_).string();
    if (entry.is_directory()) {
      directories_.insert(relative);
      continue;
    }
    struct stat info {};
    ::lstat(entry.path().c_str(), &info);
    auto found = byInode.find(info.st_ino);
    if (found == byInode.end()) {
      found = byInode.emplace(info.st_ino, nextFile_++).first;
      durableData_[found->second] = vq_testing::ReadIfThere(entry.path().string());
    }
    files_[relative] = found->second;
  }
  for (const std::string& directory : directories_) {
    durableListings_[directory] = listing(directory);
  }
}

FaultyFileSystem::Listing FaultyFileSystem::listing(const std::string& directory) const {
  Listing entries;
  const auto add = [&](const std::string& path, Entry entry) {
    if (path != "." && parentOf(path) == directory) {
      entries[fs::path(path).filename().string()] = entry;
    }
  };
  for (const auto& [path, file] : files_) add(path, {false, file});
  for (const std::string& path : directories_) add(path, {true, 0});
  return entries;
}

void FaultyFileSystem::recordFileData(int file, const std::string& path) {
  const std::string& data = durableData_[file] = vq_testing::ReadIfThere(root_ + "/" + path);
  // The first durable COMMIT (state 4 at offset 0) decides the outcome.
  const std::uint32_t commit = 4;
  if (path == ".transaction.dat" && commitDurableAt_ == 0 &&
      data.compare(0, 4, reinterpret_cast<const char*>(&commit), 4) == 0) {
    commitDurableAt_ = calls_;
  }
}

bool FaultyFileSystem::failing(apr_status_t* status, const std::string& name, bool isFlush) {
  if (watch_) watch_();
  ++calls_;
  if (isFlush && ++flushes_ == loseAt_) dead_ = true;
  if (dead_) {
    *status = APR_FROM_OS_ERROR(EIO);
    return true;
  }
  if (calls_ == failAt_) {
    *status = error_;
    const std::string path = key(name);
    hitDurability_ = isFlush || path.rfind(".transaction.dat", 0) == 0 ||
                     path.find(".bak.tr") != std::string::npos;
    return true;
  }
  return false;
}

void FaultyFileSystem::build(const std::string& directory, const std::string& real) {
  const auto found = durableListings_.find(directory);
  if (found == durableListings_.end()) return;  // never flushed: empty
  for (const auto& [name, entry] : found->second) {
    const std::string child = directory == "." ? name : directory + "/" + name;
    const std::string path = real + "/" + name;
    if (entry.directory) {
      fs::create_directory(path);
      build(child, path);
    } else {
      const auto data = durableData_.find(entry.file);
      std::ofstream(path, std::ios::binary)
          << (data == durableData_.end() ? std::string() : data->second);
    }
  }
}

void FaultyFileSystem::powerLoss() {
  for (const auto& entry : fs::directory_iterator(root_)) fs::remove_all(entry.path());
  build(".", root_);
  calls_ = flushes_ = failAt_ = loseAt_ = commitDurableAt_ = 0;
  hitDurability_ = dead_ = false;
  snapshot();
}

apr_status_t FaultyFileSystem::writeFile(const std::string& name,
                                         const std::string& bytes,
                                         apr_fileperms_t permissions) {
  apr_status_t status = APR_SUCCESS;
  const bool fails = failing(&status, name);
  if (fails && dead_) return status;
  const apr_status_t written = real().writeFile(
      name, fails ? bytes.substr(0, bytes.size() / 2) : bytes, permissions);
  if (written == APR_SUCCESS && !files_.count(key(name))) {
    files_[key(name)] = nextFile_++;
  }
  return fails ? status : written;
}

apr_status_t FaultyFileSystem::flushFile(const std::string& name) {
  return pass(name, [&] {
    const auto found = files_.find(key(name));
    if (found == files_.end()) return APR_FROM_OS_ERROR(ENOENT);
    recordFileData(found->second, found->first);
    return APR_SUCCESS;
  }, true);
}

apr_status_t FaultyFileSystem::flushDirectory(const std::string& name) {
  return pass(name, [&] {
    const std::string directory = key(name);
    if (!directories_.count(directory)) return APR_FROM_OS_ERROR(ENOENT);
    durableListings_[directory] = listing(directory);
    // A directory made durable here with entries of its own never flushed
    // comes back empty.
    for (const auto& [child, entry] : durableListings_[directory]) {
      const std::string path = directory == "." ? child : directory + "/" + child;
      if (entry.directory) durableListings_.emplace(path, Listing());
    }
    return APR_SUCCESS;
  }, true);
}

apr_status_t FaultyFileSystem::flushFileSystemOf(const std::string& name) {
  return pass(name, [&] {
    for (const auto& [path, file] : files_) recordFileData(file, path);
    for (const auto& directory : directories_) durableListings_[directory] = listing(directory);
    return APR_SUCCESS;
  }, true);
}

apr_status_t FaultyFileSystem::rename(const std::string& from, const std::string& to) {
  return pass(from, [&] {
    const apr_status_t status = real().rename(from, to);
    if (status == APR_SUCCESS && files_.count(key(from))) {
      files_[key(to)] = files_[key(from)];
      files_.erase(key(from));
    }
    return status;
  });
}

apr_status_t FaultyFileSystem::link(const std::string& from, const std::string& to) {
  return pass(from, [&] {
    const apr_status_t status = real().link(from, to);
    if (status == APR_SUCCESS) files_[key(to)] = files_[key(from)];
    return status;
  });
}

apr_status_t FaultyFileSystem::copy(const std::string& from, const std::string& to,
                                    apr_fileperms_t permissions) {
  return pass(to, [&] {
    const apr_status_t status = real().copy(from, to, permissions);
    if (fs::exists(root_ + "/" + key(to)) && !files_.count(key(to))) files_[key(to)] = nextFile_++;
    return status;
  });
}

apr_status_t FaultyFileSystem::remove(const std::string& name) {
  return pass(name, [&] {
    const apr_status_t status = real().remove(name);
    if (status == APR_SUCCESS) files_.erase(key(name)), directories_.erase(key(name));
    return status;
  });
}

apr_status_t FaultyFileSystem::makeDirectories(const std::string& name,
                                               apr_fileperms_t permissions) {
  return pass(name, [&] {
    const apr_status_t status = real().makeDirectories(name, permissions);
    for (std::string path = key(name); status == APR_SUCCESS && path != ".";
         path = parentOf(path)) {
      directories_.insert(path);
    }
    return status;
  });
}

apr_status_t FaultyFileSystem::removeTree(const std::string& name) {
  return pass(name, [&] {
    const apr_status_t status = real().removeTree(name);
    const std::string top = key(name);
    for (auto it = files_.begin(); it != files_.end();) {
      it = isBelow(it->first, top) ? files_.erase(it) : std::next(it);
    }
    for (auto it = directories_.begin(); it != directories_.end();) {
      it = isBelow(*it, top) && *it != "." ? directories_.erase(it) : std::next(it);
    }
    return status;
  });
}

}  // namespace transact_test
