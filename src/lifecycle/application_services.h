#ifndef VQ_LIFECYCLE_APPLICATION_SERVICES_H_
#define VQ_LIFECYCLE_APPLICATION_SERVICES_H_

// What VqApplication::start brings up: the update thread and the command
// server. The application owns it and destroys it before anything else, so
// the destructor must stop and join every service thread. Kept abstract so
// that the application core does not depend on the engines it starts.
class ApplicationServices {
 public:
  virtual ~ApplicationServices() = default;
};

#endif  // VQ_LIFECYCLE_APPLICATION_SERVICES_H_
