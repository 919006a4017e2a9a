// The programs installed into a prefix work from there, as the README's examples run them.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <regex>
#include <set>

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
    // Where FFmpeg and MLT search under a prefix (FREI0R_PATH elsewhere).
    EXPECT_TRUE(std::filesystem::exists(prefix.root() / "lib/frei0r-1/glintara.so"));
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

// `make deb` as a user runs it, in a build of its own; its package read back with dpkg-deb.
TEST(Install, TheDebianPackageHoldsEveryPieceWhereDebianLooksAndNeedsOnlyRuntimeLibraries) {
    const auto made = runProcess({"/usr/bin/make", "-C", GLINTARA_SOURCE_DIR, "deb"},
                                 std::chrono::minutes(30), {"MAKEFLAGS=", "MAKELEVEL="});
    ASSERT_EQ(made.exitStatus, 0) << made.out << made.err;
    const std::string package = std::string(GLINTARA_SOURCE_DIR) + "/build-deb/glintara_" +
                                GLINTARA_VERSION + "_" + GLINTARA_DEB_ARCHITECTURE + ".deb";
    ASSERT_TRUE(std::filesystem::exists(package)) << package;

    const auto contents = runProcess({"/usr/bin/dpkg-deb", "--contents", package});
    ASSERT_EQ(contents.exitStatus, 0) << contents.err;
    std::set<std::string> files;
    for (const std::string& line : linesOf(contents.out)) {
        files.insert(line.substr(line.rfind(' ') + 1));
    }
    const std::string multiarch = GLINTARA_MULTIARCH;
    for (const std::string& expected : std::vector<std::string>{
             "./usr/bin/glintara", "./usr/bin/glintara-render",
             "./usr/lib/" + multiarch + "/gstreamer-1.0/libgstglintara.so",
             "./usr/lib/frei0r-1/glintara.so", "./usr/share/kdenlive/effects/frei0r_glintara.xml",
             "./usr/share/man/man1/glintara.1.gz", "./usr/share/man/man1/glintara-render.1.gz",
             "./usr/share/doc/glintara/copyright", "./usr/share/doc/glintara/changelog.gz"}) {
        EXPECT_TRUE(files.count(expected)) << expected << " is not in the package:\n"
                                           << contents.out;
    }

    const auto depends = runProcess({"/usr/bin/dpkg-deb", "--field", package, "Depends"});
    ASSERT_EQ(depends.exitStatus, 0) << depends.err;
    for (const char* runtime : {"libavcodec", "libopencv-core", "libgstreamer1.0-0", "libc6"}) {
        EXPECT_NE(depends.out.find(runtime), std::string::npos) << depends.out;
    }
    EXPECT_EQ(depends.out.find("-dev"), std::string::npos) << depends.out;
}

// The manual page tells of every option glintara-render's own help lists, and each exit status.
TEST(Install, TheRenderToolsManualPageCoversItsHelp) {
    const auto help = runProcess({GLINTARA_RENDER_BINARY, "--help"});
    const auto manual = runProcess(
        {"/usr/bin/zcat", std::string(GLINTARA_BUILD_DIR) + "/man/glintara-render.1.gz"});
    ASSERT_EQ(manual.exitStatus, 0) << manual.err;
    const std::regex option(
        "--([a-z]+)|\\b(1[0-9][0-9]|[0-9])\\b (done|failed|usage|hung|"
        "interrupted|terminated)");
    std::set<std::string> terms;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it) {
        terms.insert((*it)[1].matched ? "\\-\\-" + (*it)[1].str() : ".B " + (*it)[2].str());
    }
    EXPECT_EQ(terms.size(), 16u) << "10 options and 6 exit statuses in:\n" << help.out;
    for (const std::string& term : terms) {
        EXPECT_NE(manual.out.find(term), std::string::npos) << term << " is not in the manual";
    }
}

}  // namespace
}  // namespace glintara
