// How gloam-check's time grows with a minified adventure and with many misses.
//
// gloam-bench-check [MEGABYTES [FILES [MISSES]]]
// defaults: a 4 MB adventure on one line, and a folder of 10 000 sound files
// that 500 sounds of another adventure miss (each miss searches the folder
// for the closest name). Both are made in a temporary folder first; the
// times are of whole checks, loading included.
#include "CheckOptions.h"
#include "Checker.h"
#include "WorkFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

double checkSeconds(const fs::path& root, std::size_t& outputLines) {
    gloam::check::CheckOptions options;
    options.root = root.string();
    std::ostringstream out;
    std::ostringstream err;
    const auto started = std::chrono::steady_clock::now();
    gloam::check::runCheck(options, out, err);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
    const std::string text = out.str();
    outputLines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return wall.count();
}

}  // namespace

int main(int argc, char** argv) {
    const double megabytes = argc > 1 ? std::stod(argv[1]) : 4.0;
    const int numFiles = argc > 2 ? std::stoi(argv[2]) : 10000;
    const int numMisses = argc > 3 ? std::stoi(argv[3]) : 500;

    // One line of nested elements with the usual attributes, as a minifier leaves it.
    gloam::files::TempFolder minified;
    gloam::files::writeSine(minified.path() / "sounds/rain.wav", 100);
    std::string xml = "<adventure><scene name=\"Minified\">";
    const auto targetBytes = static_cast<std::size_t>(megabytes * 1024 * 1024);
    int numElements = 0;
    while (xml.size() < targetBytes) {
        xml += "<seq name=\"Group " + std::to_string(numElements) +
               "\"><sound name=\"Rain drop\" src=\"rain.wav\" volume=\"0.5\" loopCount=\"2\" fadeIn=\"10\" "
               "positionX=\"1\"/></seq>";
        numElements += 2;
    }
    xml += "</scene></adventure>";
    minified.write("adventures/minified.xml", xml);

    // Many similar names, and misses that are close to none of them: every
    // miss has to look at the whole folder.
    gloam::files::TempFolder crowded;
    const char* words[] = {"rain", "wind", "forest", "night", "storm", "bird", "owl", "fire", "drip", "bell",
                           "chain", "gate", "step", "wave", "gale", "thunder", "crowd", "tune", "door", "creak"};
    std::mt19937 random(1);
    auto word = [&]() { return std::string(words[random() % std::size(words)]); };
    auto number = [&]() {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(random() % 1000));
        return std::string(digits);
    };
    fs::create_directories(crowded.path() / "sounds");
    for (int i = 0; i < numFiles; ++i) {
        std::ofstream(crowded.path() / "sounds" / (word() + "_" + word() + "_" + std::to_string(i) + ".wav"));
    }
    std::string misses = "<adventure><scene>\n";
    for (int i = 0; i < numMisses; ++i) {
        std::string reversed = word();
        std::reverse(reversed.begin(), reversed.end());
        misses += "<sound src=\"" + word() + "_" + reversed + "_" + number() + ".ogg\"/>\n";
    }
    crowded.write("adventures/misses.xml", misses + "</scene></adventure>");

    std::size_t lines = 0;
    const double minifiedSeconds = checkSeconds(minified.path(), lines);
    std::printf("one line of %.1f MB, %d elements: checked in %.2f s (%zu lines of findings)\n",
                static_cast<double>(xml.size()) / (1024.0 * 1024.0), numElements, minifiedSeconds, lines);
    const double missesSeconds = checkSeconds(crowded.path(), lines);
    std::printf("%d missing sounds in a folder of %d files: checked in %.2f s (%zu lines of findings)\n", numMisses,
                numFiles, missesSeconds, lines);
    return 0;
}
