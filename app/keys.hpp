// What a key press means to the frame loop, and the help that tells the user.
#pragma once

#include <iosfwd>

namespace glintara {

enum class KeyAction { None, ToggleRotation, Exit };

// Key codes are compared whole: the Right arrow (0xff53) shares its low byte with 'S' but
// must quit. A bare modifier press is no key, so that Shift+S can reach the toggle.
KeyAction classifyKey(int keyCode);

// The two help lines, through the line formatter.
void printKeyHelp(std::ostream& out);

}  // namespace glintara
