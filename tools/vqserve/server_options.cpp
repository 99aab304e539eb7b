#include "vqserve/server_options.h"

#include <cstdlib>
#include <utility>

namespace vqtools {

const char kServerUsage[] =
    "Usage: vqserve --key PRIVATE.pem [options]\n"
    "\n"
    "A reference update server for the update agent, on a loopback address.\n"
    "It answers \"vq.php\" (update requests) and \"vqerror.php\" (error\n"
    "reports) with action documents, signs every answer into the\n"
    "\"xxx-vq-sig\" header (RSA PKCS#1 v1.5 over SHA-1, Base64) and, when\n"
    "the request carries a \"nonce\" (32 lower-case hex digits), a second\n"
    "time into \"xxx-vq-sig2\" (RSA over SHA-256 of \"vq-answer-sig2\" LF\n"
    "nonce LF body), serves a download folder under /files/, and logs every\n"
    "request. A page is\n"
    "recognised by the last segment of the path, so /vq.php and\n"
    "/any/prefix/vq.php are the same page. Any other path answers 404.\n"
    "\n"
    "Once listening it prints one line on standard output,\n"
    "  listening http://HOST:PORT/\n"
    "and runs until SIGTERM or SIGINT, then stops cleanly with status 0.\n"
    "\n"
    "Options:\n"
    "  --listen HOST:PORT    address to listen on (default 127.0.0.1:0).\n"
    "                        HOST must be loopback: 127.x.y.z, localhost or\n"
    "                        [::1]; any other address is refused. Port 0\n"
    "                        picks a free port.\n"
    "  --key PRIVATE.pem     RSA private key (PKCS#1 or PKCS#8 PEM) to sign\n"
    "                        with.\n"
    "  --actions DIR         documents for \"vq.php\": the regular files of "
    "DIR\n"
    "                        not starting with '.', one per request in name\n"
    "                        order; after the last, the last is served again.\n"
    "  --loop                with --actions or a folder for --error-actions:\n"
    "                        start again at the first after the last.\n"
    "  --fixed FILE          always answer \"vq.php\" with FILE.\n"
    "                        Without --actions or --fixed, and for\n"
    "                        \"vqerror.php\" without --error-actions, the\n"
    "                        answer is the empty document\n"
    "                        <vq version=\"2.0\"/>.\n"
    "  --error-actions PATH  documents for \"vqerror.php\": a folder (served\n"
    "                        like --actions, with its own turn) or one file.\n"
    "  --downloads DIR       serve the files of DIR under /files/ (GET).\n"
    "                        Paths with '.', '..' or empty segments, and\n"
    "                        links leading out of DIR, answer 404.\n"
    "  --log FILE            append one JSON object per request:\n"
    "                        {\"page\":\"vq.php\",\"method\":\"POST\",\n"
    "                         \"uri\":\"/vq.php\",\"status\":200,\n"
    "                         \"params\":[[\"feedId\",\"7\"],...]}\n"
    "                        params are the decoded query parameters, then\n"
    "                        the decoded form-body parameters, in the order\n"
    "                        sent. Bytes that are not UTF-8 appear as\n"
    "                        \\u00XX.\n"
    "                        A request's line is written before its answer.\n"
    "  --port-file FILE      write \"http://HOST:PORT/\" and a newline to\n"
    "                        FILE (atomically) once listening, before the\n"
    "                        line on standard output; removed on exit.\n"
    "  --no-sign             send no \"xxx-vq-sig\" header (--key optional).\n"
    "  --bad-sign            send a well-formed signature that does not\n"
    "                        match the body.\n"
    "  --no-sig2             never send \"xxx-vq-sig2\", like a server that\n"
    "                        does not know the nonce.\n"
    "  --threads N           worker threads (default 4).\n"
    "  --help                print this text.\n"
    "\n"
    "Placeholders in served documents (other ${...} texts are left for the\n"
    "agent to expand):\n"
    "  ${server.base}        http://HOST:PORT\n"
    "  ${download.base}      http://HOST:PORT/files\n"
    "  ${download.md5:NAME}  MD5 (lower-case hex) of NAME in the download\n"
    "                        folder; left as written, with a warning on\n"
    "                        standard error, when there is no such file.\n"
    "  ${download.sha256:NAME}  the same with SHA-256.\n"
    "The signature covers the document after expansion.\n"
    "\n"
    "vqserve export DIR ... writes the same answers, signed ahead of time\n"
    "with an expiry, and an nginx configuration that serves them; see\n"
    "'vqserve export --help'.\n"
    "\n"
    "Exit status: 0 after a signal, 1 when start-up fails, 2 on a usage\n"
    "error.\n";

namespace {

bool parseThreads(const std::string& text, int* threads) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || value < 1 || value > 64) {
    return false;
  }
  *threads = static_cast<int>(value);
  return true;
}

}  // namespace

ParseOutcome parseServerOptions(int argc,
                                const char* const* argv,
                                ServerOptions* options,
                                std::string* error) {
  bool bad_sign = false;
  bool no_sign = false;
  bool no_sig2 = false;
  std::string threads;
  const std::pair<const char*, bool*> switches[] = {
      {"--loop", &options->loop},
      {"--no-sign", &no_sign},
      {"--bad-sign", &bad_sign},
      {"--no-sig2", &no_sig2},
  };
  const std::pair<const char*, std::string*> values[] = {
      {"--listen", &options->listen},
      {"--key", &options->key},
      {"--actions", &options->actions},
      {"--fixed", &options->fixed},
      {"--error-actions", &options->error_actions},
      {"--downloads", &options->downloads},
      {"--log", &options->log},
      {"--port-file", &options->port_file},
      {"--threads", &threads},
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      return ParseOutcome::kHelp;
    }
    bool* flag = nullptr;
    for (const auto& entry : switches) {
      if (arg == entry.first) {
        flag = entry.second;
      }
    }
    if (flag) {
      *flag = true;
      continue;
    }
    std::string* target = nullptr;
    for (const auto& entry : values) {
      if (arg == entry.first) {
        target = entry.second;
      }
    }
    if (!target) {
      *error = "unknown argument " + arg;
      return ParseOutcome::kUsageError;
    }
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
      *error = arg + " needs a value";
      return ParseOutcome::kUsageError;
    }
    *target = argv[++i];
  }
  if (!threads.empty() && !parseThreads(threads, &options->threads)) {
    *error = "--threads needs a number from 1 to 64";
    return ParseOutcome::kUsageError;
  }
  if (!options->actions.empty() && !options->fixed.empty()) {
    *error = "--actions and --fixed exclude each other";
    return ParseOutcome::kUsageError;
  }
  if (no_sign && bad_sign) {
    *error = "--no-sign and --bad-sign exclude each other";
    return ParseOutcome::kUsageError;
  }
  options->second_signature = !no_sig2;
  options->sign_mode = no_sign    ? SignMode::kNone
                       : bad_sign ? SignMode::kBadSign
                                  : SignMode::kSign;
  if (options->key.empty() && options->sign_mode != SignMode::kNone) {
    *error = "--key is required unless --no-sign is given";
    return ParseOutcome::kUsageError;
  }
  return ParseOutcome::kRun;
}

}  // namespace vqtools
