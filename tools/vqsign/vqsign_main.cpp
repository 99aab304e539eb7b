// vqsign: prints the signature that the update agent expects in the
// "xxx-vq-sig" answer header for the bytes of a file.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "vqsign/rsa_signer.h"

namespace {

const char kUsage[] =
    "Usage: vqsign --key PRIVATE.pem FILE\n"
    "       vqsign --key PRIVATE.pem --public-key\n"
    "\n"
    "Prints, on one line, the value of the \"xxx-vq-sig\" header that the\n"
    "update agent checks: the RSA PKCS#1 v1.5 signature over the SHA-1\n"
    "digest of FILE's bytes, in standard Base64 without line breaks.\n"
    "FILE may be '-' for standard input.\n"
    "\n"
    "Options:\n"
    "  --key PRIVATE.pem  RSA private key in PEM form (PKCS#1 \"RSA PRIVATE\n"
    "                     KEY\" or PKCS#8 \"PRIVATE KEY\"); not encrypted.\n"
    "  --public-key       print the matching public key in the PKCS#1\n"
    "                     \"RSA PUBLIC KEY\" PEM form that the agent embeds,\n"
    "                     instead of signing.\n"
    "  --help             print this text.\n"
    "\n"
    "Exit status: 0 on success, 1 when the key or the file cannot be used,\n"
    "2 on a usage error.\n";

int usageError(const std::string& message) {
  std::cerr << "vqsign: " << message << "\n"
            << "Try 'vqsign --help'.\n";
  return 2;
}

bool readAll(const std::string& path, std::string* out) {
  std::ostringstream text;
  if (path == "-") {
    text << std::cin.rdbuf();
    if (std::cin.bad())
      return false;
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in)
      return false;
    // An empty file makes operator<< set failbit on the stream; that is
    // still a successful read of zero bytes.
    if (in.peek() != std::ifstream::traits_type::eof())
      text << in.rdbuf();
    if (in.bad())
      return false;
  }
  *out = text.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string key_path;
  std::string file;
  bool have_file = false;
  bool print_public = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--key") {
      if (i + 1 >= argc)
        return usageError("--key needs a file name");
      key_path = argv[++i];
    } else if (arg == "--public-key") {
      print_public = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return usageError("unknown option " + arg);
    } else if (have_file) {
      return usageError("only one FILE may be given");
    } else {
      file = arg;
      have_file = true;
    }
  }
  if (key_path.empty())
    return usageError("--key is required");
  if (print_public == have_file) {
    return usageError(print_public ? "--public-key takes no FILE"
                                   : "a FILE to sign is required");
  }

  std::string error;
  std::unique_ptr<vqtools::RsaSigner> signer =
      vqtools::RsaSigner::fromPemFile(key_path, &error);
  if (!signer) {
    std::cerr << "vqsign: " << error << "\n";
    return 1;
  }
  try {
    if (print_public) {
      std::cout << signer->publicKeyPkcs1Pem();
      return std::cout.flush() ? 0 : 1;
    }
    std::string data;
    if (!readAll(file, &data)) {
      std::cerr << "vqsign: cannot read " << file << ": "
                << std::strerror(errno) << "\n";
      return 1;
    }
    std::cout << signer->signBase64(data) << "\n";
  } catch (const std::runtime_error& e) {
    std::cerr << "vqsign: " << e.what() << "\n";
    return 1;
  }
  return std::cout.flush() ? 0 : 1;
}
