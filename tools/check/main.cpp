// gloam-check: says, with file, line and column, what the silent player will not.
#include "CheckOptions.h"
#include "Checker.h"

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A reader that goes away (gloam-check | head) makes a write fail, which
    // is reported, instead of ending the check without a word.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = gloam::check::parseCheckOptions(arguments);
    if (!parsed.options) {
        std::cerr << "gloam-check: " << parsed.error << '\n' << gloam::check::checkUsage();
        return 2;
    }
    if (parsed.options->help) {
        std::cout << gloam::check::checkUsage() << std::flush;
        if (!std::cout) {
            std::cerr << "gloam-check: cannot write to standard output\n";
            return 2;
        }
        return 0;
    }
    try {
        return gloam::check::runCheck(*parsed.options, std::cout, std::cerr);
    } catch (const std::exception& failure) {
        std::cerr << "gloam-check: " << failure.what() << '\n';
        return 2;
    }
}
