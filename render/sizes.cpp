#include "render/sizes.hpp"

#include <cmath>

namespace glintara {

int squareSide() {
    return static_cast<int>(800.0 / std::sqrt(3.0));
}

int tileSide() {
    return squareSide() / 3;
}

}  // namespace glintara
