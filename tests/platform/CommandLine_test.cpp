// The command line every program shares: option forms, refusals, usage.
#include "platform/CommandLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::CommandLine;
using platform::CommandLineRequest;

/// A program with one option of each kind, recording what it was given.
struct Program {
    std::string root = ".";
    std::string output;
    bool quiet = false;
    std::vector<std::string> files;
    bool needOutput = false;
    CommandLine commandLine{"prog", "[options] FILE ..."};

    Program() {
        commandLine
            .option("--root", "DIR", "the folder\nsecond line",
                    [this](const std::string& value) -> std::string {
                        if (value.empty()) return "--root needs a folder";
                        root = value;
                        return {};
                    })
            .option("--output", "FILE", "where it goes",
                    [this](const std::string& value) -> std::string {
                        output = value;
                        return {};
                    },
                    "-o")
            .flag("--quiet", "say less", [this] { quiet = true; })
            .operands("FILE ...", "the files", [this](const std::string& value) -> std::string {
                files.push_back(value);
                return {};
            })
            .finally([this]() -> std::string { return needOutput && output.empty() ? "no output file" : ""; });
    }
};

bool isOneVisibleLine(const std::string& text) {
    return !text.empty() && text.size() < 200 &&
           std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

TEST(CommandLine, TakesBothValueFormsAliasesFlagsAndOperandsInOrder) {
    Program program;
    const auto result = program.commandLine.parse(
        {"--root=game", "a.xml", "-o", "out.wav", "--quiet", "-", "--", "--output", "-b.xml"});
    EXPECT_EQ(result.request, CommandLineRequest::Run) << result.error;
    EXPECT_EQ(program.root, "game");
    EXPECT_EQ(program.output, "out.wav");
    EXPECT_TRUE(program.quiet);
    EXPECT_EQ(program.files, (std::vector<std::string>{"a.xml", "-", "--output", "-b.xml"}));

    // A value may itself start with a dash or hold '='.
    Program other;
    EXPECT_EQ(other.commandLine.parse({"--output", "-x=y", "--root", "a=b"}).request, CommandLineRequest::Run);
    EXPECT_EQ(other.output, "-x=y");
    EXPECT_EQ(other.root, "a=b");
}

TEST(CommandLine, HelpAndVersionWinOverWhatFollowsThemButNotOverAnEarlierMistake) {
    for (const char* asked : {"-h", "--help"}) {
        Program program;
        EXPECT_EQ(program.commandLine.parse({"--root", "x", asked, "--bogus"}).request, CommandLineRequest::Help);
    }
    Program program;
    program.needOutput = true;  // the final check does not stand in the way of --version
    EXPECT_EQ(program.commandLine.parse({"--version"}).request, CommandLineRequest::Version);
    EXPECT_EQ(program.commandLine.parse({"--bogus", "--help"}).request, CommandLineRequest::Refused);
}

TEST(CommandLine, RefusalsAreOneVisibleLineNamingTheCulprit) {
    const std::string nul("a\0b", 3);
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus' (see --help)"},
        {{"--bogus=1"}, "unknown option '--bogus' (see --help)"},
        {{"-x"}, "unknown option '-x' (see --help)"},
        {{"--\x1b[2J"}, "unknown option '--?[2J' (see --help)"},
        {{"--roo", "x"}, "unknown option '--roo' (see --help)"},
        {{"-o=x"}, "unknown option '-o=x' (see --help)"},
        {{"--root"}, "option --root needs a value (DIR)"},
        {{"--root="}, "--root needs a folder"},
        {{"--quiet=yes"}, "option --quiet takes no value"},
        {{"--root", nul}, "the value of --root contains a NUL byte"},
        {{nul}, "argument 'a?b' contains a NUL byte"},
        {{"--" + std::string(500, 'x')}, "unknown option '--" + std::string(58, 'x') + "...' (see --help)"},
    };
    for (const auto& [arguments, error] : cases) {
        Program program;
        const auto result = program.commandLine.parse(arguments);
        EXPECT_EQ(result.request, CommandLineRequest::Refused) << arguments.front();
        EXPECT_EQ(result.error, error);
        EXPECT_TRUE(isOneVisibleLine(result.error)) << result.error;
    }
    Program program;
    program.needOutput = true;
    EXPECT_EQ(program.commandLine.parse({"--root", "x"}).error, "no output file");
}

TEST(CommandLine, WithoutOperandsAStrayArgumentIsRefused) {
    CommandLine bare("bare", "");
    const auto result = bare.parse({"stray"});
    EXPECT_EQ(result.request, CommandLineRequest::Refused);
    EXPECT_EQ(result.error, "unexpected argument 'stray' (see --help)");
}

TEST(CommandLine, UsageListsEveryOptionWithItsHelpInOneColumn) {
    Program program;
    program.commandLine.epilogue("Exit code: 2 for bad usage.");
    EXPECT_EQ(program.commandLine.usage(),
              "usage: prog [options] FILE ...\n"
              "  --root DIR         the folder\n"
              "                     second line\n"
              "  -o, --output FILE  where it goes\n"
              "  --quiet            say less\n"
              "  FILE ...           the files\n"
              "  -h, --help         show this text and exit\n"
              "  --version          show the version and exit\n"
              "\n"
              "Exit code: 2 for bad usage.\n");
    // An entry too wide for the column puts its help on the next line.
    CommandLine wide("wide", "");
    wide.option("--a-rather-long-name", "VALUE", "help", [](const std::string&) { return std::string(); });
    EXPECT_NE(wide.usage().find("  --a-rather-long-name VALUE\n                     help\n"), std::string::npos) << wide.usage();
}

}  // namespace
