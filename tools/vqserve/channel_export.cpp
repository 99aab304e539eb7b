#include "vqserve/channel_export.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>
#include <utility>
#include <vector>

#include "vqserve/document_template.h"
#include "vqserve/download_folder.h"
#include "vqserve/update_server.h"
#include "vqsign/answer_signing.h"
#include "vqsign/rsa_signer.h"
#include "web/answer_protocol.h"

namespace vqtools {

const char kExportUsage[] =
    "Usage: vqserve export DIR --key PRIVATE.pem [options]\n"
    "\n"
    "Writes to DIR the answers vqserve would give, each stamped with an\n"
    "expiry (the root element's \"expires\" attribute) and signed ahead of\n"
    "time, and an nginx configuration that serves them: any request for\n"
    ".../vq.php or .../vqerror.php, POST included, gets the answer file with\n"
    "its \"xxx-vq-sig\" header; /files/... serves the download folder. Agents\n"
    "refuse an exported answer once it has expired, so export again before\n"
    "then. Start the channel with\n"
    "  nginx -p DIR/ -c DIR/nginx.conf -e DIR/nginx-error.log\n"
    "(foreground, current user, everything kept in DIR), or include\n"
    "DIR/channel.conf in the http block of an existing nginx.\n"
    "\n"
    "Options:\n"
    "  --key PRIVATE.pem     RSA private key to sign with.\n"
    "  --fixed FILE          the answer to \"vq.php\" (default: the empty\n"
    "                        document).\n"
    "  --error-actions FILE  the answer to \"vqerror.php\".\n"
    "  --downloads DIR       copied to DIR/files/, served under /files/.\n"
    "  --listen ADDRESS      nginx \"listen\" (default 127.0.0.1:8731).\n"
    "  --base-url URL        what ${server.base} becomes, e.g. the CDN's\n"
    "                        address (default http:// + --listen).\n"
    "  --expires-in SECONDS  expiry from now (default 86400).\n"
    "  --expires TIME        absolute expiry, YYYY-MM-DDTHH:MM:SSZ.\n"
    "Placeholders are expanded as by vqserve, against --base-url.\n";

namespace {

bool readFile(const std::string& path, std::string* text, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  if (in && in.peek() != std::ifstream::traits_type::eof())
    content << in.rdbuf();
  if (!in || in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  *text = content.str();
  return true;
}

bool writeFile(const std::filesystem::path& path, const std::string& text,
               std::string* error) {
  std::error_code failure;
  std::filesystem::create_directories(path.parent_path(), failure);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (failure || !out.flush()) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Characters that could end a directive or a quoted value of the nginx
// configuration; none belongs in an address or a path we write into it.
bool safeForConfig(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f || c == ';' || c == '"' || c == '\'' ||
        c == '{' || c == '}' || c == '\\' || c == '$' || c == ' ') {
      return false;
    }
  }
  return !text.empty();
}

// Copies every regular file of the download folder that vqserve would
// serve to |target|.
bool copyDownloads(const DownloadFolder& folder, const std::string& source,
                   const std::filesystem::path& target, std::string* error) {
  std::error_code failure;
  const std::filesystem::path root =
      std::filesystem::canonical(source, failure);
  if (failure) {
    *error = "cannot read " + source;
    return false;
  }
  for (auto it = std::filesystem::recursive_directory_iterator(root, failure);
       !failure && it != std::filesystem::recursive_directory_iterator();
       it.increment(failure)) {
    const std::string relative =
        it->path().lexically_relative(root).generic_string();
    const std::string path = folder.resolve(relative);
    if (path.empty()) continue;  // a folder, or a link leading out
    std::filesystem::create_directories((target / relative).parent_path(),
                                        failure);
    if (!failure) {
      std::filesystem::copy_file(
          path, target / relative,
          std::filesystem::copy_options::overwrite_existing, failure);
    }
  }
  if (failure) {
    *error = "cannot copy the downloads: " + failure.message();
    return false;
  }
  return true;
}

struct Answer {
  const char* page;  // e.g. "vq.php"
  const char* file;  // under answers/
  std::string signature;
};

std::string locationFor(const Answer& answer) {
  std::string page = answer.page;
  std::string pattern;
  for (char c : page) {
    if (c == '.') pattern += '\\';
    pattern += c;
  }
  const std::string uri = std::string("/answers/") + answer.file;
  return "    # Any method, under any path, like the reference server.\n"
         "    location ~ (^|/)" + pattern + "$ {\n"
         "        rewrite ^ " + uri + " last;\n"
         "    }\n"
         "    location = " + uri + " {\n"
         "        internal;\n"
         "        default_type text/xml;\n"
         "        types { }\n"
         "        add_header xxx-vq-sig \"" + answer.signature + "\" always;\n"
         "        add_header Cache-Control \"no-cache\" always;\n"
         "        # The static module answers POST with 405; serve the file\n"
         "        # instead, as a GET of the same URI.\n"
         "        error_page 405 =200 $uri;\n"
         "    }\n";
}

std::string channelConf(const ExportOptions& options,
                        const std::string& root,
                        const std::vector<Answer>& answers) {
  std::string conf =
      "# The update channel exported by vqserve: pre-signed answers with an\n"
      "# expiry, and the download folder. Include it in an http block.\n"
      "server {\n"
      "    listen " + options.listen + ";\n"
      "    server_name _;\n"
      "    root " + root + ";\n"
      "    # Requests carry the feed description, included files and a log\n"
      "    # tail; nothing of them is kept.\n"
      "    client_max_body_size 64m;\n"
      "    etag off;\n"
      "    gzip off;\n";
  for (const Answer& answer : answers) conf += locationFor(answer);
  conf +=
      "    location /files/ {\n"
      "        default_type application/octet-stream;\n"
      "        types { }\n"
      "    }\n"
      "    location / {\n"
      "        return 404;\n"
      "    }\n"
      "}\n";
  return conf;
}

std::string nginxConf() {
  return "# Serves channel.conf in the foreground as the user who starts it,\n"
         "# with every file kept below the prefix directory:\n"
         "#   nginx -p DIR/ -c DIR/nginx.conf -e DIR/nginx-error.log\n"
         "daemon off;\n"
         "master_process off;\n"
         "worker_processes 1;\n"
         "pid nginx.pid;\n"
         "error_log nginx-error.log notice;\n"
         "events {\n"
         "    worker_connections 1024;\n"
         "}\n"
         "http {\n"
         "    access_log off;\n"
         "    client_body_temp_path tmp/body;\n"
         "    proxy_temp_path tmp/proxy;\n"
         "    fastcgi_temp_path tmp/fastcgi;\n"
         "    uwsgi_temp_path tmp/uwsgi;\n"
         "    scgi_temp_path tmp/scgi;\n"
         "    include channel.conf;\n"
         "}\n";
}

}  // namespace

ParseOutcome parseExportOptions(int argc, const char* const* argv,
                                ExportOptions* options, std::string* error) {
  const std::pair<const char*, std::string*> values[] = {
      {"--key", &options->key},
      {"--fixed", &options->fixed},
      {"--error-actions", &options->error_actions},
      {"--downloads", &options->downloads},
      {"--listen", &options->listen},
      {"--base-url", &options->base_url},
      {"--expires-in", &options->expires_in},
      {"--expires", &options->expires},
  };
  bool have_dir = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return ParseOutcome::kHelp;
    std::string* target = nullptr;
    for (const auto& entry : values) {
      if (arg == entry.first) target = entry.second;
    }
    if (!target) {
      if (arg.empty() || arg[0] == '-' || have_dir) {
        *error = "unknown argument " + arg;
        return ParseOutcome::kUsageError;
      }
      options->dir = arg;
      have_dir = true;
      continue;
    }
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
      *error = arg + " needs a value";
      return ParseOutcome::kUsageError;
    }
    *target = argv[++i];
  }
  if (!have_dir) {
    *error = "export needs a DIR";
    return ParseOutcome::kUsageError;
  }
  if (options->key.empty()) {
    *error = "--key is required";
    return ParseOutcome::kUsageError;
  }
  if (!safeForConfig(options->listen)) {
    *error = "--listen must be an nginx listen address such as 127.0.0.1:8731";
    return ParseOutcome::kUsageError;
  }
  return ParseOutcome::kRun;
}

bool exportChannel(const ExportOptions& options, std::int64_t now,
                   std::string* error) {
  std::int64_t expiry = 0;
  if (!expiryFromArguments(options.expires.empty() ? options.expires_in : "",
                           options.expires, now, &expiry)) {
    *error = "--expires-in needs positive seconds, --expires a "
             "YYYY-MM-DDTHH:MM:SSZ time";
    return false;
  }
  std::unique_ptr<RsaSigner> signer = RsaSigner::fromPemFile(options.key, error);
  if (!signer) return false;
  DownloadFolder downloads;
  if (!options.downloads.empty() && !downloads.open(options.downloads, error))
    return false;

  std::error_code failure;
  std::filesystem::create_directories(options.dir, failure);
  const std::filesystem::path dir =
      std::filesystem::canonical(options.dir, failure);
  if (failure || !safeForConfig(dir.string())) {
    *error = "cannot use " + options.dir +
             " (it must exist or be creatable, and its path must not hold "
             "blanks, quotes, ';', '$', braces or backslashes)";
    return false;
  }
  const std::string base =
      options.base_url.empty() ? "http://" + options.listen : options.base_url;
  const DocumentTemplate expander(base, base + "/files", &downloads);

  std::vector<Answer> answers = {{"vq.php", "vq.xml", ""},
                                 {"vqerror.php", "vqerror.xml", ""}};
  const std::string* sources[] = {&options.fixed, &options.error_actions};
  for (size_t i = 0; i < answers.size(); ++i) {
    std::string text = UpdateServer::kEmptyDocument;
    if (!sources[i]->empty() && !readFile(*sources[i], &text, error))
      return false;
    std::vector<std::string> warnings;
    std::string stamped;
    if (!stampExpiry(expander.expand(text, &warnings),
                     vq_answer::formatExpiry(expiry), &stamped, error)) {
      *error = *sources[i] + ": " + *error;
      return false;
    }
    if (!warnings.empty()) {
      *error = warnings.front();
      return false;
    }
    // The agent signs and parses the body up to its first NUL.
    stamped = stamped.substr(0, stamped.find('\0'));
    answers[i].signature = signer->signBase64(stamped);
    if (!writeFile(dir / "answers" / answers[i].file, stamped, error))
      return false;
  }
  if (downloads.isOpen() &&
      !copyDownloads(downloads, options.downloads, dir / "files", error)) {
    return false;
  }
  std::filesystem::create_directories(dir / "files", failure);
  std::filesystem::create_directories(dir / "tmp", failure);
  return writeFile(dir / "channel.conf",
                   channelConf(options, dir.string(), answers), error) &&
         writeFile(dir / "nginx.conf", nginxConf(), error);
}

}  // namespace vqtools
