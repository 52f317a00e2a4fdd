// Scene and element hotkeys, selection and building.
#include "PlaybackWorld.h"
#include "audio/ChannelGroup.h"
#include "model/Scene.h"

#include <gtest/gtest.h>

#include <string>

using gloam::Playable;
using testsupport::PlaybackWorld;

namespace {

const Playable* keyHolder(gloam::Scene& scene, unsigned char key) { return scene.elementHotkeys[key]; }

}  // namespace

TEST(SceneKeys, ExplicitKeysGoToTheFirstClaimantInDocumentPreOrder) {
    PlaybackWorld world;
    world.load(R"(<a><scene>
        <seq name="outer" key="x"><par name="inner" key="y"/><par name="late" key="x"/></seq>
        <par name="second" key="y"/>
    </scene></a>)");
    auto& scene = world.scene();
    EXPECT_EQ(keyHolder(scene, 'x'), &world.element("outer"));
    EXPECT_EQ(keyHolder(scene, 'y'), &world.element("inner"));
    // The losers keep their key setting but do not answer it.
    EXPECT_EQ(world.element("second").settings.key, 'y');
    EXPECT_EQ(world.element("late").settings.key, 'x');
}

TEST(SceneKeys, AutomaticKeysSkipEveryKeyTakenAnywhereInTheScene) {
    PlaybackWorld world;
    world.load(R"(<a><scene>
        <par name="a"/><par name="keyed" key="1"/><par name="b"><par name="nested" key="A"/></par><par name="c"/>
    </scene></a>)");
    auto& scene = world.scene();
    EXPECT_EQ(world.element("a").settings.key, '0');
    EXPECT_EQ(world.element("b").settings.key, '2');
    EXPECT_EQ(world.element("c").settings.key, '3');
    EXPECT_EQ(keyHolder(scene, '2'), &world.element("b"));
    EXPECT_EQ(world.element("nested").settings.key, 'A');
}

TEST(SceneKeys, AutomaticKeysRunFromDigitsToCapitalsToSmallLettersThenRunOut) {
    std::string xml = "<a><scene>";
    for (int i = 0; i < 64; ++i) xml += "<par name=\"e" + std::to_string(i) + "\"/>";
    xml += "</scene></a>";
    PlaybackWorld world;
    world.load(xml);
    EXPECT_EQ(world.element("e9").settings.key, '9');
    EXPECT_EQ(world.element("e10").settings.key, 'A');
    EXPECT_EQ(world.element("e35").settings.key, 'Z');
    EXPECT_EQ(world.element("e36").settings.key, 'a');
    EXPECT_EQ(world.element("e61").settings.key, 'z');
    EXPECT_EQ(world.element("e62").settings.key, 0);
    EXPECT_EQ(world.element("e63").settings.key, 0);
}

TEST(SceneKeys, KeysAboveAsciiIndexTheUpperHalfOfTheTables) {
    PlaybackWorld world;
    world.load("<a><scene key=\"\xc3\xa9\"><par name=\"p\" key=\"\xe2\x82\xac\"/></scene></a>");
    EXPECT_EQ(world.runtime.sceneHotkeys[0xc3], &world.scene());
    EXPECT_EQ(world.scene().elementHotkeys[0xe2], &world.element("p"));
}

TEST(SceneKeys, TheFirstSceneKeepsASharedKeyAndDestructionFreesIt) {
    PlaybackWorld world;
    world.load(R"(<a><scene name="one" key="w"/><scene name="two" key="w"/><scene name="three" key="t"/></a>)");
    EXPECT_EQ(world.runtime.sceneHotkeys['w'], &world.scene(0));
    EXPECT_EQ(world.runtime.sceneHotkeys['t'], &world.scene(2));
    world.adventure.clear();
    for (auto* entry : world.runtime.sceneHotkeys) EXPECT_EQ(entry, nullptr);
}

TEST(SceneSelection, SelectSetsTheVolumeAndStartsAutoStartElementsAfresh) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 5000);
    world.load(R"(<a><scene volume="0.5">
        <sound name="auto" src="tone.wav" autoStart="1"/><sound name="manual" src="tone.wav"/>
    </scene></a>)");
    auto& scene = world.scene();
    EXPECT_FLOAT_EQ(scene.channelGroup->volume(), 0.5f);
    EXPECT_EQ(world.element("auto").state(), gloam::State::Playing);
    EXPECT_EQ(world.element("manual").state(), gloam::State::Idle);

    world.runFor(1000);
    scene.deselect(world.moment());
    EXPECT_EQ(world.element("auto").state(), gloam::State::Closing);
    scene.select(world.moment());
    EXPECT_EQ(world.element("auto").state(), gloam::State::Playing);
    EXPECT_EQ(world.element("auto").runStart().ms, world.now());
}
