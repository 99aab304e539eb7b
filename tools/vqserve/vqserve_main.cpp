// vqserve: the reference update server that integration tests and the demo
// run the agent against. See kServerUsage for what it does.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>

#include <civetweb.h>

#include "vqserve/channel_export.h"
#include "vqserve/server_options.h"
#include "vqserve/update_server.h"

namespace {

using vqtools::ServerOptions;
using vqtools::ServerSetup;

int startupError(const std::string& message) {
  std::cerr << "vqserve: " << message << std::endl;
  return 1;
}

// Builds the server's inputs from the options; returns false with |error|
// when a file or folder cannot be used.
bool loadSetup(const ServerOptions& options,
               ServerSetup* setup,
               std::string* error) {
  if (!vqtools::LoopbackAddress::parse(options.listen, &setup->address,
                                       error)) {
    return false;
  }
  setup->sign_mode = options.sign_mode;
  setup->second_signature = options.second_signature;
  setup->threads = options.threads;
  if (!options.key.empty()) {
    setup->signer = vqtools::RsaSigner::fromPemFile(options.key, error);
    if (!setup->signer)
      return false;
  }
  const std::string& updates =
      options.fixed.empty() ? options.actions : options.fixed;
  if (!updates.empty()) {
    setup->updates =
        vqtools::DocumentSource::fromPath(updates, options.loop, error);
    if (!setup->updates)
      return false;
  }
  if (!options.error_actions.empty()) {
    setup->errors = vqtools::DocumentSource::fromPath(options.error_actions,
                                                      options.loop, error);
    if (!setup->errors)
      return false;
  }
  if (!options.downloads.empty() &&
      !setup->downloads.open(options.downloads, error)) {
    return false;
  }
  if (!options.log.empty()) {
    setup->log = vqtools::RequestLog::open(options.log, error);
    if (!setup->log)
      return false;
  }
  return true;
}

// Writes through a temporary file and a rename, so a reader polling for the
// file never sees it half written.
bool writePortFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << text;
    if (!out.flush())
      return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// "vqserve export DIR ...": writes the channel and ends.
int runExport(int argc, char** argv) {
  vqtools::ExportOptions options;
  std::string error;
  switch (vqtools::parseExportOptions(argc, argv, &options, &error)) {
    case vqtools::ParseOutcome::kHelp:
      std::cout << vqtools::kExportUsage;
      return 0;
    case vqtools::ParseOutcome::kUsageError:
      std::cerr << "vqserve export: " << error
                << "\nTry 'vqserve export --help'.\n";
      return 2;
    case vqtools::ParseOutcome::kRun:
      break;
  }
  if (!vqtools::exportChannel(options,
                              static_cast<std::int64_t>(std::time(nullptr)),
                              &error)) {
    std::cerr << "vqserve export: " << error << std::endl;
    return 1;
  }
  std::cout << "exported " << options.dir << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "export")
    return runExport(argc, argv);
  ServerOptions options;
  std::string error;
  switch (vqtools::parseServerOptions(argc, argv, &options, &error)) {
    case vqtools::ParseOutcome::kHelp:
      std::cout << vqtools::kServerUsage;
      return 0;
    case vqtools::ParseOutcome::kUsageError:
      std::cerr << "vqserve: " << error << "\nTry 'vqserve --help'.\n";
      return 2;
    case vqtools::ParseOutcome::kRun:
      break;
  }

  ServerSetup setup;
  if (!loadSetup(options, &setup, &error))
    return startupError(error);

  // Block the stop signals before civetweb starts its threads, which inherit
  // the mask; the main thread then takes them synchronously with sigwait.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  mg_init_library(0);
  int status = 0;
  {
    vqtools::UpdateServer server(std::move(setup));
    if (!server.start(&error)) {
      status = startupError(error);
    } else {
      // The port file comes first, so that whoever has seen the announcement
      // on standard output finds the file too.
      const std::string url = server.baseUrl() + "/";
      if (!options.port_file.empty() &&
          !writePortFile(options.port_file, url + "\n")) {
        status = startupError("cannot write " + options.port_file);
      } else {
        std::cout << "listening " << url << std::endl;
        int signal_number = 0;
        sigwait(&stop_signals, &signal_number);
        if (!options.port_file.empty())
          ::unlink(options.port_file.c_str());
      }
    }
  }
  mg_exit_library();
  return status;
}
