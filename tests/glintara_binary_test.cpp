// The real glintara binary on this machine, which has no camera.
#include <gtest/gtest.h>

#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using testing_support::linesOf;
using testing_support::runProcess;

TEST(GlintaraBinary, WithoutACameraSaysSoOnOneLineAndExitsOne) {
    const auto result = runProcess({GLINTARA_BINARY}, std::chrono::seconds(10));
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("no camera"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace glintara
