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

class RenderEquivalence : public testing::TestWithParam<std::tuple<Picture, int>> {};

TEST_P(RenderEquivalence, EveryAngleMatchesThePlainSequenceByteForByte) {
    const auto& [source, canvasSide] = GetParam();
    const cv::Mat picture = source.make();
    if (picture.empty()) {
        GTEST_SKIP() << "opencv-doc's fruits.jpg is not installed";
    }
    ImageWorkspace ws = createWorkspace(canvasSide);
    PlainScratch reference = createPlainScratch(geometryFor(canvasSide));
    FrameScratch scratch;
    cv::Mat frame, square, canvas(canvasSide, canvasSide, CV_8UC3);

    for (const int angle : anglesFor(canvasSide)) {
        loadFrame(picture, ws, scratch);
        ws.frameImage.copyTo(frame);
        ws.squareImage.copyTo(square);
        renderFrame(ws, angle);
        renderPlainly(reference, frame, square, canvas, angle);
        ASSERT_EQ(differingPixels(ws.outputImage, canvas), 0) << "canvas at angle " << angle;
        ASSERT_EQ(differingPixels(ws.frameImage, frame), 0) << "guide frame at angle " << angle;
        ASSERT_EQ(differingPixels(ws.squareImage, square), 0) << "square at angle " << angle;
    }
}

INSTANTIATE_TEST_SUITE_P(PicturesAndSizes, RenderEquivalence,
                         testing::Combine(testing::Values(Picture{"Photograph", photograph},
                                                          Picture{"Noise", noise},
                                                          Picture{"Scene", scene}),
                                          testing::Values(640, 1080, 2160, 728, 128)),
                         [](const testing::TestParamInfo<std::tuple<Picture, int>>& info) {
                             return std::get<0>(info.param).name + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace glintara
