// Parsing a command line against its options; the usage text.
#include "platform/CommandLine.h"

#include "platform/TerminalText.h"

#include <utility>

namespace platform {

namespace {

/// Where option help starts in the usage text, as in most GNU tools.
constexpr std::size_t helpColumn = 21;

/// An argument quoted in a message: visible, and short enough for one line.
std::string quoted(const std::string& argument) {
    constexpr std::size_t maxBytes = 60;
    std::string shown = visibleText(argument, maxBytes);
    if (shown.size() < argument.size() && argument.size() > maxBytes) shown += "...";
    return "'" + shown + "'";
}

/// One usage entry: the left column, then the help, continued lines indented.
std::string entry(const std::string& left, const std::string& help) {
    std::string text = "  " + left;
    if (text.size() + 1 > helpColumn) {
        text += '\n';
        text.append(helpColumn, ' ');
    } else {
        text.append(helpColumn - text.size(), ' ');
    }
    for (char c : help) {
        text += c;
        if (c == '\n') text.append(helpColumn, ' ');
    }
    return text + '\n';
}

}  // namespace

CommandLine::CommandLine(std::string program, std::string synopsis, std::string description)
    : program_(std::move(program)), synopsis_(std::move(synopsis)), description_(std::move(description)) {}

CommandLine& CommandLine::option(std::string name, std::string valueName, std::string help, ValueHandler handler,
                                 std::string shortName) {
    options_.push_back({std::move(name), std::move(shortName), std::move(valueName), std::move(help), std::move(handler), {}});
    return *this;
}

CommandLine& CommandLine::flag(std::string name, std::string help, std::function<void()> handler) {
    options_.push_back({std::move(name), {}, {}, std::move(help), {}, std::move(handler)});
    return *this;
}

CommandLine& CommandLine::operands(std::string valueName, std::string help, ValueHandler handler) {
    operandName_ = std::move(valueName);
    operandHelp_ = std::move(help);
    takeOperand_ = std::move(handler);
    return *this;
}

CommandLine& CommandLine::epilogue(std::string text) {
    epilogue_ = std::move(text);
    return *this;
}

CommandLine& CommandLine::finally(std::function<std::string()> check) {
    finalCheck_ = std::move(check);
    return *this;
}

const CommandLine::Option* CommandLine::find(const std::string& name) const {
    for (const Option& option : options_) {
        if (option.name == name || (!option.shortName.empty() && option.shortName == name)) return &option;
    }
    return nullptr;
}

CommandLine::Result CommandLine::parse(const std::vector<std::string>& arguments) const {
    auto refuse = [](std::string message) { return Result{CommandLineRequest::Refused, std::move(message)}; };
    auto takeOperand = [&](const std::string& argument) -> std::string {
        if (!takeOperand_) return "unexpected argument " + quoted(argument) + " (see --help)";
        if (argument.find('\0') != std::string::npos) return "argument " + quoted(argument) + " contains a NUL byte";
        return takeOperand_(argument);
    };
    bool onlyOperands = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyOperands || argument.size() < 2 || argument[0] != '-') {
            if (std::string error = takeOperand(argument); !error.empty()) return refuse(std::move(error));
            continue;
        }
        if (argument == "--") {
            onlyOperands = true;
            continue;
        }
        if (argument == "-h" || argument == "--help") return {CommandLineRequest::Help, {}};
        if (argument == "--version") return {CommandLineRequest::Version, {}};

        // "--name=value" carries its value; a short alias never does.
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (const auto equals = argument.find('='); argument.starts_with("--") && equals != std::string::npos) {
            name = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        }
        const Option* option = find(name);
        if (option == nullptr) return refuse("unknown option " + quoted(name) + " (see --help)");
        if (option->valueName.empty()) {
            if (inlineValue) return refuse("option " + name + " takes no value");
            option->set();
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) return refuse("option " + name + " needs a value (" + option->valueName + ")");
            inlineValue = arguments[++i];
        }
        if (inlineValue->find('\0') != std::string::npos) return refuse("the value of " + name + " contains a NUL byte");
        if (std::string error = option->takeValue(*inlineValue); !error.empty()) return refuse(std::move(error));
    }
    if (finalCheck_) {
        if (std::string error = finalCheck_(); !error.empty()) return refuse(std::move(error));
    }
    return {};
}

std::string CommandLine::usage() const {
    std::string text = "usage: " + program_ + " " + synopsis_ + "\n";
    if (!description_.empty()) text += description_ + (description_.ends_with('\n') ? "" : "\n");
    for (const Option& option : options_) {
        std::string left = option.shortName.empty() ? option.name : option.shortName + ", " + option.name;
        if (!option.valueName.empty()) left += " " + option.valueName;
        text += entry(left, option.help);
    }
    if (takeOperand_) text += entry(operandName_, operandHelp_);
    text += entry("-h, --help", "show this text and exit");
    text += entry("--version", "show the version and exit");
    if (!epilogue_.empty()) text += "\n" + epilogue_ + (epilogue_.ends_with('\n') ? "" : "\n");
    return text;
}

}  // namespace platform
