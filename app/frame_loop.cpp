#include "app/frame_loop.hpp"

#include "app/keys.hpp"

namespace glintara {

LoopEnd runFrameLoop(FrameSource& source, Screen& screen, ImageWorkspace& workspace,
                     const RenderStep& render) {
    FrameSequence sequence(0, render);
    cv::Mat cameraFrame;
    for (;;) {
        if (!source.read(cameraFrame) || cameraFrame.empty()) {
            return LoopEnd::NoFrame;
        }
        sequence.render(cameraFrame, workspace, Guide::Wanted);
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
                sequence.rotation().toggle();
                break;
            case KeyAction::None:
                break;
        }
        sequence.advance();
    }
}

}  // namespace glintara
