// The bundled demo: every file it names is made, and every scene sounds
// without gaps and never clips, with its hotkeys pressed along the way.
#include "Recording.h"
#include "RenderOptions.h"
#include "Renderer.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct SceneRun {
    char sceneKey;
    /// The scene's hotkeys, pressed one after another while it plays.
    std::string hotkeys;
};

void PrintTo(const SceneRun& run, std::ostream* out) { *out << run.sceneKey; }

class DemoScenes : public ::testing::TestWithParam<SceneRun> {};

void collectSources(const tinyxml2::XMLElement& element, std::vector<std::string>& sources) {
    if (const char* src = element.Attribute("src")) sources.emplace_back(src);
    for (auto* child = element.FirstChildElement(); child != nullptr; child = child->NextSiblingElement()) {
        collectSources(*child, sources);
    }
}

}  // namespace

// An element whose file is missing stays silent without a word, so a name the
// generator does not make would only be noticed by ear.
TEST(Demo, EverySoundTheAdventureNamesIsMade) {
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.LoadFile(GLOAM_SOURCE_DIR "/demo/adventures/demo.xml"), tinyxml2::XML_SUCCESS);
    std::vector<std::string> sources;
    collectSources(*document.RootElement(), sources);
    ASSERT_GT(sources.size(), 30u);

    const fs::path sounds = fs::path(GLOAM_DEMO_MADE) / "sounds";
    for (const std::string& source : sources) {
        const fs::path path = sounds / source;
        const std::string name = path.filename().string();
        const auto star = name.find('*');
        if (star == std::string::npos) {
            EXPECT_TRUE(fs::is_regular_file(path)) << source;
            continue;
        }
        // A wildcard: some file in its folder starts like the pattern.
        bool found = false;
        for (const auto& entry : fs::directory_iterator(path.parent_path())) {
            found = found || entry.path().filename().string().rfind(name.substr(0, star), 0) == 0;
        }
        EXPECT_TRUE(found) << source;
    }
}

TEST_P(DemoScenes, SceneSoundsWithoutGapsAndNeverClips) {
    const fs::path made = GLOAM_DEMO_MADE;
    ASSERT_TRUE(fs::exists(made / "sounds/forest/wind.flac")) << "the build makes the demo's sounds";
    testsupport::ScopedWorkDir root;
    fs::create_directory_symlink(GLOAM_SOURCE_DIR "/demo/adventures", "adventures");
    fs::create_directory_symlink(made / "sounds", "sounds");
    fs::create_directory_symlink(made / "plugins", "plugins");

    const SceneRun run = GetParam();
    gloam::render::RenderOptions options;
    options.adventure = "adventures/demo.xml";
    options.keys = {{0, run.sceneKey}};
    for (std::size_t i = 0; i < run.hotkeys.size(); ++i) {
        options.keys.push_back({static_cast<std::int32_t>(5000 + 7000 * i), run.hotkeys[i]});
    }
    // Long enough for every bed to cross-fade from its first copy into its
    // second, where a gap would be; the wrap back to the first copy is the
    // same cross-fade a round later.
    options.seconds = 22;
    options.sampleRate = 8000;
    options.output = "scene.wav";
    std::ostringstream messages;
    ASSERT_EQ(gloam::render::runRender(options, messages), 0) << messages.str();

    const auto heard = testsupport::readRecording(options.output);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->seconds(), options.seconds, 0.01);
    EXPECT_GT(heard->peak(), 0.05f);
    EXPECT_LT(heard->peak(), 0.9f);
    EXPECT_EQ(heard->longestSilenceMs(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryScene, DemoScenes,
                         ::testing::Values(SceneRun{'F', "bs"}, SceneRun{'T', "gr"}, SceneRun{'S', "tb"},
                                           SceneRun{'D', "g"}),
                         [](const ::testing::TestParamInfo<SceneRun>& scene) {
                             return std::string(1, scene.param.sceneKey);
                         });
