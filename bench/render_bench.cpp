// How much faster than real time gloam-render runs an adventure.
//
// gloam-bench-render [ROOT [ADVENTURE [SECONDS [KEYS]]]]
// defaults: the bundled demo, adventures/demo.xml, 600 s, and a key script
// that visits every scene. The demo's sounds must have been generated
// (tools/make-demo-sounds, which ./run-demo runs).
#include "RenderOptions.h"
#include "Renderer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    gloam::render::RenderOptions options;
    options.root = argc > 1 ? argv[1] : GLOAM_DEMO_DIR;
    options.adventure = argc > 2 ? argv[2] : "adventures/demo.xml";
    options.seconds = argc > 3 ? std::stod(argv[3]) : 600.0;
    const std::string keys = argc > 4 ? argv[4] : "150000:right,300000:right,450000:right";
    std::string error;
    options.keys = *gloam::render::parseKeyScript(keys, error);
    const fs::path output = fs::temp_directory_path() / "gloam-bench-render.wav";
    options.output = output.string();

    const auto started = std::chrono::steady_clock::now();
    const int status = gloam::render::runRender(options, std::cerr);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
    std::error_code ignored;
    fs::remove(output, ignored);
    if (status != 0) return status;
    std::printf("rendered %.0f s of %s in %.2f s\n", options.seconds, options.adventure.c_str(), wall.count());
    std::printf("render: %.1f times real time\n", options.seconds / wall.count());
    return 0;
}
