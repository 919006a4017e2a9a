#include "render/geometry.hpp"

#include <cmath>
#include <numbers>

#include <opencv2/imgproc.hpp>

#include "render/triangle_fill.hpp"

namespace glintara {
namespace {

constexpr double kTileDivisor = 3.0;
const cv::Scalar kGuideColour(0, 0, 255, 0);  // pure red in BGR
constexpr uchar kMaskFill = 255;

// Turns (x, y) clockwise on screen (y points down) in double precision; each coordinate is
// stored as a 32-bit float, which the placements downstream depend on to the pixel.
cv::Point2f rotate(double x, double y, double cosine, double sine) {
    return {static_cast<float>(x * cosine - y * sine), static_cast<float>(x * sine + y * cosine)};
}

void refillMask(cv::Mat& mask, const TrianglePoints& points) {
    mask.setTo(0);
    fillTriangle(mask, points, kMaskFill);
}

}  // namespace

Triangles computeTriangles(double angle, double side) {
    const double theta = angle / 180.0 * std::numbers::pi;
    const double cosine = std::cos(theta);
    const double sine = std::sin(theta);

    const double r3 = std::sqrt(3.0);
    // The radii are used as 32-bit floats, as a vertex coordinate would be.
    const double h = static_cast<float>(side / r3);         // centre to vertex
    const double k = static_cast<float>(side / (r3 + r3));  // centre to side
    const double half = side / 2.0;

    Triangles triangles;
    triangles.upTriangle = {rotate(0.0, -h, cosine, sine), rotate(-half, k, cosine, sine),
                            rotate(half, k, cosine, sine)};
    triangles.downTriangle = {rotate(-half, -k, cosine, sine), rotate(0.0, h, cosine, sine),
                              rotate(half, -k, cosine, sine)};
    return triangles;
}

TrianglePoints makeIntegerPoints(const Triangle& triangle, int cx, int cy, double scale) {
    TrianglePoints points;
    for (std::size_t i = 0; i < triangle.size(); ++i) {
        // static_cast truncates toward zero: a sum of -0.48 becomes 0, not -1. At scale 1 the
        // product is the vertex itself.
        const double x = static_cast<double>(triangle[i].x) * scale;
        const double y = static_cast<double>(triangle[i].y) * scale;
        points[i] = {static_cast<int>((x + static_cast<double>(cx)) + 0.5),
                     static_cast<int>((y + static_cast<double>(cy)) + 0.5)};
    }
    return points;
}

TrianglePoints drawGuideOutline(cv::Mat& frameImage, const Triangle& upTriangle, int thickness,
                                cv::Rect cut, int squareSide) {
    const double scale = static_cast<double>(cut.width) / static_cast<double>(squareSide);
    const TrianglePoints upPoints =
        makeIntegerPoints(upTriangle, cut.x + cut.width / 2, cut.y + cut.height / 2, scale);
    const cv::Point* polygon = upPoints.data();
    const int count = static_cast<int>(upPoints.size());
    cv::polylines(frameImage, &polygon, &count, 1, true, kGuideColour, thickness, cv::LINE_8, 0);
    return upPoints;
}

void scaleToTile(Triangles& triangles) {
    for (Triangle* triangle : {&triangles.upTriangle, &triangles.downTriangle}) {
        for (cv::Point2f& vertex : *triangle) {
            vertex.x = static_cast<float>(vertex.x / kTileDivisor);
            vertex.y = static_cast<float>(vertex.y / kTileDivisor);
        }
    }
}

void buildMasks(const Triangles& tileTriangles, cv::Size tileSize, cv::Mat& maskUp,
                cv::Mat& maskDown) {
    const int cx = tileSize.width / 2;
    const int cy = tileSize.height / 2;
    const TrianglePoints upPoints = makeIntegerPoints(tileTriangles.upTriangle, cx, cy);
    const TrianglePoints downPoints = makeIntegerPoints(tileTriangles.downTriangle, cx, cy);
    refillMask(maskUp, upPoints);
    refillMask(maskDown, downPoints);
}

}  // namespace glintara
