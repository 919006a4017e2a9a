#include "render/plain_render.hpp"

#include <opencv2/imgproc.hpp>

#include "render/placement_table.hpp"
#include "render/sizes.hpp"
#include "render/tiles.hpp"

namespace glintara {
namespace {

void turn(const cv::Mat& source, double phi, cv::Mat& destination) {
    cv::warpAffine(source, destination, rotationAboutCentre(destination.size(), phi),
                   destination.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar());
}

void shrinkToTile(const cv::Mat& source, cv::Mat& tileImage) {
    cv::resize(source, tileImage, tileImage.size(), 0.0, 0.0, cv::INTER_LINEAR);
}

void makeTile(TileMake make, double angle, const cv::Mat& squareImage, PlainScratch& s) {
    switch (make) {
        case TileMake::Keep:
            return;
        case TileMake::Base:
            return makeBaseTile(squareImage, s.tileImage);
        case TileMake::Turned120:
            return makeRotatedTile(squareImage, 120.0, s.warpImage, s.tileImage);
        case TileMake::Turned240:
            return makeRotatedTile(squareImage, 240.0, s.warpImage, s.tileImage);
        case TileMake::Mirrored0:
        case TileMake::Mirrored120:
        case TileMake::Mirrored240:
            return makeMirroredTile(squareImage, mirrorAngle(make, angle), s.warpImage, s.flipImage,
                                    s.tileImage);
    }
}

}  // namespace

PlainScratch createPlainScratch(const Geometry& geometry) {
    const int square = geometry.squareSide;
    const int tile = geometry.tileSide;
    PlainScratch scratch;
    scratch.geometry = geometry;
    scratch.tileImage.create(tile, tile, CV_8UC3);
    scratch.maskUp.create(tile, tile, CV_8UC1);
    scratch.maskDown.create(tile, tile, CV_8UC1);
    scratch.warpImage.create(square, square, CV_8UC3);
    scratch.flipImage.create(square, square, CV_8UC3);
    return scratch;
}

void makeBaseTile(const cv::Mat& squareImage, cv::Mat& tileImage) {
    shrinkToTile(squareImage, tileImage);
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

void takeSample(const cv::Mat& frameImage, const Sample& sample, cv::Mat& squareImage) {
    const cv::Rect cut = sampleCut(frameImage.size(), squareImage.rows, sample);
    if (cut.size() == squareImage.size()) {
        frameImage(cut).copyTo(squareImage);
    } else {
        cv::resize(frameImage(cut), squareImage, squareImage.size(), 0.0, 0.0, cv::INTER_LINEAR);
    }
}

void renderPlainly(PlainScratch& s, cv::Mat& frameImage, cv::Mat& squareImage, cv::Mat& outputImage,
                   double angle, const Sample& sample) {
    takeSample(frameImage, sample, squareImage);
    brightenSquare(squareImage);
    Triangles triangles = computeTriangles(angle, s.geometry.triangleSide);
    drawGuideOutline(frameImage, triangles.upTriangle, s.geometry.outlineThickness,
                     sampleCut(frameImage.size(), s.geometry.squareSide, sample),
                     s.geometry.squareSide);
    scaleToTile(triangles);
    buildMasks(triangles, s.tileImage.size(), s.maskUp, s.maskDown);

    const cv::Point origin = placementOrigin(outputImage.size(), s.tileImage.size());
    outputImage.setTo(cv::Scalar::all(0));
    for (const Placement& placement : placementTable()) {
        makeTile(placement.make, angle, squareImage, s);
        if (placement.blurFirst) {
            blurTile(s.tileImage, s.geometry.blurSide);
        }
        const cv::Rect area(tilePosition(placement, triangles, origin), s.tileImage.size());
        s.tileImage.copyTo(outputImage(area), placement.mask == Mask::Up ? s.maskUp : s.maskDown);
    }
}

}  // namespace glintara
