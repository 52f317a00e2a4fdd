// gloam-check: says, with file, line and column, what the silent player will not.
#include "CheckOptions.h"
#include "Checker.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = gloam::check::parseCheckOptions(arguments);
    if (!parsed.options) {
        std::cerr << "gloam-check: " << parsed.error << '\n' << gloam::check::checkUsage();
        return 2;
    }
    if (parsed.options->help) {
        std::cout << gloam::check::checkUsage();
        return 0;
    }
    try {
        return gloam::check::runCheck(*parsed.options, std::cout, std::cerr);
    } catch (const std::exception& failure) {
        std::cerr << "gloam-check: " << failure.what() << '\n';
        return 2;
    }
}
