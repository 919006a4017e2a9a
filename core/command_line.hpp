// The command-line syntax both programs share: "--name value" or "--name=value" for an option
// that takes a value, switches alone, "--help" or "-h" anywhere, "--" before operands that
// begin with a dash, and "-" as an operand. Each program gives a table of its options.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace glintara {

struct HelpRequested {};
struct UsageError {
    std::string message;
};

template <typename Options>
using CommandLine = std::variant<Options, HelpRequested, UsageError>;

// One option of a program: a switch, or an option that takes a value (exactly one of the two
// setters is given). A value that is optional is taken joined by '=' or as the next argument
// when that does not begin with a dash; without one, the setter is given an empty value.
template <typename Options>
struct OptionRule {
    std::string_view name;       // "--angle"
    std::string_view shortName;  // "-q", or empty
    void (*setSwitch)(Options& options) = nullptr;
    std::optional<UsageError> (*setValue)(std::string_view value, Options& options) = nullptr;
    bool valueOptional = false;
};

// A whole number as written, with an optional '+'; nothing for anything else.
std::optional<long long> parseWholeNumber(std::string_view text);

// --size: the canvas side, a multiple of 8 from 128 to 4096.
std::optional<UsageError> readCanvasSide(std::string_view value, int& side);

// --center X,Y: two fractions from 0 to 1; --zoom Z: from 1 to 8; --speed D: whole degrees per
// frame from -359 to 359.
std::optional<UsageError> readCenter(std::string_view value, double& x, double& y);
std::optional<UsageError> readZoom(std::string_view value, double& zoom);
std::optional<UsageError> readSpeed(std::string_view value, int& speed);

// Those three as option setters, for the options of any program with a `sample` and a
// `speed`.
template <typename Options>
std::optional<UsageError> setSampleCenter(std::string_view value, Options& options) {
    return readCenter(value, options.sample.centerX, options.sample.centerY);
}
template <typename Options>
std::optional<UsageError> setSampleZoom(std::string_view value, Options& options) {
    return readZoom(value, options.sample.zoom);
}
template <typename Options>
std::optional<UsageError> setTurnSpeed(std::string_view value, Options& options) {
    return readSpeed(value, options.speed);
}

// Reads the options into `options` by their rules, and gives the operands in order; or the
// request for help, or the first mistake.
template <typename Options>
std::variant<std::vector<std::string>, HelpRequested, UsageError> readArguments(
    int argc, const char* const* argv, std::span<const OptionRule<Options>> rules,
    Options& options) {
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            operands.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            return HelpRequested{};
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        const OptionRule<Options>* rule = nullptr;
        for (const OptionRule<Options>& each : rules) {
            if (name == each.name || (!each.shortName.empty() && name == each.shortName)) {
                rule = &each;
            }
        }
        if (rule == nullptr || (rule->setSwitch != nullptr && equals != std::string_view::npos)) {
            return UsageError{"unknown option '" + std::string(arg) + "'"};
        }
        if (rule->setSwitch != nullptr) {
            rule->setSwitch(options);
            continue;
        }
        const bool valueFollows = i + 1 < argc && !(rule->valueOptional &&
                                                    std::string_view(argv[i + 1]).starts_with("-"));
        if (equals == std::string_view::npos && !valueFollows && !rule->valueOptional) {
            return UsageError{std::string(rule->name) + " needs a value"};
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (valueFollows) {
            value = argv[++i];
        }
        if (std::optional<UsageError> mistake = rule->setValue(value, options)) {
            return *mistake;
        }
    }
    return operands;
}

// The whole command line: the options by their rules, then the operands handed to
// `takeOperands`, which sets them or says what is wrong with them.
template <typename Options>
CommandLine<Options> parseArguments(
    int argc, const char* const* argv, std::span<const OptionRule<Options>> rules,
    std::optional<UsageError> (*takeOperands)(const std::vector<std::string>& operands,
                                              Options& options)) {
    Options options;
    auto read = readArguments<Options>(argc, argv, rules, options);
    if (std::holds_alternative<HelpRequested>(read)) {
        return HelpRequested{};
    }
    if (auto* mistake = std::get_if<UsageError>(&read)) {
        return *mistake;
    }
    if (std::optional<UsageError> mistake =
            takeOperands(std::get<std::vector<std::string>>(read), options)) {
        return *mistake;
    }
    return options;
}

}  // namespace glintara
