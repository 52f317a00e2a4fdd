// gloam-check: a corpus of faulty adventures, the clean demo and the JSON form.
#include "CheckOptions.h"
#include "Checker.h"
#include "XmlFaults.h"
#include "FailingAllocations.h"
#include "TestFiles.h"
#include "app/AudioStartup.h"
#include "audio/System.h"
#include "platform/TerminalText.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using gloam::check::CheckOptions;
using gloam::check::Finding;
using gloam::check::Format;
using gloam::check::Severity;
using gloam::check::runCheck;
using testsupport::linkPlugin;
using testsupport::writeSine;
using testsupport::writeText;

/// One adventure with one fault, and the one finding it must give.
struct Faulty {
    std::string xml;
    int line;
    int column;
    Severity severity;
    const char* code;
    const char* saying;  ///< a part of the message
};

/// Sixty-three top-level elements: one more than there are automatic keys.
std::string manyElements() {
    std::string xml = "<a><scene>\n";
    for (int i = 0; i < 63; ++i) xml += "<sound src=\"rain.wav\"/>\n";
    return xml + "</scene></a>";
}

const std::vector<Faulty>& corpus() {
    static const std::vector<Faulty> cases = {
        // Errors: something will not sound or not act.
        {"<a><scene>\n  <sound src=\"rain.wav\">\n</scene></a>", 2, 3, Severity::Error, "xml-error", "'<sound>' is never closed"},
        {"<a><scene>\n  <sond src=\"rain.wav\"/></scene></a>", 2, 3, Severity::Error, "unknown-element", "did you mean 'sound'?"},
        {"<a><scene><par><sound src=\"rain.wav\"/>\n <scene/></par></scene></a>", 2, 2, Severity::Error, "misplaced-element", "scenes stand directly under the root"},
        {"<a>\n</a>", 1, 1, Severity::Error, "no-scenes", "the adventure is empty"},
        {"<a><scene/>\n  <sound src=\"rain.wav\"/></a>", 2, 3, Severity::Error, "misplaced-element", "outside a scene"},
        {"<a><scene>\n  <sound name=\"Rain\" src=\"rian.wav\"/></scene></a>", 2, 22, Severity::Error, "sound-not-found",
         "sound file 'rian.wav' not found in sounds/ (did you mean 'rain.wav'?)"},
        {"<a><scene>\n  <sound src=\"forest/rain.ogg\"/></scene></a>", 2, 10, Severity::Error, "sound-not-found",
         "(did you mean 'forest/rain.wav'?)"},
        {"<a><scene>\n  <alt><sound src=\"birds/bird*\"/></alt></scene></a>", 2, 15, Severity::Error, "sound-undecodable",
         "'birds/birdsong.txt', matched by 'birds/bird*', cannot be decoded"},
        {"<a><scene>\n  <sound name=\"x\"/></scene></a>", 2, 3, Severity::Error, "sound-no-src", "no 'src'"},
        {"<a><scene>\n  <sound src=\"birds/owl*.wav\"/></scene></a>", 2, 10, Severity::Error, "wildcard-no-match",
         "matches no file in sounds/birds/"},
        {"<a><scene>\n  <sound src=\"birds/bird?\"/></scene></a>", 2, 10, Severity::Error, "wildcard-no-match",
         "('?' stands for exactly one character of the whole file name, extension included; 'birds/bird*' would match "
         "'bird1.wav')"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mnoo\" gain=\"1\"/></sound></scene></a>", 2, 11,
         Severity::Error, "unknown-plugin", "did you mean 'gloam_gain_mono'?"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter gain=\"1\"/></sound></scene></a>", 2, 3, Severity::Error,
         "filter-no-name", "without 'name'"},
        {"<a><scene><sound src=\"rain.wav\">\n  <seq/></sound></scene></a>", 2, 3, Severity::Error, "element-in-sound",
         "never plays"},
        // Warnings: the player reads a value otherwise than meant.
        {"<a><scene>\n  <sound src=\"rain.wav\" autoStart=\"true\"/></scene></a>", 2, 25, Severity::Warning,
         "not-a-number", "reads as 0"},
        {"<a><scene>\n  <sound src=\"rain.wav\" loopCount=\"2.7\"/></scene></a>", 2, 25, Severity::Warning,
         "trailing-text", "'2.7' reads as 2"},
        {"<a><scene>\n  <sound src=\"rain.wav\" loopDelay=\"0x10\"/></scene></a>", 2, 25, Severity::Warning,
         "trailing-text", "hexadecimal"},
        {"<a><scene>\n  <sound src=\"rain.wav\" closeDelay=\"5s\"/></scene></a>", 2, 25, Severity::Warning,
         "trailing-text", "'5s' reads as 5"},
        {"<a><scene>\n  <sound src=\"rain.wav\" loopCount=\"99999999999\"/></scene></a>", 2, 25, Severity::Warning,
         "out-of-range", "reads as 2147483647"},
        {"<a><scene>\n  <sound src=\"rain.wav\" volume=\"0,5\"/></scene></a>", 2, 25, Severity::Warning,
         "trailing-text", "decimal point"},
        {"<a><scene>\n  <sound src=\"rain.wav\"\n         fadein=\"100\"/></scene></a>", 3, 10, Severity::Warning,
         "unknown-attribute", "did you mean 'fadeIn'?"},
        {"<a><scene>\n  <seq loopdelay=\"100\"><sound src=\"rain.wav\"/></seq></scene></a>", 2, 8, Severity::Warning,
         "unknown-attribute", "did you mean 'loopDelay'?"},
        {"<a><scene>\n  <seq src=\"rain.wav\"><sound src=\"rain.wav\"/></seq></scene></a>", 2, 8, Severity::Warning,
         "unknown-attribute", "not read on a 'seq'"},
        {"<a><scene mode=\"Stream\">\n  <sound src=\"rain.wav\"/></scene></a>", 1, 11, Severity::Warning, "unknown-mode",
         "did you mean 'stream'?"},
        {"<a mode=\"ownStream\"><scene>\n  <sound src=\"rain.wav\"/></scene></a>", 1, 4, Severity::Warning,
         "root-own-stream", "not allowed on the root"},
        {"<a><scene>\n  <sound src=\"rain.wav\" positionXvariance=\"-2\"/></scene></a>", 2, 25, Severity::Warning,
         "negative-variance", "adds nothing"},
        {"<a><scene>\n  <sound src=\"rain.wav\" fadeIn=\"-100\"/></scene></a>", 2, 25, Severity::Warning,
         "negative-fade", "silent"},
        {"<a><scene>\n  <par><sound src=\"rain.wav\" crossFade=\"100\"/></par></scene></a>", 2, 30, Severity::Warning,
         "cross-fade-outside-seq", "in a 'par' it does nothing"},
        {"<a><scene>\n  <sound src=\"rain.wav\" startDelay=\"-100\"/></scene></a>", 2, 25, Severity::Warning,
         "negative-start-outside-seq", "starts at once"},
        {"<a><scene>\n  <seq loopCount=\"1\" fadeOut=\"700\"><sound src=\"rain.wav\"/></seq></scene></a>", 2, 22,
         Severity::Warning, "fade-longer-than-run", "(at most 600 ms)"},
        {"<a><scene>\n  <sound src=\"rain.wav\" autoStart=\"1\"/><par><sound src=\"rain.wav\" autoStart=\"1\"/></par></scene></a>",
         2, 67, Severity::Warning, "no-effect", "only on a scene's top-level elements"},
        {"<a><scene loopCount=\"1\">\n  <sound src=\"rain.wav\"/></scene></a>", 1, 11, Severity::Warning, "no-effect",
         "no effect on a scene"},
        {"<a><scene spread=\"180\">\n  <sound src=\"rain.wav\"/></scene></a>", 1, 11, Severity::Warning, "no-effect",
         "no effect on a scene"},
        {"<a><scene>\n  <sound src=\"rain.wav\" spread=\"400\"/></scene></a>", 2, 25, Severity::Warning, "out-of-range",
         "reads as 360"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mono\" gain=\"9\"/></sound></scene></a>", 2, 34,
         Severity::Warning, "filter-parameter-clamped", "used as 4"},
        // The player reads "inf" as infinity, which the range brings to its end.
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mono\" gain=\"inf\"/></sound></scene></a>", 2, 34,
         Severity::Warning, "filter-parameter-clamped", "= inf is outside the plug-in's range 0 to 4: it is used as 4"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mono\" gain=\"nan\"/></sound></scene></a>", 2, 34,
         Severity::Warning, "not-a-number", "reads as 0"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mono\" gain=\"1\" mix=\"1\"/></sound></scene></a>",
         2, 43, Severity::Warning, "filter-parameter-unused", "has 1 control"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter gain=\"1\" name=\"gloam_gain_mono\"/></sound></scene></a>", 2, 11,
         Severity::Warning, "filter-name-not-first", "sets no parameter"},
        {"<a><scene>\n  <sound src=\"rain.wav\" key=\"F1\"/></scene></a>", 2, 25, Severity::Warning, "key-too-long",
         "gives the key 'F'"},
        {"<a><scene key=\"s\">\n  <sound src=\"rain.wav\" key=\"s\"/></scene></a>", 2, 25, Severity::Warning,
         "key-shadowed", "scene keys come first, so this element can never be started or stopped with it"},
        // Notes: how things resolve.
        {"<a><scene>\n  <sound src=\"rain.wav\" key=\"r\"/>\n  <sound src=\"rain.wav\" key=\"r\"/></scene></a>", 3, 25,
         Severity::Note, "key-taken", "taken by the 'sound' at line 2"},

        {"<a><scene key=\"s\"><sound src=\"rain.wav\"/></scene>\n  <scene key=\"s\"><sound src=\"rain.wav\"/></scene></a>", 2,
         10, Severity::Note, "scene-key-taken", "only with the cursor keys"},
        {manyElements(), 64, 1, Severity::Note, "no-automatic-key", "62 automatic keys are used up"},
        {"<a><scene>\n  <sound src=\"rain.wav\" key=\"!\"/></scene></a>", 2, 25, Severity::Note, "key-unreachable",
         "adventure menu"},
        {"<a><scene>\n  <seq><sound src=\"drips/*\"/></seq></scene></a>", 2, 15, Severity::Note, "wildcard-order",
         "drip"},
        {"<a><scene>\n  <alt><par/></alt></scene></a>", 2, 3, Severity::Note, "silent-container",
         "never starts"},
        {"<a><scene>\n  <par><seq><sound src=\"rain.wav\"/></seq></par></scene></a>", 2, 8, Severity::Note,
         "seq-not-skippable", "inside a 'par'"},
    };
    return cases;
}

/// A folder with sounds and the test plug-ins, and the engine started in it.
class CheckAdventures : public ::testing::Test {
protected:
    CheckAdventures() {
        writeSine("sounds/rain.wav", 300);
        writeSine("sounds/forest/rain.wav", 300);
        writeSine("sounds/birds/bird1.wav", 100);
        writeSine("sounds/birds/bird2.wav", 100);
        writeText("sounds/birds/birdsong.txt", "no sound at all");
        writeSine("sounds/drips/drip1.wav", 100);
        writeSine("sounds/drips/drip2.wav", 100);
        linkPlugin(GLOAM_TEST_LADSPA);
        audio::SystemConfig config;
        config.output = audio::OutputKind::Offline;
        gloam::startAudio(system_, config);
    }
    ~CheckAdventures() override { system_.close(); }

    std::vector<Finding> check(const std::string& xml) {
        writeText("adventures/test.xml", xml);
        return gloam::check::checkAdventure(system_, "adventures/test.xml", "adventures/test.xml");
    }

    testsupport::ScopedWorkDir root_;
    audio::System system_;
};

std::string describe(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings) {
        text += std::to_string(finding.at.line) + ":" + std::to_string(finding.at.column) + " " + finding.code + ": " +
                finding.message + "\n";
    }
    return text;
}

}  // namespace

TEST_F(CheckAdventures, EachFaultGivesOneFindingAtItsElementOrAttribute) {
    for (const Faulty& faulty : corpus()) {
        SCOPED_TRACE(faulty.xml);
        const std::vector<Finding> findings = check(faulty.xml);
        ASSERT_EQ(findings.size(), 1u) << describe(findings);
        const Finding& finding = findings.front();
        EXPECT_EQ(finding.code, faulty.code);
        EXPECT_EQ(finding.severity, faulty.severity) << finding.code;
        EXPECT_EQ(finding.at.line, faulty.line) << finding.code;
        EXPECT_EQ(finding.at.column, faulty.column) << finding.code;
        EXPECT_NE(finding.message.find(faulty.saying), std::string::npos) << finding.message;
    }
}

TEST_F(CheckAdventures, WhatThePlayerTakesAsMeantGivesNoFinding) {
    // Every element kind, nesting, a wildcard outside a seq, keys of all
    // sorts, filters by label with their controls in range, the schema's
    // attributes on the root, and characters before the columns.
    const std::vector<Finding> findings = check(R"(<?xml version="1.0" encoding="UTF-8"?>
<adventure mode="preload" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" xsi:noNamespaceSchemaLocation="adventure.xsd">
  <!-- <sond> in a comment is no element -->
  <scene name="Fôrêt" key="F" mode="compressed" volume="0.8" fadeIn="2000" fadeOut="3000">
    <filter name="gloam_gain_mono" gain="0.5"/>
    <seq name="Bed" autoStart="1" loopCount="-1" fadeOut="4000">
      <sound src="rain.wav" fadeIn="100" fadeOut="100" crossFade="100" startDelay="-50"/>
      <sound src="forest/rain.wav" volume=" 0.5 " crossFade="100"/>
    </seq>
    <alt name="Birds" loopCount="2" loopDelay="100" loopDelayVariance="400" fadeIn="300">
      <sound name="Drip " src="drips/drip*"/>
    </alt>
    <par key="p" positionX="-1.5" positionYvariance="2" spread="180" spreadVariance="30">
      <sound src="drips/drip1.wav" startDelay="10" startDelayVariance="20"/>
      <sound src="drips\drip2.wav" mode="ownStream"/>
    </par>
    <sound name="é" key="é" src="rain.wav" loopCount="1" fadeOut="600"/>
  </scene>
  <scene name="Two" key="T"><sound src="rain.wav" key="f"/></scene>
</adventure>)");
    EXPECT_TRUE(findings.empty()) << describe(findings);
}

TEST_F(CheckAdventures, ColumnsFarAlongOneLongLineCountCharacters) {
    // A minified adventure: everything on one line, names in several scripts,
    // so that columns and bytes part ways more and more along the line.
    std::string xml = "<a><scene>";
    for (int i = 0; i < 300; ++i) xml += "<sound name=\"Fôrêt ☂ " + std::to_string(i) + "\" src=\"rain.wav\"/>";
    std::vector<std::pair<std::string, int>> expected;  // attribute, column
    auto characters = [](const std::string& text) {
        return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    };
    for (const char* attribute : {"loopCount", "closeDelay"}) {
        xml += "<sound name=\"ü\" src=\"rain.wav\" ";
        expected.emplace_back(attribute, characters(xml) + 1);
        xml += std::string(attribute) + "=\"2.7\"/>";
        for (int i = 0; i < 50; ++i) xml += "<sound name=\"Ωμέγα\" src=\"rain.wav\"/>";
    }
    const std::vector<Finding> findings = check(xml + "</scene></a>");
    std::vector<std::pair<std::string, int>> found;
    for (const Finding& finding : findings) {
        if (finding.code != std::string("trailing-text")) continue;
        EXPECT_EQ(finding.at.line, 1);
        found.emplace_back(finding.message.find("loopCount") != std::string::npos ? "loopCount" : "closeDelay",
                           finding.at.column);
    }
    EXPECT_EQ(found, expected) << describe(findings);
}

TEST_F(CheckAdventures, AFileThePlayerCannotReadOrRefusesSaysWhy) {
    struct Case {
        std::string path;
        const char* code;
        const char* saying;
    };
    fs::create_directories("adventures/folder.xml");
    std::string manyAttributes = "<a><scene><sound src=\"rain.wav\"";
    for (int i = 0; i < 257; ++i) manyAttributes += " a" + std::to_string(i) + "=\"1\"";
    writeText("adventures/many.xml", manyAttributes + "/></scene></a>");
    // A regular file whose reading fails for everyone, root included.
    for (const Case& each : std::vector<Case>{{"/proc/self/mem", "unreadable", "cannot read the file: Input/output error"},
                                              {"adventures/folder.xml", "unreadable", "not a regular file"},
                                              {"adventures/none.xml", "unreadable", "no such file"},
                                              {"adventures/many.xml", "refused", "an element has more than 256 attributes"}}) {
        const std::vector<Finding> findings = gloam::check::checkAdventure(system_, each.path, "shown.xml");
        ASSERT_EQ(findings.size(), 1u) << each.path << '\n' << describe(findings);
        EXPECT_EQ(findings[0].code, each.code) << each.path;
        EXPECT_EQ(findings[0].message.find("attributes") != std::string::npos, std::string(each.code) == "refused")
            << findings[0].message;
        EXPECT_NE(findings[0].message.find(each.saying), std::string::npos) << findings[0].message;
    }
}

TEST_F(CheckAdventures, AnElementThePlayerCannotPlanForWantOfMemoryIsAnError) {
    std::vector<Finding> findings;
    {
        // The million loop delays need megabytes; nothing else does.
        testsupport::FailingAllocations failing(std::size_t{1} << 20);
        findings = check("<a><scene>\n  <sound src=\"rain.wav\" autoStart=\"1\" loopCount=\"1000000\" loopDelayVariance=\"9\"/>"
                         "<sound src=\"rain.wav\" autoStart=\"1\"/></scene></a>");
    }
    ASSERT_EQ(findings.size(), 1u) << describe(findings);
    EXPECT_EQ(findings[0].code, "plan-failed");
    EXPECT_EQ(findings[0].severity, Severity::Error);
    EXPECT_EQ(findings[0].at.line, 2);
    EXPECT_EQ(findings[0].at.column, 3);
    EXPECT_NE(findings[0].message.find("1000000 loops"), std::string::npos) << findings[0].message;
    EXPECT_NE(findings[0].message.find("stays silent"), std::string::npos) << findings[0].message;
}

TEST(CheckDemo, TheDemoChecksCleanWithItsSoundsAndPlugins) {
#ifndef GLOAM_DEMO_MADE
    GTEST_SKIP() << "the demo's sounds need sox with libsox-fmt-all";
#else
    testsupport::ScopedWorkDir root;
    fs::copy(GLOAM_SOURCE_DIR "/demo/adventures", "adventures");
    fs::create_directory_symlink(GLOAM_DEMO_MADE "/sounds", "sounds");
    fs::create_directory_symlink(GLOAM_DEMO_MADE "/plugins", "plugins");

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runCheck(CheckOptions{}, out, err), 0);
    EXPECT_EQ(out.str(), "1 adventure checked: no problems\n");
    EXPECT_EQ(err.str(), "");
#endif
}

TEST(CheckReport, JsonGivesTheSameFindingsAsAnArrayAndTheSummaryApart) {
    testsupport::ScopedWorkDir root;
    writeSine("sounds/rain.wav", 300);
    writeText("adventures/a.xml", "<a><scene>\n  <sound src=\"rain.wav\" autoStart=\"true\"/></scene></a>");
    writeText("adventures/b.xml", "<a><scene><sound src=\"rain.wav\"/></scene></a>");
    writeText("adventures/c.xml", "<a>\n<scene\n><sound src=\"x\x01.wav\"/></scene></a>");
    writeText("adventures/notes.txt", "not an adventure");

    CheckOptions options;
    options.format = Format::Json;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runCheck(options, out, err), 1);
    EXPECT_EQ(out.str(),
              "[\n"
              "  {\"file\": \"adventures/a.xml\", \"line\": 2, \"column\": 25, \"severity\": \"warning\", "
              "\"code\": \"not-a-number\", \"message\": \"autoStart=\\\"true\\\" is not a number and reads as 0: "
              "the element does not start by itself (write autoStart=\\\"1\\\")\"},\n"
              "  {\"file\": \"adventures/c.xml\", \"line\": 3, \"column\": 9, \"severity\": \"error\", "
              "\"code\": \"sound-not-found\", \"message\": \"sound file 'x\\u0001.wav' not found in sounds/\"}\n"
              "]\n");
    EXPECT_EQ(err.str(), "3 adventures checked: 1 error, 1 warning (in 2 of them)\n");

    // The same in text form, the control character made visible.
    std::ostringstream text;
    EXPECT_EQ(runCheck(CheckOptions{}, text, err), 1);
    EXPECT_NE(text.str().find("adventures/c.xml:3:9: error: sound file 'x\\x01.wav' not found in sounds/\n"),
              std::string::npos)
        << text.str();
}

TEST(CheckReport, NamesOfAnyBytesReachTheTerminalAsTextAndJsonReadersAsJson) {
    testsupport::ScopedWorkDir root;
    // A C1 control (CSI) as UTF-8 and as a bare byte, a byte that begins no
    // UTF-8 character, in a missing sound's name and in the adventure's.
    writeSine("sounds/rain.wav", 100);
    writeText("adventures/c1\xc2\x9b.xml", "<a><scene>\n<sound src=\"x\xc2\x9b" "2J\x9b" "2J\xff\xc3\xa9.wav\"/></scene></a>");

    std::ostringstream text;
    std::ostringstream err;
    EXPECT_EQ(runCheck(CheckOptions{}, text, err), 1);
    EXPECT_NE(text.str().find("adventures/c1\\xC2\\x9B.xml:2:8: error: sound file 'x\\xC2\\x9B2J\\x9B2J\\xFF\xc3\xa9.wav' "
                              "not found in sounds/\n"),
              std::string::npos)
        << text.str();
    // Nothing but what the player itself would show.
    std::string withoutLineBreaks = text.str();
    std::erase(withoutLineBreaks, '\n');
    EXPECT_EQ(platform::visibleText(withoutLineBreaks), withoutLineBreaks);

    CheckOptions options;
    options.format = Format::Json;
    std::ostringstream json;
    EXPECT_EQ(runCheck(options, json, err), 1);
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(json.str())) << json.str();
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0]["file"], "adventures/c1\xc2\x9b.xml");
    EXPECT_EQ(parsed[0]["message"], "sound file 'x\xc2\x9b" "2J\xef\xbf\xbd" "2J\xef\xbf\xbd\xc3\xa9.wav' not found in sounds/");
    EXPECT_EQ(json.str().find("\xc2\x9b"), std::string::npos) << "C1 controls are escaped";
}

TEST(CheckReport, AReportThatCannotBeWrittenIsOneLineOnStandardErrorAndExitCodeTwo) {
    testsupport::ScopedWorkDir root;
    writeSine("sounds/rain.wav", 100);
    // A report far larger than a pipe holds, so that a reader who stops
    // early is noticed.
    std::string xml = "<a><scene>\n";
    for (int i = 0; i < 1500; ++i) xml += "<sound src=\"" + std::string(200, 'm') + std::to_string(i) + ".wav\"/>\n";
    writeText("adventures/big.xml", xml + "</scene></a>");
    writeText("adventures/clean.xml", "<a><scene><sound src=\"rain.wav\"/></scene></a>");

    // Each command leaves the checker's exit code in "status" and its
    // standard error in "err.txt".
    const std::string check = std::string("'") + GLOAM_CHECK_BINARY + "'";
    for (const std::string& command : {check + " adventures/clean.xml 2> err.txt > /dev/full",
                                       check + " adventures/clean.xml --format json 2> err.txt > /dev/full",
                                       check + " adventures/clean.xml 2> err.txt >&-",
                                       check + " adventures/big.xml 2> err.txt | head -c 1 > /dev/null"}) {
        writeText("run.sh", command + "; echo ${PIPESTATUS[0]} > status\n");
        ASSERT_EQ(std::system("bash run.sh"), 0);
        EXPECT_EQ(testsupport::readText("status"), "2\n") << command;
        const std::string messages = testsupport::readText("err.txt");
        EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 1) << command << ": " << messages;
        EXPECT_EQ(messages.rfind("gloam-check: cannot write the report: ", 0), 0u) << command << ": " << messages;
    }
}

TEST(CheckReport, TheReadmeListsEveryCodeTheCheckerGivesUnderItsSeverity) {
    // The codes the checker's sources give, by severity...
    std::map<std::string, std::set<std::string>> given;
    const std::regex finding(R"re(Severity::(Error|Warning|Note), *"([a-z-]+)")re");
    for (const auto& entry : fs::directory_iterator(GLOAM_SOURCE_DIR "/tools/check")) {
        const std::string source = testsupport::readText(entry.path());
        for (std::sregex_iterator at(source.begin(), source.end(), finding), end; at != end; ++at) {
            given[(*at)[1] == "Error" ? "errors" : (*at)[1] == "Warning" ? "warnings" : "notes"].insert((*at)[2]);
        }
    }
    ASSERT_FALSE(given["errors"].empty());
    // ... and the README's list, "`a`, `b` (errors); `c` (warnings); ...".
    const std::string readme = testsupport::readText(GLOAM_SOURCE_DIR "/README.md");
    const auto start = readme.find("The JSON `code` names the kind of finding");
    ASSERT_NE(start, std::string::npos);
    const auto colon = readme.find(": ", start);
    const std::string list = readme.substr(colon, readme.find('\n', start) - colon);
    std::map<std::string, std::set<std::string>> documented;
    std::set<std::string> codes;
    const std::regex word(R"(`([a-z-]+)`|\((errors|warnings|notes)\))");
    for (std::sregex_iterator at(list.begin(), list.end(), word), end; at != end; ++at) {
        if ((*at)[1].matched) {
            codes.insert((*at)[1]);
        } else {
            documented[(*at)[2]] = std::move(codes);
            codes.clear();
        }
    }
    EXPECT_EQ(documented, given);
}

TEST(CheckReport, CommandLineTakesBothOptionFormsAndRefusesWhatItDoesNotKnow) {
    const auto parsed = gloam::check::parseCheckOptions({"--root=game", "--format", "json", "a.xml", "--", "-b.xml"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->root, "game");
    EXPECT_EQ(parsed.options->format, Format::Json);
    EXPECT_EQ(parsed.options->files, (std::vector<std::string>{"a.xml", "-b.xml"}));
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--format", "yaml"}, {"--root"}, {"-x"}}) {
        EXPECT_FALSE(gloam::check::parseCheckOptions(bad).options) << bad.front();
    }
}

TEST(CheckPlugins, AFilterWhoseValuesCrashItsPluginIsAnErrorAndNoPluginCodeRunsInTheChecker) {
    const fs::path swh = "/usr/lib/ladspa";
    if (!fs::exists(swh / "delay_1898.so")) GTEST_SKIP() << "swh-plugins is not installed";
    testsupport::ScopedWorkDir root;
    writeSine("sounds/rain.wav", 300);
    fs::create_directories("plugins");
    fs::create_symlink(swh / "delay_1898.so", "plugins/delay_1898.so");
    testsupport::writeDamagedCopy(swh / "amp_1181.so", "plugins/amp_1181.so", testsupport::Damage::ZeroTail, 0.3);
    writeText("adventures/a.xml", "<a><scene><sound src=\"rain.wav\">\n"
                                  "  <filter name=\"delay_n\" max=\"1\" time=\"0.1\"/>\n"
                                  "  <filter name=\"delay_n\" max=\"44740\" time=\"0.1\"/>\n"
                                  "  <filter name=\"amp\" gain=\"-6\"/>\n"
                                  "</sound></scene></a>");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runCheck(CheckOptions{}, out, err), 1);
    EXPECT_EQ(out.str(),
              "adventures/a.xml:3:11: error: plug-in 'delay_n' crashed or hung when it was tried with these values "
              "(in a separate process): the filter is skipped\n"
              "adventures/a.xml:4:11: error: no plug-in labelled 'amp' in plugins/: the filter is skipped\n"
              "1 adventure checked: 2 errors\n");

    // The libraries were read and tried in child processes only.
    std::ifstream maps("/proc/self/maps");
    const std::string mapped((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
    EXPECT_EQ(mapped.find("delay_1898"), std::string::npos);
    EXPECT_EQ(mapped.find("amp_1181"), std::string::npos);
}

namespace {

using gloam::check::XmlFaultKind;

/// A file that is not well-formed XML, with the one fault it has.
struct Malformed {
    std::string xml;
    int line;
    int column;
    XmlFaultKind kind;
    bool refused;        ///< the player's parser refuses the file (an error), or reads it (a warning)
    const char* saying;  ///< a part of the message
};

}  // namespace

TEST_F(CheckAdventures, XmlFaultsAreSaidInWordsWhereTheyAre) {
    const std::vector<Malformed> corpus = {
        {"<a><scene>\n  <sound src=\"rain.wav\">\n</scene></a>", 2, 3, XmlFaultKind::NeverClosed, true,
         "'<sound>' is never closed: '</scene>' at line 3, column 1 closes the element around it first"},
        {"<a><scene>\n  <sound src=\"rain.wav\"/>\n", 1, 4, XmlFaultKind::NeverClosed, true,
         "'<scene>' is never closed: the file ends at line 3 before its '</scene>'"},
        {"<a><scene>\n  <sound src=\"rain.wav\"></sonud>\n</scene></a>", 2, 25, XmlFaultKind::MismatchedClose, true,
         "closing tag '</sonud>' does not match '<sound>' opened at line 2, column 3 (write '</sound>')"},
        {"<a><scene>\n  <sound src=\"rain.wav/>\n</scene></a>", 2, 14, XmlFaultKind::MissingQuote, true,
         "the value of 'src' has no closing quote: it runs on to the end of the file"},
        {"<a><scene>\n  <sound src=\"rain.wav autoStart=\"1\"/>\n</scene></a>", 2, 14, XmlFaultKind::MissingQuote, true,
         "the value of 'src' has no closing quote: it runs on to the '\"' at line 2, column 34"},
        {"<a><scene>\n  <sound src=rain.wav/>\n</scene></a>", 2, 14, XmlFaultKind::UnquotedValue, true,
         "the value of 'src' must stand in quotes"},
        {"<a><scene>\n  <sound src/></scene></a>", 2, 10, XmlFaultKind::MissingValue, true,
         "attribute 'src' has no value"},
        {"<a><scene name=\"x\" name=\"y\"/></a>", 1, 20, XmlFaultKind::DuplicateAttribute, true,
         "attribute 'name' is written twice on '<scene>'"},
        {"<a><scene>\n  Rock < Roll\n</scene></a>", 2, 8, XmlFaultKind::BareLessThan, true,
         "a '<' in text must be written '&lt;'"},
        {"<a><scene>\n  <1sound/></scene></a>", 2, 4, XmlFaultKind::BadTag, true, "an element name cannot start with '1'"},
        {"<a><scene>\n  <!-- the rain\n</scene></a>", 2, 3, XmlFaultKind::UnclosedComment, true,
         "this comment is never closed with '-->'"},
        {"<a><scene/></a>\n  junk", 2, 3, XmlFaultKind::TextAfterRoot, true, "text after the root element '</a>'"},
        // Faults the player's parser reads past: warnings.
        {"<a><scene name=\"Rock & Roll\">\n  <sound src=\"rain.wav\"/></scene></a>", 1, 22, XmlFaultKind::BareAmpersand,
         false, "an '&' in an attribute value must be written '&amp;'"},
        {"<a><scene>\n  <sound name=\"&eacute;\" src=\"rain.wav\"/></scene></a>", 2, 16, XmlFaultKind::UnknownEntity, false,
         "'&eacute;' is not an entity XML knows"},
        {"<a><scene>\n  <sound src=\"rain.wav\"autoStart=\"1\"/></scene></a>", 2, 24, XmlFaultKind::NoSpaceBetween, false,
         "attributes need a space between them: 'src' runs straight into the next one"},
        {"<a><scene>\x01\n  <sound src=\"rain.wav\"/></scene></a>", 1, 11, XmlFaultKind::ControlCharacter, false,
         "control character 1 is not allowed in XML"},
    };
    for (const Malformed& malformed : corpus) {
        SCOPED_TRACE(malformed.xml);
        const auto faults = gloam::check::findXmlFaults(malformed.xml);
        ASSERT_EQ(faults.size(), 1u);
        EXPECT_EQ(faults.front().kind, malformed.kind);
        EXPECT_EQ(faults.front().refused, malformed.refused);

        // What the author reads: at the fault, in words, no parser names or numbers.
        const std::vector<Finding> findings = check(malformed.xml);
        ASSERT_EQ(findings.size(), 1u) << describe(findings);
        const Finding& finding = findings.front();
        EXPECT_EQ(finding.code, malformed.refused ? "xml-error" : "xml-not-well-formed");
        EXPECT_EQ(finding.severity, malformed.refused ? Severity::Error : Severity::Warning);
        EXPECT_EQ(finding.at.line, malformed.line);
        EXPECT_EQ(finding.at.column, malformed.column);
        EXPECT_NE(finding.message.find(malformed.saying), std::string::npos) << finding.message;
        EXPECT_EQ(finding.message.find("XML_"), std::string::npos) << finding.message;
        EXPECT_EQ(finding.message.find("ErrorID"), std::string::npos) << finding.message;
    }
}

TEST_F(CheckAdventures, WellFormedXmlOfEveryKindHasNoFault) {
    const std::string xml = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE a [ <!ENTITY bird \"Bird\"> ]>\n"
                            "<!-- a comment with <tags> & ampersands -->\n"
                            "<a x='1' y = \"&lt;&amp;&#38;&#x26;&quot;&apos;&gt;\">\n"
                            "  <scene name=\"&bird; &#233;t&#xE9;\"><![CDATA[ <not> & a tag ]]>text &amp; more\n"
                            "    <?processing instruction?><sound src=\"rain.wav\" />\n"
                            "  </scene >\n</a >\n<!-- after -->\n";
    EXPECT_TRUE(gloam::check::findXmlFaults(xml).empty());
    // Deeper than the parser reads is no XML fault, but the player refuses it.
    std::string deep = "<a><scene>";
    for (int i = 0; i < 120; ++i) deep += "<par>";
    for (int i = 0; i < 120; ++i) deep += "</par>";
    deep += "</scene></a>";
    EXPECT_TRUE(gloam::check::findXmlFaults(deep).empty());
    const std::vector<Finding> findings = check(deep);
    ASSERT_EQ(findings.size(), 1u) << describe(findings);
    EXPECT_EQ(findings.front().code, "xml-error");
    EXPECT_NE(findings.front().message.find("nested more than 99 deep"), std::string::npos) << findings.front().message;
}
