#include "app/keys.hpp"

#include <ostream>

#include "app/format_line.hpp"
#include "app/platform.hpp"

namespace glintara {
namespace {

constexpr int kToggleLower = 's';
constexpr int kToggleUpper = 'S';
// X keysyms of the bare modifiers: Shift, Control, Caps/Shift Lock, Meta, Alt, Super, Hyper.
constexpr int kFirstModifier = 0xffe1;
constexpr int kLastModifier = 0xffee;
constexpr int kAltGr = 0xfe03;  // ISO_Level3_Shift

bool isBareModifier(int keyCode) {
    return (keyCode >= kFirstModifier && keyCode <= kLastModifier) || keyCode == kAltGr;
}

}  // namespace

KeyAction classifyKey(int keyCode) {
    if (keyCode == kNoKey || isBareModifier(keyCode)) {
        return KeyAction::None;
    }
    if (keyCode == kToggleLower || keyCode == kToggleUpper) {
        return KeyAction::ToggleRotation;
    }
    return KeyAction::Exit;
}

void printKeyHelp(std::ostream& out) {
    LineBuffer line;
    formatLine(line, "\"S\" Key       : Rotate Stop/Start");
    out << line.data() << '\n';
    formatLine(line, "Any Other Key : Exit");
    out << line.data() << '\n';
    out.flush();
}

}  // namespace glintara
