// gloam-check: a corpus of faulty adventures, the clean demo and the JSON form.
#include "CheckOptions.h"
#include "Checker.h"
#include "FailingAllocations.h"
#include "TestFiles.h"
#include "app/AudioStartup.h"
#include "audio/System.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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
        {"<a><scene>\n  <sound src=\"rain.wav\">\n</scene></a>", 2, 1, Severity::Error, "xml-error", "XML_ERROR_MISMATCHED_ELEMENT"},
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
        {"<a><scene fadeIn=\"100\">\n  <sound src=\"rain.wav\"/></scene></a>", 1, 11, Severity::Warning, "no-effect",
         "no effect on a scene"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mono\" gain=\"9\"/></sound></scene></a>", 2, 34,
         Severity::Warning, "filter-parameter-clamped", "used as 4"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter name=\"gloam_gain_mono\" gain=\"1\" mix=\"1\"/></sound></scene></a>",
         2, 43, Severity::Warning, "filter-parameter-unused", "has 1 control"},
        {"<a><scene><sound src=\"rain.wav\">\n  <filter gain=\"1\" name=\"gloam_gain_mono\"/></sound></scene></a>", 2, 11,
         Severity::Warning, "filter-name-not-first", "sets no parameter"},
        {"<a><scene>\n  <sound src=\"rain.wav\" key=\"F1\"/></scene></a>", 2, 25, Severity::Warning, "key-too-long",
         "gives the key 'F'"},
        // Notes: how things resolve.
        {"<a><scene>\n  <sound src=\"rain.wav\" key=\"r\"/>\n  <sound src=\"rain.wav\" key=\"r\"/></scene></a>", 3, 25,
         Severity::Note, "key-taken", "taken by the 'sound' at line 2"},
        {"<a><scene key=\"s\">\n  <sound src=\"rain.wav\" key=\"s\"/></scene></a>", 2, 25, Severity::Note, "key-shadowed",
         "scene keys come first"},
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
  <scene name="Fôrêt" key="F" mode="compressed" volume="0.8">
    <filter name="gloam_gain_mono" gain="0.5"/>
    <seq name="Bed" autoStart="1" loopCount="-1" fadeOut="4000">
      <sound src="rain.wav" fadeIn="100" fadeOut="100" crossFade="100" startDelay="-50"/>
      <sound src="forest/rain.wav" volume=" 0.5 " crossFade="100"/>
    </seq>
    <alt name="Birds" loopCount="2" loopDelay="100" loopDelayVariance="400" fadeIn="300">
      <sound name="Drip " src="drips/drip*"/>
    </alt>
    <par key="p" positionX="-1.5" positionYvariance="2">
      <sound src="drips/drip1.wav" startDelay="10" startDelayVariance="20"/>
      <sound src="drips\drip2.wav" mode="ownStream"/>
    </par>
    <sound name="é" key="é" src="rain.wav" loopCount="1" fadeOut="600"/>
  </scene>
  <scene name="Two" key="T"><sound src="rain.wav" key="f"/></scene>
</adventure>)");
    EXPECT_TRUE(findings.empty()) << describe(findings);
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

TEST(CheckReport, TheReadmeListsExactlyTheCodesTheCheckerGives) {
    const auto read = [](const fs::path& file) {
        std::ifstream in(file);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    std::set<std::string> given;
    const std::regex codeGiven(R"(Severity::(Error|Warning|Note), "([a-z-]+)\")");
    for (const auto& entry : fs::directory_iterator(GLOAM_SOURCE_DIR "/tools/check")) {
        if (entry.path().extension() != ".cpp") continue;
        const std::string source = read(entry.path());
        for (std::sregex_iterator it(source.begin(), source.end(), codeGiven), end; it != end; ++it) given.insert((*it)[2]);
    }
    ASSERT_GT(given.size(), 30u);

    const std::string readme = read(GLOAM_SOURCE_DIR "/README.md");
    const std::string opening = "stays the same between versions:";
    const auto from = readme.find(opening);
    ASSERT_NE(from, std::string::npos);
    const std::string list = readme.substr(from, readme.find("\n\n", from) - from);
    std::set<std::string> listed;
    const std::regex codeListed("`([a-z-]+)`");
    for (std::sregex_iterator it(list.begin(), list.end(), codeListed), end; it != end; ++it) listed.insert((*it)[1]);
    EXPECT_EQ(listed, given);
}

TEST(CheckDemo, TheDemoChecksCleanWithItsSoundsAndPlugins) {
    testsupport::ScopedWorkDir root;
    fs::copy(GLOAM_SOURCE_DIR "/demo/adventures", "adventures");
    const std::string tools = GLOAM_SOURCE_DIR "/tools/";
    // The sounds are made once into the build folder; later runs find them there.
    ASSERT_EQ(std::system((tools + "make-demo-sounds " GLOAM_DEMO_SOUNDS " >/dev/null 2>&1").c_str()), 0)
        << "tools/make-demo-sounds needs sox with libsox-fmt-all";
    ASSERT_EQ(std::system((tools + "link-demo-plugins plugins >/dev/null 2>&1").c_str()), 0)
        << "tools/link-demo-plugins needs swh-plugins";
    fs::create_directory_symlink(GLOAM_DEMO_SOUNDS, "sounds");

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runCheck(CheckOptions{}, out, err), 0);
    EXPECT_EQ(out.str(), "0 errors, 0 warnings in 0 of 1 adventure\n");
    EXPECT_EQ(err.str(), "");
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
    EXPECT_EQ(err.str(), "1 error, 1 warning in 2 of 3 adventures\n");

    // The same in text form, the control character made visible.
    std::ostringstream text;
    EXPECT_EQ(runCheck(CheckOptions{}, text, err), 1);
    EXPECT_NE(text.str().find("adventures/c.xml:3:9: error: sound file 'x\\x01.wav' not found in sounds/\n"),
              std::string::npos)
        << text.str();
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
