#include "app/Chooser.h"

#include "app/AdventureFile.h"
#include "TestFiles.h"
#include "platform/ScriptedConsole.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using gloam::chooseAdventure;
using gloam::listAdventureFiles;
using platform::ScriptedConsole;
using platform::ScriptedKey;
using platform::VirtualClock;
using testsupport::ScopedWorkDir;
using testsupport::writeText;

const std::string missing = "Directory 'adventures' doesn't exist\n";
const std::string noFiles = "Directory adventures doesn't contain any xml files\n";
const std::string malformed = "\nSelected file isn't well formed xml (open in browser for details)\n";
const std::string title = "Select file with cursor up/down\n\n";

constexpr int up = 'H';
constexpr int down = 'P';

std::vector<ScriptedKey> keys(std::initializer_list<int> codes) {
    std::vector<ScriptedKey> script;
    for (int code : codes) script.push_back({0, code});
    return script;
}

/// The adventures folder's .xml files in the order the directory lists them.
std::vector<std::string> listingOrder() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("adventures")) names.push_back(entry.path().filename().string());
    return names;
}

TEST(Chooser, WithoutTheFolderSaysSoAndReadsNoKey) {
    ScopedWorkDir dir;
    VirtualClock clock;
    ScriptedConsole console(keys({'x'}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    EXPECT_EQ(console.screen(), missing);
    EXPECT_EQ(console.clearCount(), 1);
    EXPECT_EQ(console.keysLeft(), 1u);
}

TEST(Chooser, AFolderWithoutExactlyDotXmlFilesSaysSoAndReadsNoKey) {
    ScopedWorkDir dir;
    fs::create_directories("adventures/sub");
    fs::create_directories("adventures/folder.xml");
    writeText("adventures/upper.XML", "<a/>");
    writeText("adventures/backup.xml.bak", "<a/>");
    writeText("adventures/readme", "<a/>");
    writeText("adventures/sub/inner.xml", "<a/>");
    VirtualClock clock;
    ScriptedConsole console(keys({'x'}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    EXPECT_EQ(console.screen(), noFiles);
    EXPECT_EQ(console.keysLeft(), 1u);
}

TEST(Chooser, AnAdventuresFileInsteadOfAFolderCountsAsNoFiles) {
    ScopedWorkDir dir;
    writeText("adventures", "not a folder");
    VirtualClock clock;
    ScriptedConsole console(keys({}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    EXPECT_EQ(console.screen(), noFiles);
}

TEST(Chooser, ListsFilesNamedExactlyDotXmlInListingOrder) {
    ScopedWorkDir dir;
    for (const char* name : {"forest.xml", ".xml", "a.b.xml", "tavern.xml", "x.XML", "y.xmlx"}) {
        writeText(std::string("adventures/") + name, "<a/>");
    }
    std::vector<std::string> expected;
    for (const auto& name : listingOrder()) {
        if (name != "x.XML" && name != "y.xmlx") expected.push_back("adventures/" + name);
    }
    ASSERT_EQ(expected.size(), 4u);
    EXPECT_EQ(listAdventureFiles("adventures"), expected);
    EXPECT_TRUE(listAdventureFiles("nowhere").empty());
}

TEST(Chooser, TheMenuMarksTheSelectionAndEnterLoadsIt) {
    ScopedWorkDir dir;
    writeText("adventures/one.xml", "<first/>");
    writeText("adventures/two.xml", "<second/>");
    auto order = listingOrder();
    VirtualClock clock;
    ScriptedConsole console(keys({224, down, 13}), clock);
    auto chosen = chooseAdventure(console);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->path, "adventures/" + order[1]);
    ASSERT_NE(chosen->document, nullptr);
    ASSERT_NE(chosen->document->RootElement(), nullptr);
    EXPECT_STREQ(chosen->document->RootElement()->Name(), order[1] == "one.xml" ? "first" : "second");
    // The last menu drawn, with the marker on the second line.
    EXPECT_EQ(console.screen(), title + "   " + order[0] + "\n-> " + order[1] + "\n");
    EXPECT_EQ(console.clearCount(), 3) << "one clear at the start, one per menu drawn";
}

TEST(Chooser, TheMarkerCanLeaveTheListAndEnterThenDoesNothing) {
    ScopedWorkDir dir;
    writeText("adventures/only.xml", "<a/>");
    VirtualClock clock;
    ScriptedConsole console(keys({224, up, 13}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value()) << "the script ends with Escape";
    EXPECT_EQ(console.screen(), title + "   only.xml\n");
    EXPECT_EQ(console.transcript().find(malformed), std::string::npos);

    // Two steps off the top need two steps back; past the end is off too.
    ScriptedConsole back(keys({224, up, 224, up, 224, down, 13, 224, down, 224, down, 13, 224, up, 13}), clock);
    auto chosen = chooseAdventure(back);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->path, "adventures/only.xml");
    EXPECT_EQ(back.keysLeft(), 0u);
}

TEST(Chooser, OtherKeysRedrawTheMenuAndChangeNothing) {
    ScopedWorkDir dir;
    writeText("adventures/only.xml", "<a/>");
    VirtualClock clock;
    // 'H' and 'P' without the prefix, special keys, a prefix 0 with up.
    ScriptedConsole console(keys({'H', 'P', 224, 'K', 224, 0xff, 'x', 0, up, 224, 'M', 13}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    EXPECT_EQ(console.screen(), title + "   only.xml\n");
    EXPECT_EQ(console.keysLeft(), 0u);
}

TEST(Chooser, AMalformedFileShowsTheMessageWaitsForAKeyAndReturnsToTheSameMenu) {
    ScopedWorkDir dir;
    writeText("adventures/a.xml", "<good/>");
    writeText("adventures/b.xml", "<broken>");
    auto order = listingOrder();
    int broken = order[0] == "b.xml" ? 0 : 1;
    std::vector<ScriptedKey> script;
    if (broken == 1) script.push_back({0, 224}), script.push_back({0, down});
    script.push_back({0, 13});
    VirtualClock clock;
    ScriptedConsole firstPart(script, clock);
    EXPECT_FALSE(chooseAdventure(firstPart).has_value());
    // After Enter: the message (then the script's Escape is the "any key").
    EXPECT_NE(firstPart.transcript().find("\f" + malformed + "\f"), std::string::npos);

    script.push_back({0, 'q'});  // any key
    ScriptedConsole console(script, clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    std::string menu = title;
    for (int i = 0; i < 2; ++i) menu += (i == broken ? "-> " : "   ") + order[static_cast<std::size_t>(i)] + "\n";
    EXPECT_EQ(console.screen(), menu) << "the same menu, the marker on the same file";
    EXPECT_NE(console.transcript().find(malformed + "\f" + menu), std::string::npos);
}

TEST(Chooser, AnEmptyOrUnreadableFileIsNotWellFormed) {
    ScopedWorkDir dir;
    writeText("adventures/empty.xml", "");
    fs::create_symlink("nowhere.xml", "adventures/dangling.xml");
    VirtualClock clock;
    ScriptedConsole console(keys({13, 'k', 224, down, 13, 'k'}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    std::string transcript = console.transcript();
    std::size_t first = transcript.find(malformed);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(transcript.find(malformed, first + 1), std::string::npos);
}

TEST(Chooser, EscapeGivesUpWithoutLoading) {
    ScopedWorkDir dir;
    writeText("adventures/a.xml", "<a/>");
    VirtualClock clock;
    ScriptedConsole console(keys({27, 13}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    EXPECT_EQ(console.keysLeft(), 1u);
    EXPECT_EQ(console.screen(), title + "-> a.xml\n");
}

TEST(Chooser, AFileWithAnAbsurdNumberOfAttributesIsRefusedLikeAMalformedOne) {
    ScopedWorkDir dir;
    std::string attributes;
    for (std::size_t i = 0; i <= gloam::maxAttributesPerElement; ++i) attributes += " a" + std::to_string(i) + "=\"1\"";
    writeText("adventures/huge.xml", "<a><scene" + attributes + "/></a>");
    VirtualClock clock;
    ScriptedConsole console(keys({13, 'k'}), clock);
    EXPECT_FALSE(chooseAdventure(console).has_value());
    EXPECT_NE(console.transcript().find(malformed), std::string::npos);

    // One attribute fewer is still a usable file.
    writeText("adventures/huge.xml", "<a><scene" + attributes.substr(attributes.find(' ', 1)) + "/></a>");
    ScriptedConsole again(keys({13}), clock);
    auto chosen = chooseAdventure(again);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->document->RootElement()->FirstChildElement("scene")->FirstAttribute()->Value(), std::string("1"));
}

}  // namespace
