// Every fuzz target over its seed corpus and every input that once crashed it.
#include "FuzzTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Inputs {
    const char* target;
    fuzz::Entry entry;
    const char* folder;  ///< corpus or regressions
};

/// The inputs of regressions/open.txt: kept, but their fault is not fixed yet.
std::set<std::string> openFindings() {
    std::set<std::string> names;
    std::ifstream list(fs::path(GLOAM_FUZZ_DIR) / "regressions" / "open.txt");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        names.insert(line.substr(0, line.find_first_of(" \t")));
    }
    return names;
}

class FuzzReplay : public ::testing::TestWithParam<Inputs> {};

TEST_P(FuzzReplay, EveryKeptInputRunsClean) {
    const Inputs& inputs = GetParam();
    const fs::path folder = fs::path(GLOAM_FUZZ_DIR) / inputs.folder / inputs.target;
    std::vector<fs::path> files;
    if (fs::is_directory(folder)) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    if (std::string(inputs.folder) == "corpus") {
        EXPECT_FALSE(files.empty()) << "no seeds in " << folder;
    }
    const std::set<std::string> open = openFindings();
    for (const fs::path& file : files) {
        if (open.count(std::string(inputs.target) + "/" + file.filename().string()) != 0) {
            std::printf("skipping %s: its fault is not fixed yet (regressions/open.txt)\n", file.c_str());
            continue;
        }
        // A target aborts on a finding: the last name printed is the input.
        std::printf("replaying %s\n", file.c_str());
        std::fflush(stdout);
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        inputs.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
}

std::string nameOf(const ::testing::TestParamInfo<Inputs>& info) {
    std::string name = std::string(info.param.target) + "_" + info.param.folder;
    return name;
}

INSTANTIATE_TEST_SUITE_P(
    Targets, FuzzReplay,
    ::testing::Values(Inputs{"adventure", fuzz::adventureInput, "corpus"},
                      Inputs{"adventure", fuzz::adventureInput, "regressions"},
                      Inputs{"key_decoder", fuzz::keyDecoderInput, "corpus"},
                      Inputs{"key_decoder", fuzz::keyDecoderInput, "regressions"},
                      Inputs{"mpeg_length", fuzz::mpegLengthInput, "corpus"},
                      Inputs{"mpeg_length", fuzz::mpegLengthInput, "regressions"},
                      Inputs{"open_sound", fuzz::openSoundInput, "corpus"},
                      Inputs{"open_sound", fuzz::openSoundInput, "regressions"},
                      Inputs{"render_options", fuzz::renderOptionsInput, "corpus"},
                      Inputs{"render_options", fuzz::renderOptionsInput, "regressions"}),
    nameOf);

}  // namespace
