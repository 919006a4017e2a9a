#include "core/frame.hpp"

#include <algorithm>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace glintara {
namespace {

// Scale that maps a depth's usual full range onto 0..255.
double scaleTo8Bit(int depth) {
    switch (depth) {
        case CV_16U:
            return 255.0 / 65535.0;
        case CV_16S:
            return 255.0 / 32767.0;
        case CV_32S:
            return 255.0 / 2147483647.0;
        case CV_16F:
        case CV_32F:
        case CV_64F:
            return 255.0;  // floating-point pictures run from 0 to 1
        default:
            return 1.0;
    }
}

const cv::Mat& to8Bit(const cv::Mat& frame, cv::Mat& depth8) {
    if (frame.depth() == CV_8U) {
        return frame;
    }
    frame.convertTo(depth8, CV_8U, scaleTo8Bit(frame.depth()));
    return depth8;
}

const cv::Mat& toBgr(const cv::Mat& frame, cv::Mat& colour) {
    switch (frame.channels()) {
        case 3:
            return frame;
        case 1:
            cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
            return colour;
        case 4:
            cv::cvtColor(frame, colour, cv::COLOR_BGRA2BGR);
            return colour;
        default: {
            // Two or more than four channels: read the first as grey.
            colour.create(frame.size(), CV_8UC3);
            const int fromTo[] = {0, 0, 0, 1, 0, 2};
            cv::mixChannels(&frame, 1, &colour, 1, fromTo, 3);
            return colour;
        }
    }
}

}  // namespace

cv::Rect centredFourByThree(cv::Size size, Ratio pixelAspect) {
    // Shown, a pixel is num/den as wide as it is high.
    const std::int64_t num = squarePixels(pixelAspect) ? 1 : pixelAspect.num;
    const std::int64_t den = squarePixels(pixelAspect) ? 1 : pixelAspect.den;
    std::int64_t width = size.width;
    std::int64_t height = size.height;
    if (width * num * 3 > height * den * 4) {
        width = std::clamp<std::int64_t>(height * 4 * den / (3 * num), 1, size.width);
    } else {
        height = std::clamp<std::int64_t>(width * 3 * num / (4 * den), 1, size.height);
    }
    return {(size.width - static_cast<int>(width)) / 2,
            (size.height - static_cast<int>(height)) / 2, static_cast<int>(width),
            static_cast<int>(height)};
}

void prepareFrame(const cv::Mat& frame, cv::Mat& frameImage, FrameScratch& scratch, cv::Rect needed,
                  Ratio pixelAspect) {
    if (squarePixels(pixelAspect) && frame.size() == frameImage.size() &&
        frame.type() == frameImage.type()) {
        frame.copyTo(frameImage);
        return;
    }
    // Only the centred part shown 4:3 is converted and scaled: a picture keeps its shape.
    const cv::Mat cut = frame(centredFourByThree(frame.size(), pixelAspect));
    const cv::Mat& depth8 = to8Bit(cut, scratch.depth8);
    if (depth8.size() == frameImage.size()) {
        // Already the frame's size: converted straight into place, or copied when it is BGR.
        const cv::Mat& colour = toBgr(depth8, frameImage);
        if (&colour != &frameImage) {
            colour.copyTo(frameImage);
        }
        return;
    }
    const cv::Mat& colour = toBgr(depth8, scratch.colour);
    const bool shrinking = colour.cols > frameImage.cols || colour.rows > frameImage.rows;
    if (shrinking && AreaShrink::takesThisPath(colour.size(), frameImage.size())) {
        // cv::resize's own INTER_AREA, byte for byte, in a fraction of its time.
        if (scratch.shrink.source() != colour.size() ||
            scratch.shrink.destination() != frameImage.size()) {
            scratch.shrink = AreaShrink(colour.size(), frameImage.size());
        }
        scratch.shrink.shrink(colour, frameImage, needed);
        return;
    }
    if (!shrinking) {
        // cv::resize's own INTER_LINEAR, byte for byte, and only where it is needed.
        if (scratch.grow.source() != colour.size() ||
            scratch.grow.destination() != frameImage.size()) {
            scratch.grow = LinearGrow(colour.size(), frameImage.size());
        }
        scratch.grow.grow(colour, frameImage, needed);
        return;
    }
    cv::resize(colour, frameImage, frameImage.size(), 0.0, 0.0, cv::INTER_AREA);
}

void aimSample(ImageWorkspace& workspace, const Sample& sample) {
    workspace.squareCut =
        sampleCut(workspace.frameImage.size(), workspace.squareImage.rows, sample);
}

void cutSquare(ImageWorkspace& workspace, FrameScratch& scratch) {
    const cv::Mat cut = workspace.frameImage(workspace.squareCut);
    if (cut.size() == workspace.squareImage.size()) {
        cut.copyTo(workspace.squareImage);
        return;
    }
    if (scratch.sampleGrow.source() != cut.size() ||
        scratch.sampleGrow.destination() != workspace.squareImage.size()) {
        scratch.sampleGrow = LinearGrow(cut.size(), workspace.squareImage.size());
    }
    scratch.sampleGrow.grow(cut, workspace.squareImage);
}

void loadFrame(const cv::Mat& frame, ImageWorkspace& workspace, FrameScratch& scratch,
               Ratio pixelAspect, const Sample& sample) {
    aimSample(workspace, sample);
    prepareFrame(frame, workspace.frameImage, scratch, {}, pixelAspect);
    cutSquare(workspace, scratch);
}

void loadSquare(const cv::Mat& frame, ImageWorkspace& workspace, FrameScratch& scratch,
                Ratio pixelAspect, const Sample& sample) {
    aimSample(workspace, sample);
    prepareFrame(frame, workspace.frameImage, scratch, workspace.squareCut, pixelAspect);
    cutSquare(workspace, scratch);
}

}  // namespace glintara
