// The renderer's command line and key scripts.
#include "RenderOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

TEST(KeyScript, MalformedScriptsAreRefusedWithOneLineReasons) {
    const std::string nul("5:\0", 3);
    for (const std::string& script : std::vector<std::string>{
             "10:a,5:b", "a", "10:", "10:ab", "x:a", "-5:a", "10:a,", ",", ":", "+5:a", " 5:a", "0x10:a",
             "2000000001:a", "99999999999999999999999:a", nul, "5:\xe0KK", "5:\xc3", "5:\xbf", "5:\xff",
             "1:a,\n2:b\t", "1:\x1b[2J\n", std::string(2'000'000, ',')}) {
        std::string error;
        EXPECT_FALSE(parseKeyScript(script, error)) << script.substr(0, 40);
        EXPECT_FALSE(error.empty());
        // One short line with nothing a terminal would act on.
        EXPECT_LT(error.size(), 200u);
        EXPECT_TRUE(std::none_of(error.begin(), error.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            << error;
    }
    std::string error;
    EXPECT_TRUE(parseKeyScript("2000000000:\x7f,2000000000:\xf0\x9f\x8e\xb2", error)) << error;
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
    EXPECT_FALSE(parsed.options->seed);

    parsed = parseRenderOptions({"--seed", "4294967295", "-o", "o.wav"});
    ASSERT_TRUE(parsed.options && parsed.options->seed) << parsed.error;
    EXPECT_EQ(parsed.options->seed->value, 4294967295u);
    parsed = parseRenderOptions({"--seed", "random", "-o", "o.wav"});
    ASSERT_TRUE(parsed.options && parsed.options->seed) << parsed.error;
    EXPECT_FALSE(parsed.options->seed->value);
}

TEST(RenderOptions, BadArgumentsGiveOneLineMessages) {
    const std::string nul("x.wav\0.txt", 10);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"-o"}, {"--bogus", "1", "-o", "x"}, {"--rate", "fast", "-o", "x"}, {"--channels", "3", "-o", "x"},
             {"--seconds", "-1", "-o", "x"}, {"--keys", "9:a,1:b", "-o", "x"}, {"--seconds", "nan", "-o", "x"},
             {"--seconds", "inf", "-o", "x"}, {"--seconds", "1e999", "-o", "x"}, {"--seconds", "0x10", "-o", "x"},
             {"--seconds", " 5", "-o", "x"}, {"--seconds", "2000001", "-o", "x"}, {"--rate", "9223372036854775808", "-o", "x"},
             {"--rate", "+8000", "-o", "x"}, {"--channels", "", "-o", "x"}, {"-o", ""}, {"-o", "x", "--trace", ""},
             {"--root", "", "-o", "x"}, {"-o", nul}, {"-o", "x", "--adventure", std::string("a\0b", 3)},
             {"-o", "x.mp3"}, {"-o", "x.wav\n"}, {"--\x1b[2J", "-o", "x"}, {"--rate", std::string(100000, '9'), "-o", "x"},
             {"--seed", "4294967296", "-o", "x"}, {"--seed", "-1", "-o", "x"}, {"--seed", "Random", "-o", "x"},
             {"--seed", "", "-o", "x"}, {"--seed", "12 ", "-o", "x"}}) {
        auto parsed = parseRenderOptions(arguments);
        EXPECT_FALSE(parsed.options) << (arguments.size() > 1 ? arguments[1] : "");
        EXPECT_FALSE(parsed.error.empty());
        EXPECT_LT(parsed.error.size(), 300u);
        EXPECT_TRUE(std::none_of(parsed.error.begin(), parsed.error.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
            << parsed.error;
    }
    EXPECT_TRUE(parseRenderOptions({"--help"}).options->help);
    // Formats by extension, in any case; no extension (a device) is WAV.
    for (const char* output : {"a.wav", "b.FLAC", "c.ogg", "/dev/null"}) EXPECT_TRUE(parseRenderOptions({"-o", output}).options) << output;
}
