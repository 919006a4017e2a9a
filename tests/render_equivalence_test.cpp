// The renderer turns only what reaches the canvas and makes its tile states side by side;
// none of that may change a byte. Held against the plain sequence of whole-image OpenCV
// calls at every angle, on a photograph, on noise and on the generated scene.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <string>
#include <tuple>
#include <vector>

#include "core/frame.hpp"
#include "core/workspace.hpp"
#include "render/plain_render.hpp"
#include "render/sample.hpp"
#include "tests/support/pictures.hpp"

namespace glintara {
namespace {

using namespace testing_support;

struct Picture {
    std::string name;
    cv::Mat (*make)();
};

void PrintTo(const Picture& picture, std::ostream* out) {
    *out << picture.name;
}

cv::Mat photograph() {
    return cv::imread("/usr/share/doc/opencv-doc/examples/data/fruits.jpg");
}

// Values below 170 stay distinct after the brightening, so every tap of every turn shows.
cv::Mat noise() {
    cv::Mat frame(kClassic.frameSize.height, kClassic.frameSize.width, CV_8UC3);
    cv::RNG rng(20261209);
    rng.fill(frame, cv::RNG::UNIFORM, 0, 170);
    return frame;
}

cv::Mat scene() {
    return syntheticScene();
}

int differingPixels(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    return cv::countNonZero(difference.reshape(1));
}

// Every angle at the usual size; elsewhere the edges of the turns (0, 59, 60, 120, 180, 359)
// and a spread between them.
std::vector<int> anglesFor(int canvasSide) {
    std::vector<int> angles;
    if (canvasSide == kDefaultCanvasSide) {
        // Out of order, so that whatever one angle leaves in the renderer's buffers meets a
        // different angle next.
        for (int k = 0; k < 360; ++k) {
            angles.push_back((k * 137) % 360);
        }
        return angles;
    }
    angles = {0, 59, 60, 120, 180, 359};
    for (int k = 1; k <= 12; ++k) {
        angles.push_back((k * 137 + 11) % 360);
    }
    return angles;
}

// Where the kaleidoscope samples, by name.
struct SampleRow {
    std::string name;
    Sample sample;
};

void PrintTo(const SampleRow& row, std::ostream* out) {
    *out << (row.name.empty() ? "the middle" : row.name);
}

const SampleRow kMiddle{"", Sample{}};

class RenderEquivalence : public testing::TestWithParam<std::tuple<Picture, int, SampleRow>> {};

TEST_P(RenderEquivalence, EveryAngleMatchesThePlainSequenceByteForByte) {
    const auto& [source, canvasSide, row] = GetParam();
    const cv::Mat picture = source.make();
    if (picture.empty()) {
        GTEST_SKIP() << "opencv-doc's fruits.jpg is not installed";
    }
    ImageWorkspace ws = createWorkspace(canvasSide);
    PlainScratch reference = createPlainScratch(geometryFor(canvasSide));
    FrameScratch scratch;
    const int squareSide = geometryFor(canvasSide).squareSide;
    cv::Mat frame, square(squareSide, squareSide, CV_8UC3);
    cv::Mat canvas(canvasSide, canvasSide, CV_8UC3);

    for (const int angle : anglesFor(canvasSide)) {
        loadFrame(picture, ws, scratch, kSquarePixels, row.sample);
        ws.frameImage.copyTo(frame);
        renderFrame(ws, angle);
        renderPlainly(reference, frame, square, canvas, angle, row.sample);
        ASSERT_EQ(differingPixels(ws.outputImage, canvas), 0) << "canvas at angle " << angle;
        ASSERT_EQ(differingPixels(ws.frameImage, frame), 0) << "guide frame at angle " << angle;
        ASSERT_EQ(differingPixels(ws.squareImage, square), 0) << "square at angle " << angle;
    }
}

std::string nameOf(const testing::TestParamInfo<std::tuple<Picture, int, SampleRow>>& info) {
    return std::get<0>(info.param).name + "_" + std::to_string(std::get<1>(info.param)) +
           std::get<2>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(PicturesAndSizes, RenderEquivalence,
                         testing::Combine(testing::Values(Picture{"Photograph", photograph},
                                                          Picture{"Noise", noise},
                                                          Picture{"Scene", scene}),
                                          testing::Values(640, 1080, 2160, 728, 128),
                                          testing::Values(kMiddle)),
                         nameOf);

// Steered samples: in the corners, where the cut is moved back inside the frame; zooms that
// grow the sample by odd and even factors and the most; centres off the middle.
INSTANTIATE_TEST_SUITE_P(
    Samples, RenderEquivalence,
    testing::Combine(testing::Values(Picture{"Photograph", photograph}, Picture{"Noise", noise}),
                     testing::Values(640, 728),
                     testing::Values(SampleRow{"_TopLeftCorner", {0.0, 0.0, 1.0}},
                                     SampleRow{"_BottomRightCornerZoom2", {1.0, 1.0, 2.0}},
                                     SampleRow{"_OffTheMiddleZoom1_19", {0.3, 0.62, 1.19}},
                                     SampleRow{"_NearTheTopRightZoom8", {0.9, 0.1, 8.0}})),
    nameOf);

}  // namespace
}  // namespace glintara
