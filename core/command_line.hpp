// What a front door's command line comes to: its options, a request for help, or a usage
// mistake with the line that explains it.
#pragma once

#include <string>
#include <variant>

namespace glintara {

struct HelpRequested {};
struct UsageError {
    std::string message;
};

template <typename Options>
using CommandLine = std::variant<Options, HelpRequested, UsageError>;

}  // namespace glintara
