// vqsign: prints the signatures that the update agent expects in the
// "xxx-vq-sig" and "xxx-vq-sig2" answer headers for the bytes of a file, and
// stamps expiries on answers signed ahead of time.

#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "vqsign/answer_signing.h"
#include "vqsign/rsa_signer.h"
#include "web/answer_protocol.h"

namespace {

const char kUsage[] =
    "Usage: vqsign --key PRIVATE.pem [--nonce HEX] FILE\n"
    "       vqsign --key PRIVATE.pem (--expires-in SECONDS | --expires TIME)\n"
    "              --output OUT [--nonce HEX] FILE\n"
    "       vqsign --key PRIVATE.pem --public-key\n"
    "\n"
    "Prints, on one line, the value of the \"xxx-vq-sig\" header that the\n"
    "update agent checks: the RSA PKCS#1 v1.5 signature over the SHA-1\n"
    "digest of FILE's bytes, in standard Base64 without line breaks.\n"
    "FILE may be '-' for standard input.\n"
    "\n"
    "With --nonce it prints instead the \"xxx-vq-sig2\" header for an answer\n"
    "to a request that carried that nonce: RSA PKCS#1 v1.5 over the SHA-256\n"
    "digest of \"vq-answer-sig2\" LF nonce LF FILE's bytes (up to a NUL).\n"
    "\n"
    "With an expiry it first writes FILE to OUT with the expiry in the root\n"
    "element's \"expires\" attribute (UTC, YYYY-MM-DDTHH:MM:SSZ), and signs\n"
    "what it wrote: an answer signed ahead of time that agents refuse once\n"
    "it has expired.\n"
    "\n"
    "Options:\n"
    "  --nonce HEX        the request's nonce: 32 lower-case hex digits.\n"
    "  --expires-in SECONDS  expire that many seconds from now.\n"
    "  --expires TIME     expire at TIME (YYYY-MM-DDTHH:MM:SSZ).\n"
    "  --output OUT       where the stamped document goes.\n"
    "  --key PRIVATE.pem  RSA private key in PEM form (PKCS#1 \"RSA PRIVATE\n"
    "                     KEY\" or PKCS#8 \"PRIVATE KEY\"); not encrypted.\n"
    "  --public-key       print the matching public key in the PKCS#1\n"
    "                     \"RSA PUBLIC KEY\" PEM form that the agent embeds,\n"
    "                     instead of signing.\n"
    "  --help             print this text.\n"
    "\n"
    "Exit status: 0 on success, 1 when the key or the file cannot be used,\n"
    "2 on a usage error.\n";

template <size_t N>
std::string* valueOf(const std::pair<const char*, std::string*> (&values)[N],
                     const std::string& arg) {
  for (const auto& entry : values) {
    if (arg == entry.first)
      return entry.second;
  }
  return nullptr;
}

bool writeAll(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  return static_cast<bool>(out.flush());
}

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
  std::string nonce;
  std::string expires_in;
  std::string expires;
  std::string output;
  const std::pair<const char*, std::string*> values[] = {
      {"--key", &key_path},         {"--nonce", &nonce},
      {"--expires-in", &expires_in}, {"--expires", &expires},
      {"--output", &output},
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (std::string* value = valueOf(values, arg)) {
      if (i + 1 >= argc)
        return usageError(arg + " needs a value");
      *value = argv[++i];
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
  if (!nonce.empty() && !vq_answer::isWellFormedNonce(nonce))
    return usageError("--nonce needs 32 lower-case hexadecimal digits");
  const bool stamp = !expires_in.empty() || !expires.empty();
  if (!expires_in.empty() && !expires.empty())
    return usageError("--expires-in and --expires exclude each other");
  if (stamp != !output.empty())
    return usageError(stamp ? "an expiry needs --output"
                            : "--output goes with an expiry");
  std::int64_t expiry = 0;
  if (stamp && !vqtools::expiryFromArguments(
                   expires_in, expires,
                   static_cast<std::int64_t>(std::time(nullptr)), &expiry)) {
    return usageError(
        "--expires-in needs positive seconds, --expires a "
        "YYYY-MM-DDTHH:MM:SSZ time");
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
    if (stamp) {
      std::string stamped;
      if (!vqtools::stampExpiry(data, vq_answer::formatExpiry(expiry),
                                &stamped, &error)) {
        std::cerr << "vqsign: " << file << ": " << error << "\n";
        return 1;
      }
      if (!writeAll(output, stamped)) {
        std::cerr << "vqsign: cannot write " << output << "\n";
        return 1;
      }
      data = stamped;
    }
    std::cout << (nonce.empty() ? signer->signBase64(data)
                                : vqtools::secondSignature(*signer, nonce, data))
              << "\n";
  } catch (const std::exception& e) {
    std::cerr << "vqsign: " << e.what() << "\n";
    return 1;
  }
  return std::cout.flush() ? 0 : 1;
}
