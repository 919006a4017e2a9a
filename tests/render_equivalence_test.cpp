// The renderer turns only what reaches the canvas and makes its tile states side by side;
// none of that may change a byte. Held against the plain sequence of whole-image OpenCV
// calls at every angle, on a photograph, on noise and on the generated scene.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <string>

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
    cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3);
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

class RenderEquivalence : public testing::TestWithParam<Picture> {};

TEST_P(RenderEquivalence, EveryAngleMatchesThePlainSequenceByteForByte) {
    const cv::Mat picture = GetParam().make();
    if (picture.empty()) {
        GTEST_SKIP() << "opencv-doc's fruits.jpg is not installed";
    }
    ImageWorkspace ws = createWorkspace();
    PlainScratch reference = createPlainScratch();
    FrameScratch scratch;
    cv::Mat frame, square, canvas(kCanvasSide, kCanvasSide, CV_8UC3);

    // Angles out of order, so that whatever one angle leaves in the renderer's buffers meets
    // a different angle next.
    for (int k = 0; k < 360; ++k) {
        const int angle = (k * 137) % 360;
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

INSTANTIATE_TEST_SUITE_P(Pictures, RenderEquivalence,
                         testing::Values(Picture{"Photograph", photograph}, Picture{"Noise", noise},
                                         Picture{"Scene", scene}),
                         [](const testing::TestParamInfo<Picture>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace glintara
