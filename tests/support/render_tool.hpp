// Runs the built glintara-render; the including test target defines GLINTARA_RENDER_BINARY.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/subprocess.hpp"

namespace glintara::testing_support {

inline ProcessResult runRenderTool(std::vector<std::string> args,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(120)) {
    args.insert(args.begin(), GLINTARA_RENDER_BINARY);
    return runProcess(args, timeout);
}

}  // namespace glintara::testing_support
