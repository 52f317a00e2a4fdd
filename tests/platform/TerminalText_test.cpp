#include "platform/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::characterBoundary;
using platform::visibleText;

TEST(TerminalText, ControlCharactersAndBrokenUtf8BecomePlaceholdersAndTheRestStays) {
    EXPECT_EQ(visibleText("Forest at dusk (1) ~!"), "Forest at dusk (1) ~!");
    EXPECT_EQ(visibleText("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb2"), "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb2");
    // C0 controls, DEL, and an OSC 52 that would write the clipboard.
    EXPECT_EQ(visibleText(std::string("a\0b\tc\nd\x7f", 8)), "a?b?c?d?");
    EXPECT_EQ(visibleText("\x1b]52;c;cHduZWQ=\x07"), "?]52;c;cHduZWQ=?");
    // C1 controls: U+009B written as UTF-8, and a bare 8-bit CSI byte.
    EXPECT_EQ(visibleText("x\xc2\x9b" "2J"), "x?2J");
    EXPECT_EQ(visibleText("x\x9b" "2J"), "x?2J");
    // U+00A0 just past the C1 range is a character.
    EXPECT_EQ(visibleText("\xc2\xa0"), "\xc2\xa0");
    // Bytes that are not well-formed UTF-8: Latin-1, overlong forms, a
    // surrogate, past U+10FFFF, a character cut short.
    EXPECT_EQ(visibleText("caf\xe9"), "caf?");
    EXPECT_EQ(visibleText("\xc0\x9b"), "??");
    EXPECT_EQ(visibleText("\xe0\x82\x9b"), "???");
    EXPECT_EQ(visibleText("\xed\xa0\x80"), "???");
    EXPECT_EQ(visibleText("\xf4\x90\x80\x80"), "????");
    EXPECT_EQ(visibleText("ab\xe2\x82"), "ab??");
}

TEST(TerminalText, TheLimitCutsBeforeACharacterThatWouldNotFit) {
    const std::string euros = "a\xe2\x82\xac\xe2\x82\xac";
    EXPECT_EQ(visibleText(euros, 7), euros);
    EXPECT_EQ(visibleText(euros, 6), "a\xe2\x82\xac");
    EXPECT_EQ(visibleText(euros, 3), "a");
    EXPECT_EQ(visibleText("\x1b\x1b\x1b", 2), "??");
    EXPECT_EQ(visibleText(std::string(1 << 20, 'n'), 511), std::string(511, 'n'));

    EXPECT_EQ(characterBoundary(euros, 100), euros.size());
    EXPECT_EQ(characterBoundary(euros, 5), 4u);
    EXPECT_EQ(characterBoundary(euros, 4), 4u);
    EXPECT_EQ(characterBoundary(euros, 2), 1u);
}

}  // namespace
