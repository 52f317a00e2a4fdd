// gloam-soak: hours of an adventure with random keys, watched for growth and stalls.
#include "Soak.h"
#include "SoakOptions.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = gloam::soak::parseSoakOptions(arguments);
    if (!parsed.options) {
        std::cerr << "gloam-soak: " << parsed.error << '\n';
        return 2;
    }
    if (parsed.options->help) {
        std::cout << gloam::soak::soakUsage();
        return 0;
    }
    try {
        return gloam::soak::runSoak(*parsed.options, std::cout);
    } catch (const std::exception& failure) {
        std::cerr << "gloam-soak: " << failure.what() << '\n';
        return 2;
    }
}
