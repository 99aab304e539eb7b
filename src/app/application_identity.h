#ifndef VQ_APP_APPLICATION_IDENTITY_H_
#define VQ_APP_APPLICATION_IDENTITY_H_

#include <string>
#include <vector>

// Identity of the delivered application and the built-in server list, as
// worked out from the installation settings and the built-in description.
struct ApplicationIdentity {
  long feedId = -1;
  long appId = -1;
  std::string build;
  std::string platform;
  std::string name;
  std::string title;
  std::string swf;
  // Base URLs; the application drops duplicates, keeping the first.
  std::vector<std::string> defaultServers;
};

#endif  // VQ_APP_APPLICATION_IDENTITY_H_
