// gloam-soak: hours of an adventure with random keys, watched for growth and stalls.
#include "Soak.h"
#include "SoakOptions.h"
#include "app/Version.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    gloam::soak::SoakOptions options;
    const platform::CommandLine commandLine = gloam::soak::soakCommandLine(options);
    const auto parsed = commandLine.parse(std::vector<std::string>(argv + 1, argv + argc));
    if (auto exitCode = gloam::answerCommandLine(commandLine, parsed, std::cout, std::cerr)) return *exitCode;
    try {
        return gloam::soak::runSoak(options, std::cout);
    } catch (const std::exception& failure) {
        std::cerr << "gloam-soak: " << failure.what() << '\n';
        return 2;
    }
}
