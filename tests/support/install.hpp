// Installs the build tree into a prefix, as `make install` does; the including test target
// defines GLINTARA_CMAKE and GLINTARA_BUILD_DIR.
#pragma once

#include <chrono>
#include <filesystem>

#include "tests/support/subprocess.hpp"

namespace glintara::testing_support {

inline ProcessResult installBuildInto(const std::filesystem::path& prefix) {
    return runProcess(
        {GLINTARA_CMAKE, "--install", GLINTARA_BUILD_DIR, "--prefix", prefix.string()},
        std::chrono::seconds(60));
}

}  // namespace glintara::testing_support
