// The built-in description the lifecycle library expects from the
// executable that links it; a minimal one for the tests.
#include "lifecycle/vq_application.h"

const char* const VqApplication::applicationSettings =
    "<application feedId=\"1\" appId=\"2\" build=\"test\" platform=\"mac\" "
    "name=\"SecurityTest\" />";
const char* const VqApplication::vendorDirectory = "VqSecurityTest";
