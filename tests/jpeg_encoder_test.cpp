// MJPG frames must stay the very files OpenCV's own JPEG writer made of them.
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "media/jpeg_encoder.hpp"

namespace glintara::media {
namespace {

cv::Mat noise(cv::Size size) {
    cv::Mat picture(size, CV_8UC3);
    cv::randu(picture, 0, 256);
    return picture;
}

cv::Mat softShapes(cv::Size size) {
    cv::Mat picture(size, CV_8UC3, cv::Scalar(40, 90, 200));
    cv::circle(picture, {size.width / 3, size.height / 2}, size.height / 3, {250, 20, 120},
               cv::FILLED, cv::LINE_AA);
    cv::GaussianBlur(picture, picture, {9, 9}, 0);
    return picture;
}

struct JpegCase {
    const char* name;
    cv::Mat picture;
    int quality;
};

void PrintTo(const JpegCase& c, std::ostream* out) {
    *out << c.picture.cols << "x" << c.picture.rows << " at quality " << c.quality;
}

class JpegBytes : public testing::TestWithParam<JpegCase> {};

TEST_P(JpegBytes, AreThoseOfImencode) {
    const JpegCase& c = GetParam();
    std::vector<unsigned char> expected;
    ASSERT_TRUE(cv::imencode(".jpg", c.picture, expected, {cv::IMWRITE_JPEG_QUALITY, c.quality}));
    JpegEncoder encoder(c.quality);
    std::vector<unsigned char> bytes;
    // Twice with one encoder: a frame must not carry anything over into the next.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(encoder.encode(c.picture, bytes));
        EXPECT_EQ(bytes, expected) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, JpegBytes,
                         testing::Values(JpegCase{"Canvas", softShapes({640, 640}), 90},
                                         // Noise compresses worst: the buffer has to grow.
                                         JpegCase{"NoiseFrame", noise({640, 480}), 90},
                                         JpegCase{"OddSize", softShapes({7, 5}), 90},
                                         JpegCase{"LowQuality", noise({33, 17}), 10}),
                         [](const testing::TestParamInfo<JpegCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(JpegEncoder, ReportsAFailureAndEncodesAgainAfterIt) {
    JpegEncoder encoder(90);
    std::vector<unsigned char> bytes;
    // libjpeg refuses a picture of no size through its error handler.
    EXPECT_FALSE(encoder.encode(cv::Mat(0, 0, CV_8UC3), bytes));
    const cv::Mat picture = softShapes({64, 48});
    ASSERT_TRUE(encoder.encode(picture, bytes));
    std::vector<unsigned char> expected;
    cv::imencode(".jpg", picture, expected, {cv::IMWRITE_JPEG_QUALITY, 90});
    EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace glintara::media
