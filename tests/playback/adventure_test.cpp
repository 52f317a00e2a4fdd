// Loading adventures and the due time of the next pass.
#include "FailingAllocations.h"
#include "PlaybackWorld.h"
#include "model/Scene.h"

#include <gtest/gtest.h>

using gloam::State;
using testsupport::PlaybackWorld;

TEST(Adventure, AnyRootNameLoadsOnlyItsDirectSceneChildren) {
    PlaybackWorld world;
    world.load(R"(<whatever><scene name="a"/><group><scene name="nested"/></group><scene name="b"/></whatever>)");
    ASSERT_EQ(world.adventure.scenes.size(), 2u);
    EXPECT_EQ(world.adventure.scenes[1]->name, "b");
    EXPECT_EQ(world.adventure.currentScene, 0u);
}

TEST(Adventure, MalformedFileKeepsTheCurrentAdventurePlaying) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 5000);
    world.load(R"(<a><scene><sound name="el" src="tone.wav" autoStart="1"/></scene></a>)");
    world.runFor(100);
    testsupport::writeText("adventures/bad.xml", "<a><scene></a>");
    world.adventure.load("adventures/bad.xml");
    world.adventure.load("adventures/missing.xml");
    EXPECT_EQ(world.element("el").state(), State::Playing);
    world.runFor(100);
    EXPECT_EQ(world.audio.channelsPlaying(), 1);
}

TEST(Adventure, FileWithoutScenesEmptiesTheAdventureButKeepsTheIndex) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 5000);
    world.load(R"(<a><scene key="x"/><scene/><scene><sound src="tone.wav" autoStart="1"/></scene></a>)");
    world.adventure.currentScene = 2;
    world.load(R"(<a/>)");
    EXPECT_TRUE(world.adventure.scenes.empty());
    EXPECT_EQ(world.adventure.currentScene, 2u);
    EXPECT_FALSE(world.adventure.hasCurrentScene());
    EXPECT_EQ(world.runtime.sceneHotkeys['x'], nullptr);
    EXPECT_TRUE(world.runtime.activeElements.empty());
}


TEST(Adventure, AnElementKeepsLittleMemoryWhileItHasNothingPlanned) {
    // What an element holds once loaded, measured over many: its object, its
    // empty plan queues, its channel group. The XML is gone by then.
    PlaybackWorld world;
    world.load("<a/>");
    constexpr int count = 4000;
    std::string xml = "<a><scene>";
    for (int i = 0; i < count; ++i) xml += "<sound/>";
    xml += "</scene></a>";
    testsupport::writeText("adventures/many.xml", xml);
    const long long before = testsupport::FailingAllocations::bytesHeld();
    world.adventure.load("adventures/many.xml");
    const long long perElement = (testsupport::FailingAllocations::bytesHeld() - before) / count;
    ASSERT_EQ(world.scene().children.size(), static_cast<std::size_t>(count));
    // It was 3.4 KB, more than half of it three empty std::deque.
    EXPECT_LT(perElement, 1700) << "bytes per element";
}
