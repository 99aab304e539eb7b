#ifndef VQ_MAIN_USAGE_TEXT_H_
#define VQ_MAIN_USAGE_TEXT_H_

#include <string>

#include "main/product_paths.h"

namespace vq_main {

// The short usage: the modes the agent knows, the files it uses and where its
// log is. `paths` should be resolved with "~" as the home directory, so that
// the text names the places without looking at them.
std::string usageText(const ProductPaths& paths);

// One line: "vqagent <version> (<product>, build <build>)".
std::string versionText(const std::string& version, const std::string& build,
                        const std::string& productName);

}  // namespace vq_main

#endif  // VQ_MAIN_USAGE_TEXT_H_
