#include "app/AudioStartup.h"

#include "PlaybackWorld.h"
#include "TestFiles.h"
#include "audio/System.h"
#include "model/Runtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;
using gloam::pluginCandidates;
using gloam::startAudio;
using testsupport::ScopedWorkDir;
using testsupport::writeText;

audio::SystemConfig offline() {
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    return config;
}

/// How many plug-ins the test library offers when loaded on its own.
int pluginsInTestLibrary() {
    audio::System system;
    system.init(offline());
    system.loadPlugin(GLOAM_TEST_LADSPA);
    int count = system.numDspPlugins();
    system.close();
    return count;
}

TEST(PluginCandidates, AreTheFilesOfTheFolderInListingOrderWithoutSubfolders) {
    ScopedWorkDir dir;
    writeText("plugins/one.so", "x");
    writeText("plugins/notes.txt", "x");
    writeText("plugins/sub/inner.so", "x");
    fs::create_directory_symlink("sub", "plugins/linkToSub");
    fs::create_symlink("missing.so", "plugins/dangling.so");
    std::vector<std::string> expected;
    for (const auto& entry : fs::directory_iterator("plugins")) {
        auto name = entry.path().filename().string();
        if (name != "sub" && name != "linkToSub") expected.push_back("plugins/" + name);
    }
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(pluginCandidates("plugins"), expected);
}

TEST(PluginCandidates, AMissingOrUnlistableFolderGivesNone) {
    ScopedWorkDir dir;
    EXPECT_TRUE(pluginCandidates("plugins").empty());
    writeText("plugins", "a file, not a folder");
    EXPECT_TRUE(pluginCandidates("plugins").empty());
}

TEST(StartAudio, OffersEveryFileInPluginsAndSkipsWhatIsNoPlugin) {
    int perLibrary = pluginsInTestLibrary();
    ASSERT_GT(perLibrary, 0);
    ScopedWorkDir dir;
    writeText("plugins/aaa-not-a-plugin.txt", "hello");
    fs::create_directories("plugins/nested");
    fs::copy_file(GLOAM_TEST_LADSPA, "plugins/nested/copy.so");
    fs::copy_file(GLOAM_TEST_LADSPA, "plugins/effects.so");
    writeText("plugins/zzz-not-a-plugin", "");

    audio::System system;
    startAudio(system, offline());
    EXPECT_EQ(system.numDspPlugins(), perLibrary) << "the file loads; text files and the sub-folder do not";
    system.close();
}

TEST(StartAudio, GoesOnWithoutAPluginsFolderOrWithAFileInItsPlace) {
    ScopedWorkDir dir;
    {
        audio::System system;
        startAudio(system, offline());
        EXPECT_EQ(system.numDspPlugins(), 0);
        system.close();
    }
    writeText("plugins", "not a folder");
    audio::System system;
    startAudio(system, offline());
    EXPECT_EQ(system.numDspPlugins(), 0);
    system.close();
}

TEST(ShutDown, DestroysTheScenesAndClosesTheEngine) {
    testsupport::PlaybackWorld world;
    world.load("<a><scene name=\"one\" key=\"o\"/><scene name=\"two\"/></a>");
    ASSERT_EQ(world.adventure.scenes.size(), 2u);
    gloam::shutDown(world.adventure, world.audio);
    EXPECT_TRUE(world.adventure.scenes.empty());
    EXPECT_EQ(world.runtime.sceneHotkeys['o'], nullptr);
    EXPECT_EQ(world.audio.channelsPlaying(), 0);
}

}  // namespace
