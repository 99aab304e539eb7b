// The product's Debian package, built from this build tree, unpacked into a
// temporary root: what it holds runs, and it declares the Debian package of
// every library its executables link.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
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
  std::string out;
};

// `text` as one word for /bin/sh.
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `command`; its exit status (-1 when it did not exit) and its standard
// output and error together.
Result Shell(const std::string& command) {
  Result result{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The non-empty lines of `text`.
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

// The Debian packages that provide the libraries at `paths`, by path, asked
// of dpkg in one call. With merged /usr a library may be registered under
// /lib or /usr/lib, so both forms are asked for.
std::map<std::string, std::string> OwningPackages(
    const std::set<std::string>& paths) {
  std::map<std::string, std::string> alias;  // registered form -> path
  std::string command = "dpkg-query -S";
  for (const std::string& path : paths) {
    const std::string other =
        path.rfind("/usr/", 0) == 0 ? path.substr(4) : "/usr" + path;
    alias[path] = path;
    alias[other] = path;
    command += " " + Quote(path) + " " + Quote(other);
  }
  std::map<std::string, std::string> owners;
  // "libc6:amd64: /lib/x86_64-linux-gnu/libc.so.6"; missing forms only
  // print an error line.
  static const std::regex kLine("^([a-z0-9][a-z0-9.+-]*)(:[a-z0-9]+)?: (/.*)$");
  for (const std::string& line : Lines(Shell(command).out)) {
    std::smatch match;
    if (std::regex_match(line, match, kLine) && alias.count(match[3].str())) {
      owners[alias[match[3].str()]] = match[1].str();
    }
  }
  return owners;
}

TEST(Package, InstallsRunsAndDeclaresEveryLinkedLibrary) {
  vq_testing::ScopedTempDir temp;
  // Uncompressed: the package is only unpacked again.
  const Result built =
      Shell(std::string(VQ_CPACK) + " -G DEB -D CPACK_DEBIAN_COMPRESSION_TYPE=none --config " +
            Quote(VQ_CPACK_CONFIG) + " -B " + Quote(temp.Append("out")));
  ASSERT_EQ(0, built.status) << built.out;
  std::string deb;
  for (const auto& entry : fs::directory_iterator(temp.Append("out")))
    if (entry.path().extension() == ".deb") deb = entry.path();
  ASSERT_FALSE(deb.empty()) << built.out;
  const std::string root = temp.Append("root");
  ASSERT_EQ(0, Shell("dpkg-deb -x " + Quote(deb) + " " + Quote(root)).status);

  // The installation runs from the unpacked root and leaves HOME alone.
  const std::string home = temp.Append("home"), bundle = root + VQ_PACKAGE_BUNDLE_PATH;
  vq_testing::MakeDirs(home);
  const Result version =
      Shell("HOME=" + Quote(home) + " " + Quote(bundle + "/Contents/MacOS/vqagent") + " --version");
  EXPECT_EQ(0, version.status);
  EXPECT_EQ(0u, version.out.find("vqagent 1.0 (")) << version.out;
  EXPECT_TRUE(fs::is_empty(home));
  EXPECT_TRUE(vq_testing::PathExists(bundle + "/Contents/MacOS/initial_data"));
  const Result sign = Shell(Quote(root + "/usr/bin/vqsign") + " --help");
  EXPECT_EQ(0, sign.status);
  EXPECT_EQ(0u, sign.out.find("Usage: vqsign")) << sign.out;
  // /usr/bin/vqagent starts the installed executable by its full path.
  EXPECT_NE(std::string::npos,
            vq_testing::ReadFile(root + "/usr/bin/vqagent")
                .find("exec \"" VQ_PACKAGE_BUNDLE_PATH "/Contents/MacOS/vqagent\" \"$@\""));
  for (const char* page : {"vqagent", "vqsign", "vqserve"}) {
    const std::string path = root + "/usr/share/man/man1/" + page + ".1.gz";
    EXPECT_EQ(0, Shell("gzip -t " + Quote(path)).status) << path;
  }

  // Every library an executable needs comes from a declared package.
  const Result depends = Shell("dpkg-deb -f " + Quote(deb) + " Depends");
  ASSERT_EQ(0, depends.status) << depends.out;
  const std::set<std::string> declared = DeclaredPackages(depends.out);
  int executables = 0;
  std::map<std::string, std::string> needs;  // soname -> resolved path
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
      for (const std::string& line : Lines(libraries.out))
        if (line.rfind(soname + " ", 0) == 0)
          needs[soname] = line.substr(soname.size() + 1);
      ASSERT_EQ(1u, needs.count(soname)) << entry.path() << " needs " << soname;
    }
  }
  std::set<std::string> paths;
  for (const auto& need : needs) paths.insert(need.second);
  const std::map<std::string, std::string> owners = OwningPackages(paths);
  for (const auto& [soname, path] : needs) {
    const auto owner = owners.find(path);
    ASSERT_NE(owners.end(), owner) << "no package provides " << path;
    EXPECT_EQ(1u, declared.count(owner->second))
        << soname << " comes from " << owner->second
        << ", which Depends does not name: " << depends.out;
  }
  EXPECT_EQ(3, executables);  // vqagent, vqsign, vqserve
  EXPECT_EQ(1u, needs.count("libc.so.6"));
  EXPECT_EQ(1u, needs.count("libcurl.so.4"));
}

}  // namespace
