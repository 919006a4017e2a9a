#include "render/tiles.hpp"

#include <opencv2/imgproc.hpp>

namespace glintara {
namespace {

constexpr double kBrightening = 1.5;
const cv::Size kBlurSize(5, 5);

void turn(const cv::Mat& source, double phi, cv::Mat& destination) {
    // The matrix maps source to destination; pixels whose source lies outside turn black.
    cv::warpAffine(source, destination, rotationAboutCentre(destination.size(), phi),
                   destination.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
}

void shrinkToTile(const cv::Mat& source, cv::Mat& tileImage) {
    cv::resize(source, tileImage, tileImage.size(), 0.0, 0.0, cv::INTER_LINEAR);
}

}  // namespace

cv::Matx23f rotationAboutCentre(cv::Size imageSize, double phi) {
    const cv::Point2f centre(static_cast<float>(imageSize.width * 0.5),
                             static_cast<float>(0.5 * imageSize.height));
    // Computed in double, kept in float: the warp sees exactly the float coefficients.
    return cv::getRotationMatrix2D_(centre, phi, 1.0);
}

void brightenSquare(cv::Mat& squareImage) {
    squareImage.convertTo(squareImage, -1, kBrightening, 0.0);
}

void makeBaseTile(const cv::Mat& squareImage, cv::Mat& tileImage) {
    shrinkToTile(squareImage, tileImage);
}

void blurTile(cv::Mat& tileImage) {
    // Repeat the edge pixels: the library's default border would mirror them instead.
    cv::blur(tileImage, tileImage, kBlurSize, cv::Point(-1, -1), cv::BORDER_REPLICATE);
}

void makeRotatedTile(const cv::Mat& squareImage, double phi, cv::Mat& warpImage,
                     cv::Mat& tileImage) {
    turn(squareImage, phi, warpImage);
    shrinkToTile(warpImage, tileImage);
}

void makeMirroredTile(const cv::Mat& squareImage, double phi, cv::Mat& warpImage,
                      cv::Mat& flipImage, cv::Mat& tileImage) {
    turn(squareImage, phi, warpImage);
    cv::flip(warpImage, flipImage, 0);
    turn(flipImage, -phi, warpImage);
    shrinkToTile(warpImage, tileImage);
}

}  // namespace glintara
