#ifndef VQ_LIFECYCLE_VQ_HOST_CALLBACK_H_
#define VQ_LIFECYCLE_VQ_HOST_CALLBACK_H_

#include <string>
#include <vector>

// The table of platform facilities that the process entry fills and hands to
// VqApplication. The application keeps the pointer and never copies the table,
// so the table must outlive the application.
struct VqHostCallback {
  // Asks the platform application object to terminate.
  void (*terminate)();
  // Starts `exe` with `args`, or opens args[0] as a document or URL when `exe`
  // is empty. The result carries no meaning.
  int (*openDocument)(const std::string& exe,
                      const std::vector<std::string>& args);
  // A NUL-terminated description of the operating system.
  const char* (*getOS)();
  // The primary network interface's hardware address, or null when unknown.
  const char* (*getMacAddress)();
  // Per-thread set-up and tear-down around each update pass; may be null.
  void (*threadInit)(void* thread);
  void (*threadQuit)(void* thread);
};

#endif  // VQ_LIFECYCLE_VQ_HOST_CALLBACK_H_
