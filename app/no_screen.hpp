// The screen of a run without windows: nothing is shown and no key comes, so the loop goes
// at the camera's pace until a signal or the camera ends it.
#pragma once

#include "app/platform.hpp"

namespace glintara {

class NoScreen final : public Screen {
  public:
    void show(const std::string&, const cv::Mat&) override {}
    int waitKey(int) override { return kNoKey; }
    bool windowClosed() override { return false; }
};

}  // namespace glintara
