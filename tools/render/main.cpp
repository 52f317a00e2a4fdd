// gloam-render: an adventure and a key script in, a WAV file and a timeline out.
#include "RenderOptions.h"
#include "Renderer.h"
#include "app/Version.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A reader that goes away (a FIFO, gloam-render --help | head) makes a
    // write fail, which is reported, instead of ending the render without a word.
    std::signal(SIGPIPE, SIG_IGN);
    gloam::render::RenderOptions options;
    const platform::CommandLine commandLine = gloam::render::renderCommandLine(options);
    const auto parsed = commandLine.parse(std::vector<std::string>(argv + 1, argv + argc));
    if (auto exitCode = gloam::answerCommandLine(commandLine, parsed, std::cout, std::cerr)) return *exitCode;
    try {
        gloam::render::RenderReport report;
        const int exitCode = gloam::render::runRender(options, std::cerr, &report);
        if (exitCode == 0) std::cerr << gloam::render::summaryLine(report) << '\n';
        return exitCode;
    } catch (const std::exception& failure) {
        std::cerr << "gloam-render: " << failure.what() << '\n';
        return 2;
    }
}
