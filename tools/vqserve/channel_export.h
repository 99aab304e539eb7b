#ifndef VQ_VQSERVE_CHANNEL_EXPORT_H_
#define VQ_VQSERVE_CHANNEL_EXPORT_H_

#include <cstdint>
#include <string>

#include "vqserve/server_options.h"

namespace vqtools {

// "vqserve export DIR": the answers vqserve would give, signed ahead of
// time with an expiry, and a ready nginx configuration that serves them, so
// that a plain web server (and any CDN in front of it) can carry an update
// channel. DIR receives:
//   answers/vq.xml, answers/vqerror.xml  the answers, expiry stamped
//   files/                               a copy of the download folder
//   channel.conf                         an nginx "server" block: any method
//                                        on ".../vq.php" or ".../vqerror.php"
//                                        gets the answer with its
//                                        "xxx-vq-sig" header; GET /files/...
//   nginx.conf                           a whole configuration around it
//                                        that runs in the foreground as the
//                                        current user, everything kept in
//                                        DIR: nginx -p DIR/ -c DIR/nginx.conf
// Answers signed ahead of time cannot carry "xxx-vq-sig2" (it binds each
// request's nonce); their expiry is what bounds a replay.
struct ExportOptions {
  std::string dir;
  std::string key;
  std::string fixed;          // the answer to "vq.php"; empty document if ""
  std::string error_actions;  // the answer to "vqerror.php"
  std::string downloads;      // folder copied to files/
  std::string listen = "127.0.0.1:8731";  // nginx "listen"
  std::string base_url;       // ${server.base}; "http://" + listen if ""
  std::string expires_in = "86400";
  std::string expires;        // absolute, instead of expires_in
};

// The text printed by "vqserve export --help".
extern const char kExportUsage[];

// Parses argv[2..argc) of "vqserve export DIR [options]" (argv[1] is
// "export").
ParseOutcome parseExportOptions(int argc, const char* const* argv,
                                ExportOptions* options, std::string* error);

// Writes the channel. |now| is seconds since the Unix epoch. Returns false
// and fills |error| when an input cannot be used or an output written.
bool exportChannel(const ExportOptions& options, std::int64_t now,
                   std::string* error);

}  // namespace vqtools

#endif  // VQ_VQSERVE_CHANNEL_EXPORT_H_
