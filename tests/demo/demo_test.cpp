// The bundled demo: every scene sounds without gaps and never clips.
#include "RenderOptions.h"
#include "Renderer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Level {
    float peak = 0.0f;
    int longestSilenceMs = 0;
};

Level measure(const fs::path& wav) {
    SF_INFO info{};
    SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);

    Level level;
    const std::size_t window = static_cast<std::size_t>(info.samplerate / 10 * info.channels);  // 100 ms
    int silentMs = 0;
    for (std::size_t start = 0; start + window <= samples.size(); start += window) {
        double energy = 0.0;
        for (std::size_t i = start; i < start + window; ++i) {
            level.peak = std::max(level.peak, std::abs(samples[i]));
            energy += static_cast<double>(samples[i]) * samples[i];
        }
        silentMs = energy / static_cast<double>(window) < 1e-8 ? silentMs + 100 : 0;
        level.longestSilenceMs = std::max(level.longestSilenceMs, silentMs);
    }
    return level;
}

/// The demo folder with its sounds generated and its plug-ins linked, made
/// once for all tests.
class DemoScenes : public ::testing::TestWithParam<char> {
protected:
    static void SetUpTestSuite() {
        root_ = new testsupport::ScopedWorkDir;
        fs::copy(GLOAM_SOURCE_DIR "/demo/adventures", "adventures");
        const std::string tools = GLOAM_SOURCE_DIR "/tools/";
        ready_ = std::system((tools + "make-demo-sounds sounds >/dev/null 2>&1").c_str()) == 0 &&
                 std::system((tools + "link-demo-plugins plugins >/dev/null 2>&1").c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete root_;
        root_ = nullptr;
    }

    static testsupport::ScopedWorkDir* root_;
    static bool ready_;
};

testsupport::ScopedWorkDir* DemoScenes::root_ = nullptr;
bool DemoScenes::ready_ = false;

}  // namespace

TEST_P(DemoScenes, SceneSoundsWithoutGapsAndNeverClips) {
    ASSERT_TRUE(ready_) << "tools/make-demo-sounds needs sox with libsox-fmt-all";
    const char sceneKey = GetParam();
    gloam::render::RenderOptions options;
    options.adventure = "adventures/demo.xml";
    options.keys = {{0, sceneKey}};
    options.seconds = 150;
    options.sampleRate = 8000;
    options.channels = 2;
    options.output = std::string("scene-") + sceneKey + ".wav";
    std::ostringstream messages;
    ASSERT_EQ(gloam::render::runRender(options, messages), 0) << messages.str();

    const Level level = measure(options.output);
    EXPECT_GT(level.peak, 0.05f);
    EXPECT_LT(level.peak, 0.9f);
    EXPECT_EQ(level.longestSilenceMs, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryScene, DemoScenes, ::testing::Values('F', 'T', 'S', 'D'));
