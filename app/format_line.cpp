#include "app/format_line.hpp"

#include <cstdarg>
#include <cstdio>

namespace glintara {

int formatLine(LineBuffer& buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    if (length < 0) {
        buffer[0] = '\0';
    }
    return length;
}

}  // namespace glintara
