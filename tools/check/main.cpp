// gloam-check: says, with file, line and column, what the silent player will not.
#include "CheckOptions.h"
#include "Checker.h"
#include "app/Version.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A reader that goes away (gloam-check | head) makes a write fail, which
    // is reported, instead of ending the check without a word.
    std::signal(SIGPIPE, SIG_IGN);
    gloam::check::CheckOptions options;
    const platform::CommandLine commandLine = gloam::check::checkCommandLine(options);
    const auto parsed = commandLine.parse(std::vector<std::string>(argv + 1, argv + argc));
    if (auto exitCode = gloam::answerCommandLine(commandLine, parsed, std::cout, std::cerr)) return *exitCode;
    try {
        return gloam::check::runCheck(options, std::cout, std::cerr);
    } catch (const std::exception& failure) {
        std::cerr << "gloam-check: " << failure.what() << '\n';
        return 2;
    }
}
