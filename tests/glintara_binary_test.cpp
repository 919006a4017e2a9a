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

TEST(GlintaraBinary, WithoutADisplaySaysSoOnOneLineAndExitsOne) {
    // The synthetic build always has its frames, so only the windows can fail here.
    const auto result = runProcess({GLINTARA_SYNTHETIC_BINARY}, std::chrono::seconds(10),
                                   {"DISPLAY=:4097", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.signal, 0) << "ended by a signal instead of an orderly exit";
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(linesOf(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace glintara
