// The renderer's fixed sizes: the sampled square, the tile and the canvas.
#pragma once

namespace glintara {

// The kaleidoscope canvas.
inline constexpr int kCanvasSide = 640;

// The side of the sampled square: the diameter of the circle around the 400-pixel guide
// triangle (800 / sqrt 3 = 461.88...), truncated.
int squareSide();
// A third of the square side, in integer division (153, two pixels short of an exact third).
int tileSide();

}  // namespace glintara
