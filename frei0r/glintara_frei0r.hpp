// The frei0r filter's work, kept apart from frei0r's C interface: one instance per frame size,
// its parameters, and a frame in, the picture placed on a frame of the same size out.
// Frames are 8-bit RGBA, the colour model MLT (the engine of Kdenlive and Shotcut) works in,
// so that it hands its frames over as they are; FFmpeg and GStreamer convert from the
// decoder's YUV either way.
#pragma once

#include <array>
#include <optional>

#include <opencv2/core.hpp>

#include "core/kaleidoscope_filter.hpp"
#include "frei0r/placement.hpp"

namespace glintara::frei0r {

enum class ParameterType { Bool, Double };

struct Parameter {
    const char* name;
    ParameterType type;
    const char* explanation;
};

// In the order hosts see them: FFmpeg's filter_params are given by position, so new ones go
// at the end.
inline constexpr std::array<Parameter, 6> kParameters{{
    {"angle", ParameterType::Double,
     "The angle of the triangle, 0 to 1 for 0 to 359 degrees; animate it to turn"},
    {"fill", ParameterType::Bool,
     "Fill the frame, cropping the picture, instead of fitting it on black"},
    {"guide", ParameterType::Bool,
     "Show the prepared frame with the red triangle instead of the kaleidoscope"},
    {"center-x", ParameterType::Double,
     "Where the triangle samples across the frame, 0 to 1 (0.5 is the middle)"},
    {"center-y", ParameterType::Double,
     "Where the triangle samples down the frame, 0 to 1 (0.5 is the middle)"},
    {"zoom", ParameterType::Double, "How closely the triangle samples: 0 to 1 for zoom 1 to 8"},
}};

// The zoom parameter v stands for zoom 2^(3v): 0 is 1, 1 is 8.
double zoomFromParameter(double value);
double parameterFromZoom(double zoom);

// frei0r's parameter values are doubles in 0..1 (a bool is true from 0.5).
int degreesFromParameter(double value);
double parameterFromDegrees(int degrees);

class GlintaraFrei0r {
  public:
    // Cheap: hosts make instances only to read the parameters. The renderer's images are made
    // by the first frame.
    explicit GlintaraFrei0r(cv::Size frame) : frame_(frame) {}

    cv::Size frameSize() const { return frame_; }

    // Out-of-range indices are ignored, and read as 0.
    void setParameter(int index, double value);
    double parameter(int index) const;

    // Writes the picture of `in` into `out`, both RGBA of the instance's frame size (they may
    // be the same buffer); a frame too small for the renderer is copied unchanged.
    void update(const cv::Mat& in, cv::Mat& out);

  private:
    void renderPlaced(const Placement& placement, const cv::Mat& in, cv::Mat& out);

    cv::Size frame_;
    int angle_ = 0;
    bool fill_ = false;
    bool guide_ = false;
    Sample sample_;
    std::optional<KaleidoscopeFilter> filter_;
    cv::Mat frameBgr_;
};

}  // namespace glintara::frei0r
