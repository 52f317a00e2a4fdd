// The sound element: planned length, passes, wildcard expansion and matching.
#include "PlaybackWorld.h"
#include "model/Scene.h"
#include "playback/Source.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>
#include <string>
#include <vector>

using gloam::State;
using testsupport::PlaybackWorld;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> listed(const fs::path& directory, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() && name.rfind(prefix, 0) == 0) names.push_back(entry.path().stem().string());
    }
    return names;
}

std::vector<std::string> childNames(gloam::SettingContainer& node) {
    std::vector<std::string> names;
    for (auto& child : node.children) names.push_back(child->name);
    return names;
}

}  // namespace

TEST(Source, RunIsPlannedAsAllLoopDelaysPlusEveryPlay) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/rain.wav", 10000);
    world.load(R"(<a><scene><sound name="rain" src="rain.wav" loopCount="2" loopDelay="500"/></scene></a>)");
    auto& rain = world.element("rain");
    rain.startFromTop(world.moment());
    EXPECT_EQ(rain.plannedDurations().front(), 31000);
    world.runFor(32000);
    EXPECT_EQ(rain.state(), State::Finished);
    int plays = 0;
    for (const auto& record : world.recorder.of("rain")) plays += record.state == State::Playing;
    EXPECT_EQ(plays, 3);
}

TEST(Source, PassEndsWhenTheSoundEndsAndLatenessReachesThePlan) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 1000);
    world.load(R"(<a><scene><sound name="el" src="tone.wav"/></scene></a>)");
    auto& el = world.element("el");
    el.startFromTop(world.moment());
    EXPECT_EQ(world.audio.channelsPlaying(), 1);
    world.advance(1200);  // the tick comes 200 ms after the sound ended
    world.adventure.tick(world.moment());
    EXPECT_EQ(el.state(), State::Finished);
    EXPECT_EQ(world.audio.channelsPlaying(), 0);
}

TEST(Source, WildcardTakesTheFirstMatchAndInsertsTheRestInReverseOrder) {
    PlaybackWorld world;
    for (const char* name : {"bird1", "bird2", "bird3"}) testsupport::writeSine(std::string("sounds/forest/") + name + ".wav", 300);
    testsupport::writeSine("sounds/forest/crow.wav", 300);
    world.load(R"(<a><scene><seq name="walk" key="w" autoStart="1">
        <sound name="f" src="forest\bird*.wav" volume="0.5" key="k"/></seq></scene></a>)");
    const auto found = listed("sounds/forest", "bird");
    ASSERT_EQ(found.size(), 3u);
    auto& walk = world.element("walk");
    EXPECT_EQ(childNames(walk), (std::vector<std::string>{"f" + found[0], "f" + found[2], "f" + found[1]}));
    for (auto& child : walk.children) EXPECT_FLOAT_EQ(child->settings.volume, 0.5f);
    auto& first = static_cast<gloam::Source&>(*walk.children[0]);
    EXPECT_EQ(first.fileName(), "forest/" + found[0] + ".wav");
    EXPECT_EQ(world.scene().elementHotkeys['k'], &first);

    // In a sequence they play in that order.
    world.runFor(1200);
    std::vector<std::string> played;
    for (const auto& record : world.recorder.records) {
        if (record.state == State::Playing && record.name != "walk") played.push_back(record.name);
    }
    EXPECT_EQ(played, childNames(walk));
}

TEST(Source, WildcardsOutsideTheBaseNameAreTakenLiterally) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/rain.wav", 300);
    testsupport::writeSine("sounds/birds/a/x.wav", 300);
    world.load(R"(<a><scene><sound name="r" src="rain.*"/><sound name="x" src="birds/*/x.wav"/>
                   <sound name="none" src="nomatch*.wav"/><sound name="nodir" src="nodir/*.wav"/></scene></a>)");
    auto& rain = static_cast<gloam::Source&>(world.element("r"));
    auto& x = static_cast<gloam::Source&>(world.element("x"));
    EXPECT_EQ(rain.fileName(), "rain.*");
    EXPECT_EQ(rain.sound(), nullptr);
    EXPECT_EQ(x.fileName(), "birds/*/x.wav");
    EXPECT_EQ(x.sound(), nullptr);
    EXPECT_EQ(static_cast<gloam::Source&>(world.element("none")).fileName(), "nomatch*.wav");
    EXPECT_EQ(static_cast<gloam::Source&>(world.element("nodir")).sound(), nullptr);
}

TEST(Source, WildcardSkipsSubFoldersAndNamesWithoutNameAttribute) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/bird1.wav", 300);
    fs::create_directories("sounds/bird2.wav");
    world.load(R"(<a><scene><sound src="bird*"/></scene></a>)");
    ASSERT_EQ(world.scene().children.size(), 1u);
    EXPECT_EQ(world.scene().children[0]->name, "bird1");
}

TEST(Source, UnlistableSoundFolderMatchesNothingAndTheRestLoads) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 300);
    testsupport::writeText("sounds/notadir", "x");
    fs::create_directory_symlink("loop", "sounds/loop");  // a link to itself
    world.load(R"(<a><scene name="good"><sound name="ok" src="tone.wav" autoStart="1"/></scene>
                   <scene name="bad" key="b"><sound name="file" src="notadir/*.wav"/><sound name="looped" src="loop/*"/>
                   <sound name="after" src="tone.wav"/></scene><scene name="last"/></a>)");
    ASSERT_EQ(world.adventure.scenes.size(), 3u);
    EXPECT_EQ(world.adventure.currentScene, 0u);
    EXPECT_EQ(world.element("ok").state(), State::Playing);
    EXPECT_EQ(world.runtime.sceneHotkeys['b'], world.adventure.scenes[1].get());
    EXPECT_EQ(static_cast<gloam::Source&>(world.element("file")).sound(), nullptr);
    EXPECT_EQ(static_cast<gloam::Source&>(world.element("looped")).sound(), nullptr);
    EXPECT_NE(static_cast<gloam::Source&>(world.element("after")).sound(), nullptr);
}

TEST(Source, FileNamesAWildcardMatchedAreTakenLiterally) {
    // Wildcard characters are expanded once, and a backslash in a listed
    // name is part of the name, not a folder separator; in the first match
    // as in the copies, in the sounds folder as in a sub-folder.
    PlaybackWorld world;
    for (const char* name : {"a*b.wav", "c?.wav", "plain.wav", "back\\slash.wav", "two\\back\\slashes.wav", "q\\only.wav",
                             "sub/d\\e.wav"}) {
        testsupport::writeSine(std::string("sounds/") + name, 300);
    }
    world.load(R"(<a><scene><seq name="all"><sound src="*"/></seq>
        <seq name="q"><sound src="q*"/></seq><seq name="sub"><sound src="sub/d*" mode="preload"/></seq></scene></a>)");
    auto& all = world.element("all");
    ASSERT_EQ(all.children.size(), 6u);
    for (const char* name : {"all", "q", "sub"}) {
        for (auto& child : world.element(name).children) {
            EXPECT_NE(static_cast<gloam::Source&>(*child).sound(), nullptr) << child->name;
        }
    }
    EXPECT_EQ(static_cast<gloam::Source&>(*world.element("q").children.at(0)).fileName(), "q\\only.wav");
    EXPECT_EQ(static_cast<gloam::Source&>(*world.element("sub").children.at(0)).fileName(), "sub/d\\e.wav");
}

TEST(Source, SoundThatGetsNoChannelEndsItsPassAndTheSequenceMovesOn) {
    PlaybackWorld world;
    // Long enough to be streamed (a very short sound is kept decoded).
    testsupport::writeSine("sounds/gone.wav", 2000);
    testsupport::writeSine("sounds/b.wav", 1000);
    world.load(R"(<a><scene><seq name="seq"><sound name="A" src="gone.wav"/><sound name="B" src="b.wav"/></seq>
                   <sound name="endless" src="gone.wav" loopCount="-1"/></scene></a>)");
    // A streamed file is opened again for every play; this one went after loading.
    fs::remove("sounds/gone.wav");
    world.element("seq").startFromTop(world.moment());
    world.element("endless").startFromTop(world.moment());
    world.runFor(500);
    EXPECT_EQ(world.element("A").state(), State::Finished);
    EXPECT_EQ(world.element("B").state(), State::Playing);
    EXPECT_EQ(world.audio.channelsPlaying(), 1);
    // Without a channel an endless sound ends one pass per main-loop pass.
    EXPECT_EQ(world.element("endless").state(), State::Playing);
    world.runFor(1000);
    EXPECT_EQ(world.element("seq").state(), State::Finished);
}

TEST(MatchWildcard, StarsAndQuestionMarksMatchLikeFileNamePatterns) {
    using gloam::matchWildcard;
    EXPECT_TRUE(matchWildcard("bird*", "bird7.wav"));
    EXPECT_TRUE(matchWildcard("bird*", "birdsong.txt"));
    EXPECT_TRUE(matchWildcard("bird?", "bird1"));
    EXPECT_FALSE(matchWildcard("bird?", "bird1.ogg"));
    EXPECT_FALSE(matchWildcard("Bird*", "bird1"));
    EXPECT_TRUE(matchWildcard("*a*b", "xxaxxab"));
    EXPECT_FALSE(matchWildcard("*a*b", "xxaxxa"));
    EXPECT_TRUE(matchWildcard("a**", "a"));
    EXPECT_TRUE(matchWildcard("*", ""));
    EXPECT_FALSE(matchWildcard("?", ""));
    EXPECT_TRUE(matchWildcard("", ""));
    EXPECT_FALSE(matchWildcard("", "a"));
    EXPECT_TRUE(matchWildcard("*?x", "abx"));
}

TEST(Source, WriteXmlTurnsBackslashesIntoSlashes) {
    PlaybackWorld world;
    world.load(R"(<a><scene><sound name="s" src="a\b.ogg"/></scene></a>)");
    auto& source = static_cast<gloam::Source&>(world.element("s"));
    tinyxml2::XMLDocument document;
    tinyxml2::XMLElement* written = source.writeXml(document);
    EXPECT_STREQ(written->Name(), "sound");
    EXPECT_STREQ(written->Attribute("src"), "a/b.ogg");
    EXPECT_EQ(source.fileName(), "a/b.ogg");
}
