// The demo's timeline as a picture: five minutes through every scene.
#include "RenderOptions.h"
#include "Renderer.h"
#include "TestFiles.h"
#include "TimelineSvg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(DemoTimeline, PictureOfFiveMinutesHasALanePerElementThatPlayedAndKeysWhereTheyWerePressed) {
    const fs::path made = GLOAM_DEMO_MADE;
    testsupport::ScopedWorkDir root;
    fs::create_directory_symlink(GLOAM_SOURCE_DIR "/demo/adventures", "adventures");
    fs::create_directory_symlink(made / "sounds", "sounds");
    fs::create_directory_symlink(made / "plugins", "plugins");

    gloam::render::RenderOptions options;
    options.adventure = "adventures/demo.xml";
    const std::string script = "0:S,20000:t,40000:b,60000:T,75000:g,100000:space,150000:D,160000:g,230000:F,250000:o";
    std::string error;
    options.keys = *gloam::render::parseKeyScript(script, error);
    options.seconds = 300;
    options.sampleRate = 8000;
    options.channels = 1;
    options.output = "/dev/null";
    options.trace = "trace.tsv";
    options.timeline = "timeline.svg";
    std::ostringstream messages;
    ASSERT_EQ(gloam::render::runRender(options, messages), 0) << messages.str();

    const auto picture = testsupport::TimelineSvg::parse(readText("timeline.svg"), error);
    ASSERT_TRUE(picture) << error;

    // One lane for each element the trace shows leaving Idle, and no other.
    std::set<std::string> played;
    std::istringstream trace(readText("trace.tsv"));
    std::string line;
    while (std::getline(trace, line)) {
        std::istringstream fields(line);
        std::string ms, kind, path, name, state;
        std::getline(fields, ms, '\t');
        std::getline(fields, kind, '\t');
        if (kind != "state") continue;
        std::getline(fields, path, '\t');
        std::getline(fields, name, '\t');
        std::getline(fields, state, '\t');
        if (state != "Idle") played.insert(path);
    }
    ASSERT_GT(played.size(), 40u) << "every scene was visited";
    const std::set<std::string> lanes(picture->lanePaths().begin(), picture->lanePaths().end());
    EXPECT_EQ(lanes.size(), picture->lanePaths().size()) << "one lane each";
    EXPECT_EQ(lanes, played);
    // Nested elements under their parents: the lanes come in the order of the tree.
    EXPECT_EQ(picture->lanePaths().front(), "0/0");
    EXPECT_LT(std::find(picture->lanePaths().begin(), picture->lanePaths().end(), "1/2") -
                  picture->lanePaths().begin(),
              std::find(picture->lanePaths().begin(), picture->lanePaths().end(), "1/2/0") -
                  picture->lanePaths().begin());

    // A marker for each key, at its time (a key is taken at the first pass
    // at or after it, within a few milliseconds).
    const std::vector<std::pair<int, std::string>> pressed = {
        {0, "S"},     {20000, "t"},  {40000, "b"},  {60000, "T"},  {75000, "g"},
        {100000, "Space"}, {150000, "D"}, {160000, "g"}, {230000, "F"}, {250000, "o"}};
    ASSERT_EQ(picture->keys().size(), pressed.size());
    for (std::size_t i = 0; i < pressed.size(); ++i) {
        EXPECT_NEAR(picture->keys()[i].x, picture->x(pressed[i].first), 25 * picture->pixelsPerMs() + 0.1)
            << pressed[i].second;
        EXPECT_NE(picture->keys()[i].title.find("key " + pressed[i].second + " at "), std::string::npos)
            << picture->keys()[i].title;
    }
    // The scene changes: the storm from the start (the forest, selected by
    // the load, gave way in the same moment), then tavern, dungeon, forest.
    ASSERT_EQ(picture->scenes().size(), 4u);
    EXPECT_EQ(picture->scenes()[0].label, "Storm at sea");
    EXPECT_NEAR(picture->scenes()[1].x, picture->x(60000), 25 * picture->pixelsPerMs() + 0.1);
    EXPECT_NE(picture->scenes()[1].label.find("tavern"), std::string::npos);
    EXPECT_NEAR(picture->scenes()[3].x, picture->x(230000), 25 * picture->pixelsPerMs() + 0.1);
}
