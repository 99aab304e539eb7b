#ifndef VQ_MAIN_PRODUCT_IDENTITY_H_
#define VQ_MAIN_PRODUCT_IDENTITY_H_

namespace vq_main {

// The agent's own version ("1.0") and the moment its product description was
// compiled (the "build" of the built-in description, e.g.
// "Dec  7 2026 03:12:00"). Both are fixed when the product is built.
extern const char* const kAgentVersion;
extern const char* const kAgentBuild;

}  // namespace vq_main

#endif  // VQ_MAIN_PRODUCT_IDENTITY_H_
