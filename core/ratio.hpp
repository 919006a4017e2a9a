// A rational number, as video files keep their times and frame rates: 29.97 frames per
// second is 2997/100, never rounded.
#pragma once

namespace glintara {

struct Ratio {
    int num = 0;
    int den = 1;
    double value() const { return den == 0 ? 0.0 : static_cast<double>(num) / den; }
    bool operator==(const Ratio&) const = default;
};

}  // namespace glintara
