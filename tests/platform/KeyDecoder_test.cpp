#include "platform/KeyDecoder.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using platform::KeyDecoder;

constexpr int unmapped = platform::keys::unmapped;

// Feeds `bytes`, then (when `pause`) the silence after them, and returns
// every code produced.
std::vector<int> decode(KeyDecoder& decoder, std::string_view bytes, bool pause = true) {
    for (char byte : bytes) decoder.feed(static_cast<unsigned char>(byte));
    if (pause) decoder.flush();
    std::vector<int> keys;
    while (decoder.hasKey()) keys.push_back(decoder.takeKey());
    return keys;
}

std::vector<int> decode(std::string_view bytes) {
    KeyDecoder decoder;
    return decode(decoder, bytes);
}

TEST(KeyDecoder, CursorKeysBecomePrefixAndDirectionInBothForms) {
    EXPECT_EQ(decode("\x1b[A"), (std::vector<int>{224, 'H'}));
    EXPECT_EQ(decode("\x1b[B"), (std::vector<int>{224, 'P'}));
    EXPECT_EQ(decode("\x1b[C"), (std::vector<int>{224, 'M'}));
    EXPECT_EQ(decode("\x1b[D"), (std::vector<int>{224, 'K'}));
    EXPECT_EQ(decode("\x1bOA"), (std::vector<int>{224, 'H'}));
    EXPECT_EQ(decode("\x1bOB"), (std::vector<int>{224, 'P'}));
    EXPECT_EQ(decode("\x1bOC"), (std::vector<int>{224, 'M'}));
    EXPECT_EQ(decode("\x1bOD"), (std::vector<int>{224, 'K'}));
    // An explicit "no modifier" parameter is still the plain key.
    EXPECT_EQ(decode("\x1b[1D"), (std::vector<int>{224, 'K'}));
}

TEST(KeyDecoder, CursorKeysDecodeWithoutWaitingForSilence) {
    KeyDecoder decoder;
    EXPECT_EQ(decode(decoder, "\x1b[C", false), (std::vector<int>{224, 'M'}));
    EXPECT_FALSE(decoder.incomplete());
}

TEST(KeyDecoder, OtherSequencesAreSwallowedWholeAsOneUnmappedKey) {
    const std::vector<int> swallowed{224, unmapped};
    for (std::string_view sequence : {
             "\x1b[H", "\x1b[F", "\x1bOH", "\x1bOF",          // Home, End
             "\x1b[1~", "\x1b[4~", "\x1b[7~", "\x1b[8~",      // Home, End (rxvt, vt)
             "\x1b[2~", "\x1b[5~", "\x1b[6~",                // Insert, Page Up/Down
             "\x1bOP", "\x1bOQ", "\x1bOR", "\x1bOS",          // F1-F4
             "\x1b[15~", "\x1b[17~", "\x1b[24~",              // F5, F6, F12
             "\x1b[[A", "\x1b[[E",                            // Linux console F1, F5
             "\x1b[1;5C", "\x1b[1;2A", "\x1b[1;3D", "\x1b[1;5B",  // modified cursor keys
             "\x1b[3;5~", "\x1b[15;2~", "\x1bO5P", "\x1b[1;2P",   // modified Delete, F5, F1
             "\x1b[Z",                                        // Shift+Tab
         }) {
        EXPECT_EQ(decode(sequence), swallowed) << "sequence ESC" << sequence.substr(1);
    }
}

TEST(KeyDecoder, KeysAroundASequenceKeepTheirOrder) {
    EXPECT_EQ(decode("a\x1b[3~b\x1b[Dc\x1b[2~"), (std::vector<int>{'a', 224, 'S', 'b', 224, 'K', 'c', 224, unmapped}));
}

TEST(KeyDecoder, LoneEscapeWaitsForSilenceThenIsEscape) {
    KeyDecoder decoder;
    decoder.feed(0x1b);
    EXPECT_TRUE(decoder.incomplete());
    EXPECT_FALSE(decoder.hasKey());
    decoder.flush();
    EXPECT_FALSE(decoder.incomplete());
    ASSERT_TRUE(decoder.hasKey());
    EXPECT_EQ(decoder.takeKey(), 27);
    EXPECT_FALSE(decoder.hasKey());
}

TEST(KeyDecoder, EscapeFollowedByEscapeIsOneEscapeAndANewStart) {
    EXPECT_EQ(decode("\x1b\x1b"), (std::vector<int>{27, 27}));
    EXPECT_EQ(decode("\x1b\x1b[A"), (std::vector<int>{27, 224, 'H'}));
}

TEST(KeyDecoder, AltWithAKeyIsSwallowedAndDoesNotEndTheProgram) {
    EXPECT_EQ(decode("\x1b" "a"), (std::vector<int>{224, unmapped}));
    EXPECT_EQ(decode("\x1b!"), (std::vector<int>{224, unmapped}));
    // Alt+'[' and Alt+'O' look like unfinished sequences until the silence.
    EXPECT_EQ(decode("\x1b["), (std::vector<int>{224, unmapped}));
    EXPECT_EQ(decode("\x1bO"), (std::vector<int>{224, unmapped}));
}

TEST(KeyDecoder, ASequenceCutByAControlByteEndsAndTheByteCounts) {
    EXPECT_EQ(decode("\x1b[1\r"), (std::vector<int>{224, unmapped, 13}));
    EXPECT_EQ(decode("\x1b[\x1b[D"), (std::vector<int>{224, unmapped, 224, 'K'}));
}

TEST(KeyDecoder, CarriageReturnAndLineFeedAreEnterAndCrLfIsOneEnter) {
    EXPECT_EQ(decode("\r"), (std::vector<int>{13}));
    EXPECT_EQ(decode("\n"), (std::vector<int>{13}));
    EXPECT_EQ(decode("\r\n"), (std::vector<int>{13}));
    EXPECT_EQ(decode("\n\n"), (std::vector<int>{13, 13}));
    EXPECT_EQ(decode("\r\r"), (std::vector<int>{13, 13}));
    EXPECT_EQ(decode("\r\n\r\n"), (std::vector<int>{13, 13}));
    EXPECT_EQ(decode("\rx\n"), (std::vector<int>{13, 'x', 13}));
    EXPECT_EQ(decode("\n\r"), (std::vector<int>{13, 13}));
}

TEST(KeyDecoder, EveryOtherByteIsItsOwnCodeIncludingUtf8Bytes) {
    EXPECT_EQ(decode("a A ! 0"), (std::vector<int>{'a', ' ', 'A', ' ', '!', ' ', '0'}));
    // "é" and "€" in UTF-8.
    EXPECT_EQ(decode("\xc3\xa9\xe2\x82\xac"), (std::vector<int>{0xc3, 0xa9, 0xe2, 0x82, 0xac}));
    EXPECT_EQ(decode("\x03\x7f"), (std::vector<int>{3, 0x7f}));
}

TEST(KeyDecoder, PrefixBytesPairOnlyWithAPrintableByteThatFollowsAtOnce) {
    using namespace std::string_view_literals;
    // A special key spelled out by a script passes as it is.
    EXPECT_EQ(decode("\0K"sv), (std::vector<int>{0, 'K'}));
    EXPECT_EQ(decode("\xe0M"), (std::vector<int>{224, 'M'}));
    // Ctrl+Space (0) or a lone 224 is a whole key that does nothing: no
    // reader is left waiting for a second code.
    EXPECT_EQ(decode("\0"sv), (std::vector<int>{224, unmapped}));
    EXPECT_EQ(decode("\xe0"), (std::vector<int>{224, unmapped}));
    EXPECT_EQ(decode("\0\0"sv), (std::vector<int>{224, unmapped, 224, unmapped}));
    // Before Enter or a cursor key it stays a key of its own.
    EXPECT_EQ(decode("\0\r"sv), (std::vector<int>{224, unmapped, 13}));
    EXPECT_EQ(decode("\0\x1b[D"sv), (std::vector<int>{224, unmapped, 224, 'K'}));

    // Until the silence after it, a lone prefix byte may still be the start.
    KeyDecoder decoder;
    decoder.feed(0);
    EXPECT_TRUE(decoder.incomplete());
    EXPECT_FALSE(decoder.hasKey());
    EXPECT_EQ(decode(decoder, "a", false), (std::vector<int>{0, 'a'}));
}

TEST(KeyDecoder, ASequenceSplitAcrossReadsDecodesTheSame) {
    KeyDecoder decoder;
    EXPECT_TRUE(decode(decoder, "\x1b", false).empty());
    EXPECT_TRUE(decoder.incomplete());
    EXPECT_TRUE(decode(decoder, "[1;", false).empty());
    EXPECT_TRUE(decoder.incomplete());
    EXPECT_EQ(decode(decoder, "5Cx", false), (std::vector<int>{224, unmapped, 'x'}));

    KeyDecoder other;
    EXPECT_TRUE(decode(other, "\x1bO", false).empty());
    EXPECT_EQ(decode(other, "D", false), (std::vector<int>{224, 'K'}));
    EXPECT_TRUE(decode(other, "\r", false) == std::vector<int>{13});
    EXPECT_TRUE(decode(other, "\n", false).empty());
}

TEST(KeyDecoder, LongParameterListsAreStillSwallowedWhole) {
    std::string sequence = "\x1b[" + std::string(200, '9') + "~z";
    EXPECT_EQ(decode(sequence), (std::vector<int>{224, unmapped, 'z'}));
}

TEST(KeyDecoder, TakingFromAnEmptyQueueGivesMinusOne) {
    KeyDecoder decoder;
    EXPECT_EQ(decoder.takeKey(), -1);
    decoder.flush();
    EXPECT_FALSE(decoder.hasKey());
}

}  // namespace
