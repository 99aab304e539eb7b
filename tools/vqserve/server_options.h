#ifndef VQ_VQSERVE_SERVER_OPTIONS_H_
#define VQ_VQSERVE_SERVER_OPTIONS_H_

#include <string>

namespace vqtools {

// How vqserve signs its answers.
enum class SignMode {
  kSign,     // a valid "xxx-vq-sig" header
  kNone,     // no header at all
  kBadSign,  // a well-formed header that does not match the body
};

// The command line of vqserve, checked for consistency but not yet for the
// existence of files.
struct ServerOptions {
  std::string listen = "127.0.0.1:0";
  std::string key;            // PEM private key; required unless kNone
  std::string actions;        // folder of documents for "vq.php"
  std::string fixed;          // the one document for "vq.php"
  std::string error_actions;  // folder or file for "vqerror.php"
  std::string downloads;      // folder served under kDownloadPrefix
  std::string log;            // JSON-lines request log
  std::string port_file;      // receives the base URL once listening
  bool loop = false;
  SignMode sign_mode = SignMode::kSign;
  // Whether answers to requests carrying a nonce also get "xxx-vq-sig2".
  bool second_signature = true;
  int threads = 4;
};

// URL path under which the download folder is served.
inline constexpr char kDownloadPrefix[] = "/files/";

// The text printed by --help.
extern const char kServerUsage[];

enum class ParseOutcome { kRun, kHelp, kUsageError };

// Parses argv[1..argc). On kUsageError, |error| says what is wrong.
ParseOutcome parseServerOptions(int argc,
                                const char* const* argv,
                                ServerOptions* options,
                                std::string* error);

}  // namespace vqtools

#endif  // VQ_VQSERVE_SERVER_OPTIONS_H_
