#include "render-tool/progress.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace glintara::tool {
namespace {

TEST(ProgressLine, ShowsDoneOfTotalPercentRateAndTimeLeft) {
    EXPECT_EQ(progressLine(120, 300, 2.0), "frame 120/300   40%  60.0 fps  3 s left");
    EXPECT_EQ(progressLine(300, 300, 5.0), "frame 300/300  100%  60.0 fps");
    EXPECT_EQ(progressLine(0, 300, 0.0), "frame 0/300    0%  0.0 fps");
    EXPECT_EQ(progressLine(45, std::nullopt, 1.5), "frame 45  30.0 fps");
}

TEST(ProgressLine, SummaryCountsFramesSecondsAndRate) {
    EXPECT_EQ(summaryLine(300, 5.0), "rendered 300 frames in 5.0 s (60.0 fps)");
    EXPECT_EQ(summaryLine(1, 0.5), "rendered 1 frame in 0.5 s (2.0 fps)");
}

TEST(Progress, EachModeSaysWhatItShould) {
    std::ostringstream live;
    Progress onTerminal(ProgressMode::Live, live, 3);
    for (int i = 0; i < 3; ++i)
        onTerminal.frameDone();
    onTerminal.finish();
    EXPECT_EQ(live.str().front(), '\r');
    EXPECT_EQ(live.str().back(), '\n');
    EXPECT_NE(live.str().find("frame 3/3  100%"), std::string::npos);

    std::ostringstream summary;
    Progress toFile(ProgressMode::Summary, summary, 3);
    for (int i = 0; i < 3; ++i)
        toFile.frameDone();
    EXPECT_EQ(summary.str(), "") << "nothing before the end";
    toFile.finish();
    const std::string said = summary.str();
    EXPECT_EQ(said.rfind("rendered 3 frames in ", 0), 0u);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);

    std::ostringstream silent;
    Progress quiet(ProgressMode::Silent, silent, 3);
    quiet.frameDone();
    quiet.finish();
    EXPECT_EQ(silent.str(), "");
}

}  // namespace
}  // namespace glintara::tool
