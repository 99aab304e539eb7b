// The product's Debian package, built from this build tree, unpacked into a
// temporary root: what it holds runs, and it declares the Debian package of
// every library its executables link.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "testing/file_util.h"
#include "testing/scoped_temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status;
  std::string out;  // standard output and error together
};

// `text` as one word for /bin/sh.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Result Shell(const std::string& command) {
  Result result{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
    result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

bool IsElf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::string(magic, 4) == "\x7f" "ELF";
}

// The package names of a Depends field; every alternative counts.
std::set<std::string> DeclaredPackages(const std::string& depends) {
  static const std::regex kName("(^|[,|])\\s*([a-z0-9][a-z0-9.+-]*)");
  std::set<std::string> names;
  for (std::sregex_iterator it(depends.begin(), depends.end(), kName), end;
       it != end; ++it) {
    names.insert((*it)[2].str());
  }
  return names;
}

// The Debian package that provides the library at `path`. With merged /usr
// a library may be registered under /lib or /usr/lib, so both are tried.
std::string OwningPackage(const std::string& path) {
  std::vector<std::string> candidates = {path};
  if (path.rfind("/usr/", 0) == 0) candidates.push_back(path.substr(4));
  else candidates.push_back("/usr" + path);
  for (const std::string& candidate : candidates) {
    const Result owner = Shell("dpkg-query -S " + Quote(candidate));
    if (owner.status == 0) return owner.out.substr(0, owner.out.find_first_of(":,"));
  }
  return "";
}

TEST(Package, InstallsRunsAndDeclaresEveryLinkedLibrary) {
  vq_testing::ScopedTempDir temp;
  const Result built = Shell(std::string(VQ_CPACK) + " -G DEB --config " +
                             Quote(VQ_CPACK_CONFIG) + " -B " +
                             Quote(temp.Append("out")));
  ASSERT_EQ(0, built.status) << built.out;
  std::string deb;
  for (const auto& entry : fs::directory_iterator(temp.Append("out")))
    if (entry.path().extension() == ".deb") deb = entry.path();
  ASSERT_FALSE(deb.empty()) << built.out;
  const std::string root = temp.Append("root");
  ASSERT_EQ(0, Shell("dpkg-deb -x " + Quote(deb) + " " + Quote(root)).status);

  // The installation runs from the unpacked root and leaves HOME alone.
  const std::string home = temp.Append("home");
  vq_testing::MakeDirs(home);
  const std::string agent =
      root + VQ_PACKAGE_BUNDLE_PATH + "/Contents/MacOS/vqagent";
  const Result version = Shell("HOME=" + Quote(home) + " " + Quote(agent) +
                               " --version");
  EXPECT_EQ(0, version.status);
  EXPECT_EQ(0u, version.out.find("vqagent 1.0 (")) << version.out;
  EXPECT_TRUE(fs::is_empty(home));
  EXPECT_TRUE(vq_testing::PathExists(root + VQ_PACKAGE_BUNDLE_PATH +
                                     "/Contents/MacOS/initial_data"));
  const Result sign = Shell(Quote(root + "/usr/bin/vqsign") + " --help");
  EXPECT_EQ(0, sign.status);
  EXPECT_EQ(0u, sign.out.find("Usage: vqsign")) << sign.out;
  // /usr/bin/vqagent starts the installed executable by its full path.
  EXPECT_NE(std::string::npos,
            vq_testing::ReadFile(root + "/usr/bin/vqagent")
                .find("exec \"" VQ_PACKAGE_BUNDLE_PATH
                      "/Contents/MacOS/vqagent\" \"$@\""));
  for (const char* page : {"vqagent", "vqsign", "vqserve"}) {
    const std::string path = root + "/usr/share/man/man1/" + page + ".1.gz";
    EXPECT_EQ(0, Shell("gzip -t " + Quote(path)).status) << path;
  }

  // Every library an executable needs comes from a declared package.
  const Result depends = Shell("dpkg-deb -f " + Quote(deb) + " Depends");
  ASSERT_EQ(0, depends.status) << depends.out;
  const std::set<std::string> declared = DeclaredPackages(depends.out);
  int executables = 0;
  std::set<std::string> checked;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || !IsElf(entry.path())) continue;
    ++executables;
    const Result libraries = Shell(
        "ldd " + Quote(entry.path()) +
        " | awk '$2 == \"=>\" && $3 ~ /^\\// {print $1, $3}'");
    const Result needed = Shell("objdump -p " + Quote(entry.path()) +
                                " | awk '$1 == \"NEEDED\" {print $2}'");
    ASSERT_EQ(0, needed.status) << needed.out;
    for (const std::string& soname : Lines(needed.out)) {
      std::string resolved;
      for (const std::string& line : Lines(libraries.out))
        if (line.rfind(soname + " ", 0) == 0) resolved = line.substr(soname.size() + 1);
      ASSERT_FALSE(resolved.empty()) << entry.path() << " needs " << soname;
      const std::string owner = OwningPackage(resolved);
      EXPECT_EQ(1u, declared.count(owner))
          << entry.path() << " needs " << soname << " from package '" << owner
          << "', not in Depends: " << depends.out;
      checked.insert(soname);
    }
  }
  EXPECT_EQ(3, executables);  // vqagent, vqsign, vqserve
  EXPECT_EQ(1u, checked.count("libc.so.6"));
  EXPECT_EQ(1u, checked.count("libcurl.so.4"));
}

}  // namespace
