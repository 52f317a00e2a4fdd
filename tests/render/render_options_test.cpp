// The renderer's command line and key scripts.
#include "RenderOptions.h"

#include <gtest/gtest.h>

using gloam::render::parseKeyScript;
using gloam::render::parseRenderOptions;

TEST(KeyScript, NamedKeysBecomeTheCodesThePlayerReads) {
    std::string error;
    auto keys = parseKeyScript("0:a,10:left,10:space,20:enter,30:esc,40:comma,50:colon,60:down", error);
    ASSERT_TRUE(keys) << error;
    std::vector<int> codes;
    for (const auto& key : *keys) codes.push_back(key.code);
    EXPECT_EQ(codes, (std::vector<int>{'a', 224, 'K', ' ', 13, 27, ',', ':', 224, 'P'}));
    EXPECT_EQ((*keys)[2].timeMs, 10);
}

TEST(KeyScript, OneUtf8CharacterGivesItsBytes) {
    std::string error;
    auto keys = parseKeyScript("5:\xc3\xa9", error);
    ASSERT_TRUE(keys) << error;
    ASSERT_EQ(keys->size(), 2u);
    EXPECT_EQ((*keys)[0].code, 0xc3);
    EXPECT_EQ((*keys)[1].code, 0xa9);
}

TEST(KeyScript, MalformedScriptsAreRefusedWithAReason) {
    for (const char* script : {"10:a,5:b", "a", "10:", "10:ab", "x:a", "-5:a", "10:a,"}) {
        std::string error;
        EXPECT_FALSE(parseKeyScript(script, error)) << script;
        EXPECT_FALSE(error.empty()) << script;
    }
}

TEST(RenderOptions, DefaultsAndEveryOption) {
    auto parsed = parseRenderOptions({"-o", "x.wav"});
    ASSERT_TRUE(parsed.options);
    EXPECT_EQ(parsed.options->root, ".");
    EXPECT_EQ(parsed.options->seconds, 60.0);
    EXPECT_EQ(parsed.options->sampleRate, 48000);
    EXPECT_EQ(parsed.options->channels, 2);

    parsed = parseRenderOptions({"--root", "r", "--adventure", "a.xml", "--keys", "1:x", "--seconds", "2.5", "--rate",
                                 "44100", "--channels", "6", "--trace", "t", "--screens", "s", "-o", "o.wav"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->seconds, 2.5);
    EXPECT_EQ(parsed.options->channels, 6);
    EXPECT_EQ(parsed.options->keys.size(), 1u);
}

TEST(RenderOptions, BadArgumentsGiveOneLineMessages) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"-o"}, {"--bogus", "1", "-o", "x"}, {"--rate", "fast", "-o", "x"}, {"--channels", "3", "-o", "x"},
             {"--seconds", "-1", "-o", "x"}, {"--keys", "9:a,1:b", "-o", "x"}}) {
        auto parsed = parseRenderOptions(arguments);
        EXPECT_FALSE(parsed.options);
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
    EXPECT_TRUE(parseRenderOptions({"--help"}).options->help);
}
