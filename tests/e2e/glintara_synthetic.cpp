// glintara with a generated still picture in place of the camera, taken thirty times a
// second as a camera gives frames, for tests of the real windows, the recordings and the
// virtual camera on a machine without a camera. Everything else, the command line included,
// is the program's own.
#include <chrono>
#include <memory>
#include <thread>

#include "app/live_program.hpp"
#include "tests/support/pictures.hpp"

namespace {

class StillPictureCamera final : public glintara::FrameSource {
  public:
    explicit StillPictureCamera(cv::Mat picture) : picture_(std::move(picture)) {}
    bool read(cv::Mat& frame) override {
        next_ += kPeriod;
        std::this_thread::sleep_until(next_);
        picture_.copyTo(frame);
        return true;
    }

  private:
    static constexpr std::chrono::microseconds kPeriod{33333};
    cv::Mat picture_;
    glintara::Clock::time_point next_ = glintara::Clock::now();
};

}  // namespace

int main(int argc, char** argv) {
    return glintara::runLiveProgram(argc, argv, [](int, cv::Size) {
        return std::make_unique<StillPictureCamera>(glintara::testing_support::syntheticScene());
    });
}
