#include "app/frame_loop.hpp"

#include "app/keys.hpp"
#include "core/frame.hpp"

namespace glintara {

LoopEnd runFrameLoop(FrameSource& source, Screen& screen, ImageWorkspace& workspace,
                     const RenderStep& render) {
    RotationState rotation;
    cv::Mat cameraFrame;
    FrameScratch scratch;
    for (;;) {
        if (!source.read(cameraFrame) || cameraFrame.empty()) {
            return LoopEnd::NoFrame;
        }
        loadFrame(cameraFrame, workspace, scratch);
        // Drawn after the cut, so the guide outline never reaches the kaleidoscope.
        render(workspace, static_cast<double>(rotation.angleDegrees));
        screen.show(kCaptureWindow, workspace.frameImage);
        screen.show(kKaleidoscopeWindow, workspace.outputImage);

        const int key = screen.waitKey(kKeyWaitMs);
        if (screen.windowClosed()) {
            return LoopEnd::WindowClosed;
        }
        switch (classifyKey(key)) {
            case KeyAction::Exit:
                return LoopEnd::ExitKey;
            case KeyAction::ToggleRotation:
                rotation.toggle();
                break;
            case KeyAction::None:
                break;
        }
        rotation.advance();
    }
}

}  // namespace glintara
