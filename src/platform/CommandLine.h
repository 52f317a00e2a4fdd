// A program's command line: its options, their parsing and its usage text.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// What a command line asks the program to do.
enum class CommandLineRequest {
    Run,      ///< every argument was taken; go ahead
    Help,     ///< -h or --help: print usage() on standard output, exit 0
    Version,  ///< --version: print the version line on standard output, exit 0
    Refused,  ///< an argument was refused: print the one-line error, exit 2
};

/// The options of one program, each with the handler that takes its value.
/// Options are written "--name VALUE" or "--name=VALUE"; a short alias such
/// as "-o" takes its value from the next argument. "--" ends the options,
/// and "-" alone is an operand. Every program gets -h/--help and --version.
/// Messages quote arguments with their control characters made visible and
/// cut short, so that an error is always one line a terminal cannot act on.
/// Not thread-safe; parse() may be called again after the handlers' targets
/// were reset.
class CommandLine {
public:
    /// Takes an option's value (or an operand) into the handler's target.
    /// Returns an empty string when the value is taken, or else one line
    /// saying what is wrong with it (no program name, no trailing newline).
    using ValueHandler = std::function<std::string(const std::string& value)>;

    /// `synopsis` follows "usage: PROGRAM " in the first line of usage();
    /// `description` (may be empty) follows that line.
    CommandLine(std::string program, std::string synopsis, std::string description = {});

    /// An option with a value: `name` is "--long", `valueName` what the usage
    /// calls the value ("DIR"), `help` one or more lines ('\n' between them).
    /// `shortName` ("-o"), when given, is an alias. Values holding a NUL byte
    /// are refused before the handler sees them: a NUL would cut a path short.
    CommandLine& option(std::string name, std::string valueName, std::string help, ValueHandler handler,
                        std::string shortName = {});
    /// An option without a value.
    CommandLine& flag(std::string name, std::string help, std::function<void()> handler);
    /// Arguments that are not options, in order. Without this, any operand
    /// is refused.
    CommandLine& operands(std::string valueName, std::string help, ValueHandler handler);
    /// Text printed after the list of options (exit codes, notes, cases).
    CommandLine& epilogue(std::string text);
    /// A check of the whole command line, run when every argument was taken
    /// (a required option, options that exclude each other). Returns an
    /// empty string, or the one line that refuses the command line.
    CommandLine& finally(std::function<std::string()> check);

    struct Result {
        CommandLineRequest request = CommandLineRequest::Run;
        std::string error;  ///< one line when request is Refused, else empty
    };

    /// Walks `arguments` (without the program's own name) from left to
    /// right, calling each option's handler as it comes, then the final
    /// check. Stops at the first refusal, or at the first -h/--help/--version.
    /// Never throws other than std::bad_alloc or what a handler throws. The
    /// handlers write into their targets, which must outlive this object.
    Result parse(const std::vector<std::string>& arguments) const;

    /// The usage text, ending in a newline: synopsis, description, one entry
    /// per option in the order they were added, then help and version, then
    /// the epilogue.
    std::string usage() const;

    const std::string& program() const { return program_; }

private:
    struct Option {
        std::string name;
        std::string shortName;
        std::string valueName;  ///< empty: a flag
        std::string help;
        ValueHandler takeValue;
        std::function<void()> set;
    };

    const Option* find(const std::string& name) const;

    std::string program_;
    std::string synopsis_;
    std::string description_;
    std::string epilogue_;
    std::vector<Option> options_;
    std::string operandName_;
    std::string operandHelp_;
    ValueHandler takeOperand_;
    std::function<std::string()> finalCheck_;
};

}  // namespace platform
