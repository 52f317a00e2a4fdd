// gloam-render: an adventure and a key script in, a WAV file and a timeline out.
#include "RenderOptions.h"
#include "Renderer.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A reader that goes away (a FIFO, gloam-render --help | head) makes a
    // write fail, which is reported, instead of ending the render without a word.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = gloam::render::parseRenderOptions(arguments);
    if (!parsed.options) {
        std::cerr << "gloam-render: " << parsed.error << '\n';
        return 2;
    }
    if (parsed.options->help) {
        std::cout << gloam::render::renderUsage() << std::flush;
        if (!std::cout) {
            std::cerr << "gloam-render: cannot write to standard output\n";
            return 2;
        }
        return 0;
    }
    try {
        return gloam::render::runRender(*parsed.options, std::cerr);
    } catch (const std::exception& failure) {
        std::cerr << "gloam-render: " << failure.what() << '\n';
        return 2;
    }
}
