// glintara with a generated still picture in place of the camera, for tests of the real
// windows on a machine without a camera. Everything else is the program's own.
#include <iostream>
#include <memory>

#include "app/application.hpp"
#include "app/highgui_screen.hpp"
#include "core/library_log.hpp"
#include "core/workspace.hpp"
#include "tests/support/pictures.hpp"

namespace {

class StillPictureSource final : public glintara::FrameSource {
  public:
    explicit StillPictureSource(cv::Mat picture) : picture_(std::move(picture)) {}
    bool read(cv::Mat& frame) override {
        picture_.copyTo(frame);
        return true;
    }

  private:
    cv::Mat picture_;
};

}  // namespace

int main() {
    using namespace glintara;
    silenceLibraryLog();
    const Platform platform{
        .openSource =
            [] { return std::make_unique<StillPictureSource>(testing_support::syntheticScene()); },
        .openScreen =
            [] { return openHighguiScreen(geometryFor(kDefaultCanvasSide).frameSize.width); },
    };
    return runApplication(platform, std::cout, std::cerr, renderFrame);
}
