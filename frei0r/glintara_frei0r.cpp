#include "frei0r/glintara_frei0r.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace glintara::frei0r {
namespace {

constexpr int kLastDegree = 359;
constexpr int kAngle = 0;
constexpr int kFill = 1;
constexpr int kGuide = 2;
constexpr int kCenterX = 3;
constexpr int kCenterY = 4;
constexpr int kZoom = 5;

bool boolFromParameter(double value) {
    return value >= 0.5;
}

// A value in 0..1, NaN taken as `fallback`.
double fractionFromParameter(double value, double fallback) {
    return std::isnan(value) ? fallback : std::clamp(value, 0.0, 1.0);
}

}  // namespace

int degreesFromParameter(double value) {
    if (!(value > 0.0)) {
        return 0;  // and NaN
    }
    return static_cast<int>(std::min(value, 1.0) * kLastDegree + 0.5);
}

double parameterFromDegrees(int degrees) {
    return static_cast<double>(degrees) / kLastDegree;
}

double zoomFromParameter(double value) {
    return std::exp2(3.0 * fractionFromParameter(value, 0.0));
}

double parameterFromZoom(double zoom) {
    return std::log2(zoom) / 3.0;
}

void GlintaraFrei0r::setParameter(int index, double value) {
    switch (index) {
        case kAngle:
            angle_ = degreesFromParameter(value);
            break;
        case kFill:
            fill_ = boolFromParameter(value);
            break;
        case kGuide:
            guide_ = boolFromParameter(value);
            break;
        case kCenterX:
            sample_.centerX = fractionFromParameter(value, 0.5);
            break;
        case kCenterY:
            sample_.centerY = fractionFromParameter(value, 0.5);
            break;
        case kZoom:
            sample_.zoom = zoomFromParameter(value);
            break;
        default:
            break;
    }
}

double GlintaraFrei0r::parameter(int index) const {
    switch (index) {
        case kAngle:
            return parameterFromDegrees(angle_);
        case kFill:
            return fill_ ? 1.0 : 0.0;
        case kGuide:
            return guide_ ? 1.0 : 0.0;
        case kCenterX:
            return sample_.centerX;
        case kCenterY:
            return sample_.centerY;
        case kZoom:
            return parameterFromZoom(sample_.zoom);
        default:
            return 0.0;
    }
}

void GlintaraFrei0r::update(const cv::Mat& in, cv::Mat& out) {
    CV_Assert(in.size() == frame_ && in.type() == CV_8UC4);
    CV_Assert(out.size() == frame_ && out.type() == CV_8UC4);
    const std::optional<Placement> placement = placementFor(frame_, fill_, guide_);
    if (!placement) {
        in.copyTo(out);
        return;
    }
    renderPlaced(*placement, in, out);
}

void GlintaraFrei0r::renderPlaced(const Placement& placement, const cv::Mat& in, cv::Mat& out) {
    if (filter_) {
        filter_->setCanvasSide(placement.canvasSide);
    } else {
        filter_.emplace(placement.canvasSide);
        filter_->setTurning(false);  // the host sets the angle of every frame
    }
    filter_->setAngle(angle_);
    filter_->setSample(sample_);
    // Read in full before out is written: a host may hand the same buffer for both.
    cv::cvtColor(in, frameBgr_, cv::COLOR_RGBA2BGR);
    const cv::Mat& picture = filter_->render(frameBgr_, placement.picture);

    if (placement.inFrame.size() != frame_) {
        out.setTo(cv::Scalar(0, 0, 0, 255));
    }
    cv::Mat placed = out(placement.inFrame);
    cv::cvtColor(picture(placement.ofPicture), placed, cv::COLOR_BGR2RGBA);
}

}  // namespace glintara::frei0r
