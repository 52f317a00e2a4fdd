// Every fuzz target over its seed corpus and every input that once crashed it.
#include "FuzzTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Target {
    const char* name;
    fuzz::Entry entry;
};

const Target targets[] = {
    {"adventure", fuzz::adventureInput},     {"key_decoder", fuzz::keyDecoderInput},
    {"mpeg_length", fuzz::mpegLengthInput},  {"open_sound", fuzz::openSoundInput},
    {"plugin", fuzz::pluginInput},           {"render_options", fuzz::renderOptionsInput},
};

/// One kept input: a seed (corpus) or a past crash (regressions).
struct KeptInput {
    const Target* target;
    std::string folder;
    fs::path file;
};

void PrintTo(const KeptInput& input, std::ostream* out) { *out << input.file; }

/// Listed when the tests are listed, which CTest does before every run, so
/// a newly kept input is replayed without a rebuild.
std::vector<KeptInput> keptInputs() {
    std::vector<KeptInput> inputs;
    for (const Target& target : targets) {
        for (const char* folder : {"corpus", "regressions"}) {
            const fs::path directory = fs::path(GLOAM_FUZZ_DIR) / folder / target.name;
            std::vector<fs::path> files;
            std::error_code error;
            for (fs::directory_iterator entry(directory, error), end; !error && entry != end; entry.increment(error)) {
                if (entry->is_regular_file()) files.push_back(entry->path());
            }
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) inputs.push_back({&target, folder, file});
        }
    }
    return inputs;
}

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

class FuzzReplay : public ::testing::TestWithParam<KeptInput> {};

TEST_P(FuzzReplay, RunsClean) {
    const KeptInput& input = GetParam();
    if (input.folder == "regressions" &&
        openFindings().count(std::string(input.target->name) + "/" + input.file.filename().string()) != 0) {
        GTEST_SKIP() << input.file << ": its fault is not fixed yet (fuzz/regressions/open.txt)";
    }
    std::ifstream in(input.file, std::ios::binary);
    ASSERT_TRUE(in.is_open()) << "cannot read " << input.file;
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A target aborts on a finding, with its message on stderr.
    input.target->entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string nameOf(const ::testing::TestParamInfo<KeptInput>& info) {
    std::string name = std::string(info.param.target->name) + "_" + info.param.folder + "_" +
                       info.param.file.filename().string();
    for (char& c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
    }
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzReplay, ::testing::ValuesIn(keptInputs()), nameOf);

TEST(FuzzSeeds, EveryTargetHasSeeds) {
    for (const Target& target : targets) {
        const fs::path directory = fs::path(GLOAM_FUZZ_DIR) / "corpus" / target.name;
        std::error_code error;
        EXPECT_FALSE(fs::is_empty(directory, error) || error) << "no seeds in " << directory;
    }
}

}  // namespace
