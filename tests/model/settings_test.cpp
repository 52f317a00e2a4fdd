// Settings read from attributes, and how the sound mode is inherited.
#include "PlaybackWorld.h"
#include "model/Scene.h"

#include <gtest/gtest.h>

using gloam::Playable;
using testsupport::PlaybackWorld;

TEST(Settings, ElementWithoutAttributesHasDefaults) {
    PlaybackWorld world;
    world.load(R"(<a><scene mode="compressed"><par name="p"/></scene></a>)");
    const Playable& element = world.element("p");
    const gloam::Settings& s = element.settings;
    EXPECT_FLOAT_EQ(s.volume, 1.0f);
    EXPECT_EQ(s.closeDelay, 1500);
    EXPECT_EQ(s.startDelay + s.startDelayVariance + s.loopCount + s.loopDelay + s.loopDelayVariance + s.fadeIn +
                  s.fadeOut + s.crossFade,
              0);
    EXPECT_FLOAT_EQ(s.volumeVariance + s.positionX + s.positionY + s.positionXvariance + s.positionYvariance, 0.0f);
    EXPECT_FALSE(s.autoStart);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(element.effectiveMode, gloam::compressedMode);
}

TEST(Settings, AttributeValuesParseLikeCScanf) {
    PlaybackWorld world;
    world.load(R"(<a><scene>
        <par name="word" autoStart="true" startDelay="abc" volume="0.5x" loopCount="-1"/>
        <par name="one" autoStart="1" startDelay="2.7" closeDelay=" 40" fadeIn="-3"/>
        <par name="two" autoStart="-2" volume="nope" positionX="1e1" fadeOut="0x10"/>
    </scene></a>)");
    const auto& word = world.element("word").settings;
    EXPECT_FALSE(word.autoStart);
    EXPECT_EQ(word.startDelay, 0);
    EXPECT_FLOAT_EQ(word.volume, 0.5f);
    EXPECT_EQ(word.loopCount, -1);

    const auto& one = world.element("one").settings;
    EXPECT_TRUE(one.autoStart);
    EXPECT_EQ(one.startDelay, 2);
    EXPECT_EQ(one.closeDelay, 40);
    EXPECT_EQ(one.fadeIn, -3);

    const auto& two = world.element("two").settings;
    EXPECT_TRUE(two.autoStart);
    EXPECT_FLOAT_EQ(two.volume, 1.0f);
    EXPECT_FLOAT_EQ(two.positionX, 10.0f);
    EXPECT_EQ(two.fadeOut, 0);  // "%d" stops at the x
}

TEST(Settings, KeyTakesTheFirstCharacterAndModeWordsAreExact) {
    PlaybackWorld world;
    world.load(R"(<a><scene mode="preload">
        <par name="abc" key="Abc" mode="Stream"/>
        <par name="holder"><par name="empty" key="" mode="ownStream"/></par>
    </scene></a>)");
    EXPECT_EQ(world.element("abc").settings.key, 'A');
    EXPECT_EQ(world.element("abc").settings.mode, 0);
    EXPECT_EQ(world.element("abc").effectiveMode, gloam::preloadMode);
    EXPECT_EQ(world.element("empty").settings.key, 0);
    EXPECT_EQ(world.element("empty").effectiveMode, gloam::ownStreamMode);
}

TEST(Settings, ModeIsInheritedDownTheTree) {
    PlaybackWorld world;
    world.load(R"(<root mode="preload">
        <scene name="s1"><seq name="top"><par name="mid"><par name="own" mode="ownStream"/></par></seq></scene>
        <scene name="s2" mode="compressed"><par name="child"><par name="grandchild"/></par></scene>
    </root>)");
    EXPECT_EQ(world.scene(0).effectiveMode, gloam::preloadMode);
    EXPECT_EQ(world.element("mid").effectiveMode, gloam::preloadMode);
    EXPECT_EQ(world.element("own").effectiveMode, gloam::ownStreamMode);
    EXPECT_EQ(world.element("child").effectiveMode, gloam::compressedMode);
    EXPECT_EQ(world.element("grandchild").effectiveMode, gloam::compressedMode);

    // setMode recomputes the whole subtree.
    world.element("child").setMode(gloam::streamMode);
    EXPECT_EQ(world.element("grandchild").effectiveMode, gloam::streamMode);
}

TEST(Settings, DefaultModeSurvivesALoadWithoutMode) {
    PlaybackWorld world;
    EXPECT_EQ(world.runtime.defaultMode, gloam::streamMode);
    world.load(R"(<a mode="preload"><scene><par name="p"/></scene></a>)");
    EXPECT_EQ(world.element("p").effectiveMode, gloam::preloadMode);
    world.load(R"(<a><scene><par name="q"/></scene></a>)");
    EXPECT_EQ(world.element("q").effectiveMode, gloam::preloadMode);
    world.load(R"(<a mode="ownStream"><scene><par name="r"/></scene></a>)");
    EXPECT_EQ(world.element("r").effectiveMode, gloam::preloadMode);
}
