// The programs installed into a prefix work from there, as the README's examples run them.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>

#include "tests/support/install.hpp"
#include "tests/support/pictures.hpp"
#include "tests/support/subprocess.hpp"

namespace glintara {
namespace {

using namespace testing_support;

TEST(Install, PutsBothProgramsInTheBinFolderOfThePrefixAndTheyRunFromThere) {
    ScratchFolder prefix;
    const auto installed = installBuildInto(prefix.root());
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;
    const std::filesystem::path bin = prefix.root() / "bin";
    EXPECT_TRUE(std::filesystem::exists(bin / "glintara"));
    const std::string render = (bin / "glintara-render").string();

    const auto help = runProcess({render, "--help"}, std::chrono::seconds(30));
    EXPECT_EQ(help.exitStatus, 0) << help.err;
    EXPECT_NE(help.out.find("glintara-render"), std::string::npos) << help.out;

    ScratchFolder work;
    const cv::Mat scene = syntheticScene();
    ASSERT_TRUE(cv::imwrite(work.path("photo.png"), scene));
    const auto still =
        runProcess({render, "--angle", "10", work.path("photo.png"), work.path("star.png")},
                   std::chrono::seconds(60));
    ASSERT_EQ(still.exitStatus, 0) << still.err;
    EXPECT_EQ(cv::norm(cv::imread(work.path("star.png")), renderOf(scene, 10), cv::NORM_INF), 0.0);
}

}  // namespace
}  // namespace glintara
