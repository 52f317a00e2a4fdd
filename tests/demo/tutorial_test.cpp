// The guide's first adventure, taken from README.md as written, does what the
// guide says it does.
#include "Recording.h"
#include "RenderOptions.h"
#include "Renderer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The code block of `language` that follows the first occurrence of `marker`.
std::string codeBlockAfter(const std::string& text, const std::string& marker, const std::string& language) {
    const auto at = text.find(marker);
    if (at == std::string::npos) return {};
    const std::string fence = "```" + language + "\n";
    const auto start = text.find(fence, at);
    if (start == std::string::npos) return {};
    const auto end = text.find("```", start + fence.size());
    if (end == std::string::npos) return {};
    return text.substr(start + fence.size(), end - start - fence.size());
}

/// Copies what the guide's `cp demo/sounds/...` lines copy into `sounds`,
/// from the sounds the build made; `keep` picks which of them. Returns the
/// number of files copied.
int copyTutorialSounds(const std::string& commands, const fs::path& sounds, bool (*keep)(const std::string&)) {
    const fs::path made = fs::path(GLOAM_DEMO_MADE) / "sounds";
    fs::create_directories(sounds);
    int copied = 0;
    std::istringstream words(commands);
    for (std::string word; words >> word;) {
        const std::string prefix = "demo/sounds/";
        if (word.rfind(prefix, 0) != 0) continue;
        const fs::path source = made / word.substr(prefix.size());
        const std::string name = source.filename().string();
        const bool wildcard = !name.empty() && name.back() == '*';
        for (const auto& entry : fs::directory_iterator(source.parent_path())) {
            const std::string found = entry.path().filename().string();
            const bool matches = wildcard ? found.rfind(name.substr(0, name.size() - 1), 0) == 0 : found == name;
            if (!matches || !keep(found)) continue;
            fs::copy_file(entry.path(), sounds / found);
            ++copied;
        }
    }
    return copied;
}

bool everySound(const std::string&) { return true; }
bool onlyTheTunes(const std::string& name) { return name.rfind("tune", 0) == 0; }

/// The value of `attribute` in the start tag that begins with `tag`; 0 when
/// the tag or the attribute is missing.
int attributeIn(const std::string& xml, const std::string& tag, const std::string& attribute) {
    const auto start = xml.find(tag);
    if (start == std::string::npos) return 0;
    const auto end = xml.find('>', start);
    const auto at = xml.find(attribute + "=\"", start);
    if (at == std::string::npos || at > end) return 0;
    return std::atoi(xml.c_str() + at + attribute.size() + 2);
}

/// The time of the first timeline line that puts the element at `path` into
/// `state`; -1 when there is none.
int firstStateMs(const std::string& trace, const std::string& path, const std::string& state) {
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
        if (fields.size() == 5 && fields[1] == "state" && fields[2] == path && fields[4] == state) {
            return std::stoi(fields[0]);
        }
    }
    return -1;
}

struct Heard {
    testsupport::Recording recording;
    std::string trace;
};

Heard render(const std::string& keys, double seconds) {
    std::string error;
    gloam::render::RenderOptions options;
    options.adventure = "adventures/first.xml";
    options.keys = *gloam::render::parseKeyScript(keys, error);
    options.seconds = seconds;
    options.sampleRate = 8000;
    options.output = "heard.wav";
    options.trace = "trace.tsv";
    std::ostringstream messages;
    EXPECT_EQ(gloam::render::runRender(options, messages), 0) << messages.str();
    auto recording = testsupport::readRecording(options.output);
    EXPECT_TRUE(recording);
    return {recording.value_or(testsupport::Recording{}), readText(options.trace)};
}

class Tutorial : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string guide = readText(GLOAM_SOURCE_DIR "/README.md");
        const std::string marker = "adventures/first.xml`:";
        adventure_ = codeBlockAfter(guide, marker, "xml");
        ASSERT_NE(adventure_.find("Tavern tunes"), std::string::npos) << "the tutorial's adventure in README.md";
        // The shell commands just before it copy the sounds.
        const auto commands = guide.rfind("```sh", guide.find(marker));
        ASSERT_NE(commands, std::string::npos);
        commands_ = guide.substr(commands, guide.find(marker) - commands);
        testsupport::writeText("adventures/first.xml", adventure_);
    }

    testsupport::ScopedWorkDir root_;
    std::string adventure_;
    std::string commands_;  ///< the guide's commands that copy the sounds
};

}  // namespace

TEST_F(Tutorial, RainFadesInThunderRollsAndSpaceSkipsToTheNextTune) {
    ASSERT_EQ(copyTutorialSounds(commands_, "sounds", everySound), 7) << commands_;
    // m at 20 s starts the tunes, Space at 24 s skips to the second.
    const Heard heard = render("20000:m,24000:space", 26);

    EXPECT_EQ(firstStateMs(heard.trace, "0/0", "Playing"), 0) << "the rain starts at once\n" << heard.trace;
    const double rainStart = heard.recording.rms(0.0, 0.5);
    EXPECT_GT(rainStart, 1e-4) << "the rain is heard at once";
    EXPECT_LT(rainStart, 0.5 * heard.recording.rms(3.0, 4.5)) << "and fades in";

    const int thunderMs = firstStateMs(heard.trace, "0/1", "Playing");
    EXPECT_GE(thunderMs, 5000) << heard.trace;
    EXPECT_LE(thunderMs, 15000) << heard.trace;

    const int tunesMs = firstStateMs(heard.trace, "0/2", "Playing");
    EXPECT_GE(tunesMs, 20000) << heard.trace;
    EXPECT_LE(tunesMs, 20100) << heard.trace;
    EXPECT_EQ(firstStateMs(heard.trace, "0/2/0", "Playing"), tunesMs) << "with the first tune";

    const int secondTuneMs = firstStateMs(heard.trace, "0/2/1", "Playing");
    EXPECT_GE(secondTuneMs, 24000) << heard.trace;
    EXPECT_LE(secondTuneMs, 24100) << "Space skips to the next tune\n" << heard.trace;
    const int firstTuneGoneMs = firstStateMs(heard.trace, "0/2/0", "Closing");
    EXPECT_GE(firstTuneGoneMs, secondTuneMs) << heard.trace;
    EXPECT_LE(firstTuneGoneMs, secondTuneMs + 1100) << "which fades out the first one\n" << heard.trace;
}

TEST_F(Tutorial, PressingTheTunesKeyAgainFadesThemOut) {
    // The tunes alone, so their level can be measured: the other elements find
    // no files and stay silent.
    ASSERT_EQ(copyTutorialSounds(commands_, "sounds", onlyTheTunes), 3) << commands_;
    const int fadeOutMs = attributeIn(adventure_, "<seq name=\"Tavern tunes\"", "fadeOut");
    EXPECT_GE(fadeOutMs, 1000) << "without a fadeOut on the seq, m stops the tunes at once";
    // Where the fade should be heard; a shorter one would not sound like a fade.
    const double fade = std::max(fadeOutMs, 1000) / 1000.0;
    constexpr int keyMs = 5000;
    const double key = keyMs / 1000.0;
    const double seconds = key + fade + 1.0;
    const Heard playing = render("500:m", seconds);
    const Heard stopped = render("500:m," + std::to_string(keyMs) + ":m", seconds);

    // Against the same tunes left playing, the level falls step by step over
    // the fade and is gone after it.
    const auto fraction = [&](double from, double to) {
        return stopped.recording.rms(key + from * fade, key + to * fade) /
               playing.recording.rms(key + from * fade, key + to * fade);
    };
    ASSERT_GT(playing.recording.rms(key - 0.5, seconds), 0.01) << "the tunes play on when left alone";
    EXPECT_NEAR(stopped.recording.rms(key - 0.5, key) / playing.recording.rms(key - 0.5, key), 1.0, 0.01)
        << "until the key, nothing changes";
    const double early = fraction(0.05, 0.3);
    const double late = fraction(0.55, 0.8);
    EXPECT_GT(early, 0.6) << "early in the fade the tunes are still clearly heard";
    EXPECT_GT(late, 0.05) << "late in the fade they still sound";
    EXPECT_LT(late, 0.7 * early) << "but quieter";
    EXPECT_LT(stopped.recording.rms(key + fade + 0.1, seconds), 1e-4) << "after the fade they are silent";
}
