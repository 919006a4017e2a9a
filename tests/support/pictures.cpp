#include "tests/support/pictures.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "core/frame.hpp"
#include "core/workspace.hpp"

namespace glintara::testing_support {

cv::Mat syntheticScene(cv::Size size, int phase) {
    cv::Mat scene(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            scene.at<cv::Vec3b>(y, x) =
                cv::Vec3b(static_cast<uchar>((x + 3 * phase) * 255 / size.width),
                          static_cast<uchar>(y * 255 / size.height),
                          static_cast<uchar>(((x + y) / 4 + phase * 5) % 256));
        }
    }
    cv::RNG rng(42);
    for (int i = 0; i < 24; ++i) {
        const cv::Point centre(rng.uniform(0, size.width), rng.uniform(0, size.height));
        const cv::Point shifted(centre.x + phase * 4, centre.y + phase * 2);
        const cv::Scalar colour(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256));
        cv::circle(scene, shifted, rng.uniform(5, 60), colour, cv::FILLED, cv::LINE_AA);
        cv::line(scene, centre, {rng.uniform(0, size.width), rng.uniform(0, size.height)}, colour,
                 3, cv::LINE_AA);
    }
    cv::putText(scene, "Glintara", {size.width / 5, size.height / 2}, cv::FONT_HERSHEY_DUPLEX,
                size.width / 200.0, cv::Scalar(250, 250, 250), 4, cv::LINE_AA);
    return scene;
}

std::uint64_t fingerprint(const cv::Mat& image) {
    std::uint64_t hash = 1469598103934665603ull;
    const auto mix = [&hash](std::uint64_t value) {
        hash ^= value;
        hash *= 1099511628211ull;
    };
    mix(static_cast<std::uint64_t>(image.rows));
    mix(static_cast<std::uint64_t>(image.cols));
    mix(static_cast<std::uint64_t>(image.type()));
    const std::size_t rowBytes = image.cols * image.elemSize();
    for (int y = 0; y < image.rows; ++y) {
        const uchar* row = image.ptr(y);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            mix(row[i]);
        }
    }
    return hash;
}

ScratchFolder::ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "glintara-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder");
    }
    root_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string> ScratchFolder::names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

cv::Mat renderOf(const cv::Mat& frame, int angle, bool capture) {
    ImageWorkspace ws = createWorkspace();
    FrameScratch scratch;
    loadFrame(frame, ws, scratch);
    renderFrame(ws, angle);
    return (capture ? ws.frameImage : ws.outputImage).clone();
}

std::vector<const uchar*> workspaceBuffers(const ImageWorkspace& ws) {
    std::vector<const uchar*> buffers{ws.outputImage.data, ws.frameImage.data, ws.squareImage.data,
                                      ws.renderer.maskUp.data, ws.renderer.maskDown.data};
    for (const TileStateWork& work : ws.renderer.states) {
        for (const cv::Mat& tile : work.tiles) {
            buffers.push_back(tile.data);
        }
        buffers.push_back(work.warpImage.data);
        buffers.push_back(work.flipImage.data);
    }
    return buffers;
}

std::string writeSyntheticVideo(const std::string& path, int frames, int fourcc, cv::Size size,
                                double fps) {
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, fourcc, fps, size, true);
    if (!writer.isOpened()) {
        throw std::runtime_error("cannot write the test video " + path);
    }
    for (int i = 0; i < frames; ++i) {
        writer.write(syntheticScene(size, i));
    }
    return path;
}

namespace {

double brightnessOf(const cv::Vec3d& p) {
    return 16.0 + 219.0 / 255.0 * (0.299 * p[2] + 0.587 * p[1] + 0.114 * p[0]);
}

cv::Vec3d blockMean(const cv::Mat& bgr, int row, int column) {
    cv::Vec3d sum;
    for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
            sum += cv::Vec3d(bgr.at<cv::Vec3b>(std::min(2 * row + dy, bgr.rows - 1),
                                               std::min(2 * column + dx, bgr.cols - 1)));
        }
    }
    return sum / 4.0;
}

}  // namespace

double yuv420Distance(const cv::Mat& bgr, const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr) {
    double worst = 0.0;
    for (int row = 0; row < bgr.rows; ++row) {
        for (int column = 0; column < bgr.cols; ++column) {
            const double expected = brightnessOf(cv::Vec3d(bgr.at<cv::Vec3b>(row, column)));
            worst = std::max(worst, std::abs(expected - y.at<uchar>(row, column)));
        }
    }
    for (int row = 0; row < cb.rows; ++row) {
        for (int column = 0; column < cb.cols; ++column) {
            const cv::Vec3d m = blockMean(bgr, row, column);
            const double blue =
                128.0 + 224.0 / 255.0 * (-0.168736 * m[2] - 0.331264 * m[1] + 0.5 * m[0]);
            const double red =
                128.0 + 224.0 / 255.0 * (0.5 * m[2] - 0.418688 * m[1] - 0.081312 * m[0]);
            worst = std::max({worst, std::abs(blue - cb.at<uchar>(row, column)),
                              std::abs(red - cr.at<uchar>(row, column))});
        }
    }
    return worst;
}

cv::Mat bgrOfYuv420(const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr, double kr, double kb,
                    bool fullRange) {
    const double kg = 1.0 - kr - kb;
    const double black = fullRange ? 0.0 : 16.0;
    const double brightnessScale = fullRange ? 1.0 : 255.0 / 219.0;
    const double colourScale = fullRange ? 1.0 : 255.0 / 224.0;
    cv::Mat bgr(y.size(), CV_64FC3);
    for (int row = 0; row < y.rows; ++row) {
        for (int column = 0; column < y.cols; ++column) {
            const double luma = (y.at<uchar>(row, column) - black) * brightnessScale;
            const double u = (cb.at<uchar>(row / 2, column / 2) - 128.0) * colourScale;
            const double v = (cr.at<uchar>(row / 2, column / 2) - 128.0) * colourScale;
            const double red = luma + 2.0 * (1.0 - kr) * v;
            const double blue = luma + 2.0 * (1.0 - kb) * u;
            const double green = (luma - kr * red - kb * blue) / kg;
            bgr.at<cv::Vec3d>(row, column) = {blue, green, red};
        }
    }
    return bgr;
}

}  // namespace glintara::testing_support
