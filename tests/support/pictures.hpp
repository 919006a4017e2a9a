// Generated test content, renders to compare with, picture fingerprints, files and scratch
// folders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/workspace.hpp"

namespace glintara {

// The usual canvas, whose sizes most tests are written for.
inline const Geometry kClassic = geometryFor(kDefaultCanvasSide);

}  // namespace glintara

namespace glintara::testing_support {

// A deterministic colourful scene (gradients, discs, lines, text) of the given size; `phase`
// shifts its content so that consecutive video frames differ.
cv::Mat syntheticScene(cv::Size size = {640, 480}, int phase = 0);

// FNV-1a over the pixel bytes, row by row, with the size and type folded in.
std::uint64_t fingerprint(const cv::Mat& image);

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const std::string& name) const { return (root_ / name).string(); }
    const std::filesystem::path& root() const { return root_; }
    // The names of the files in it, sorted.
    std::vector<std::string> names() const;

  private:
    std::filesystem::path root_;
};

// The whole content of a file, and a file made of the given bytes.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// What the renderer makes of a frame at an angle, prepared as a camera frame is: the
// kaleidoscope, or with `capture` the frame with the guide outline.
cv::Mat renderOf(const cv::Mat& frame, int angle, bool capture = false);

// The data pointers of every image the workspace and its renderer hold, to tell whether
// any was reallocated.
std::vector<const uchar*> workspaceBuffers(const ImageWorkspace& workspace);

// How far 4:2:0 planes are from what BT.601 in video range makes of `bgr`, worked out in
// double precision from the standard's own coefficients, colour from the mean of each 2x2
// block (an odd edge's block repeats its one row or column): the largest difference.
double yuv420Distance(const cv::Mat& bgr, const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr);

// What 4:2:0 planes stand for in BGR, in double precision and not rounded: a matrix with red
// and blue weights kr, kb, in the full or the video range, each colour sample serving its 2x2
// block.
cv::Mat bgrOfYuv420(const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr, double kr, double kb,
                    bool fullRange);

// Writes a video of `frames` synthetic scenes with the given codec; returns its path.
std::string writeSyntheticVideo(const std::string& path, int frames, int fourcc,
                                cv::Size size = {640, 480}, double fps = 25.0);

}  // namespace glintara::testing_support
