// Bringing any frame, from a camera or a file, into the workspace.
#pragma once

#include <opencv2/core.hpp>

#include "core/ratio.hpp"
#include "core/workspace.hpp"
#include "render/area_shrink.hpp"
#include "render/linear_grow.hpp"
#include "render/sample.hpp"

namespace glintara {

// Scratch images for frames that need converting; kept across frames so that a camera
// with an odd format costs no allocation after its first frame.
struct FrameScratch {
    cv::Mat depth8;
    cv::Mat colour;
    AreaShrink shrink;      // for the sizes last shrunk between
    LinearGrow grow;        // for the sizes last grown between
    LinearGrow sampleGrow;  // for the sample last grown to the square
};

// The width of a stored pixel to its height as a picture is shown: 1/1 for square pixels,
// 4/3 for anamorphic HDV and widescreen DV and DVD, 8/9 for 4:3 PAL.
inline constexpr Ratio kSquarePixels{1, 1};

// Whether pixels of that aspect are shown square; one unknown (0 or less either way) is taken
// as square, as players take it.
inline bool squarePixels(Ratio pixelAspect) {
    return pixelAspect.num == pixelAspect.den || pixelAspect.num <= 0 || pixelAspect.den <= 0;
}

// The largest centred part of a picture of this size that is shown 4:3 (at least one pixel
// each way), its pixels `pixelAspect` wide.
cv::Rect centredFourByThree(cv::Size size, Ratio pixelAspect = kSquarePixels);

// Copies a non-empty frame of square pixels and frameImage's own size, channel count and depth
// into frameImage; any other has its centred part shown 4:3 made 8-bit BGR and scaled to
// frameImage's size (shrunk by area, grown bilinearly), so that no picture is stretched. With
// a `needed` part, only that part of frameImage has to be made; the rest may be left as it
// was.
void prepareFrame(const cv::Mat& frame, cv::Mat& frameImage, FrameScratch& scratch,
                  cv::Rect needed = {}, Ratio pixelAspect = kSquarePixels);

// Where the sample is cut from frameImage: sets workspace.squareCut.
void aimSample(ImageWorkspace& workspace, const Sample& sample);

// The part of frameImage at workspace.squareCut into squareImage: copied, or grown to it as
// cv::resize's INTER_LINEAR grows it, byte for byte, when the sample is smaller.
void cutSquare(ImageWorkspace& workspace, FrameScratch& scratch);

// Both of the above: the frame in frameImage and its sample in squareImage, ready to render.
void loadFrame(const cv::Mat& frame, ImageWorkspace& workspace, FrameScratch& scratch,
               Ratio pixelAspect = kSquarePixels, const Sample& sample = {});

// The same for a kaleidoscope alone, when frameImage is not shown or written: only the part
// of it sampled is made, the rest left as it was.
void loadSquare(const cv::Mat& frame, ImageWorkspace& workspace, FrameScratch& scratch,
                Ratio pixelAspect = kSquarePixels, const Sample& sample = {});

}  // namespace glintara
