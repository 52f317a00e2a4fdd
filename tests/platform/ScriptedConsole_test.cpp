#include "platform/ScriptedConsole.h"

#include <gtest/gtest.h>

namespace {

using platform::ScriptedConsole;
using platform::VirtualClock;

TEST(ScriptedConsole, AKeyIsWaitingOnlyOnceItsTimeHasCome) {
    VirtualClock clock(0);
    ScriptedConsole console({{100, 'a'}, {100, 'b'}, {250, 'c'}}, clock);
    EXPECT_FALSE(console.keyWaiting());
    clock.set(99);
    EXPECT_FALSE(console.keyWaiting());
    clock.set(100);
    ASSERT_TRUE(console.keyWaiting());
    EXPECT_EQ(console.readKey(), 'a');
    ASSERT_TRUE(console.keyWaiting());
    EXPECT_EQ(console.readKey(), 'b');
    EXPECT_FALSE(console.keyWaiting());
    clock.set(400);
    EXPECT_TRUE(console.keyWaiting());
    EXPECT_EQ(console.readKey(), 'c');
    EXPECT_EQ(clock.nowMs(), 400) << "a late read leaves the clock alone";
}

TEST(ScriptedConsole, ABlockingReadMovesTheClockToTheKeysTime) {
    VirtualClock clock(10);
    ScriptedConsole console({{500, 224}, {700, 'P'}}, clock);
    EXPECT_EQ(console.readKey(), 224);
    EXPECT_EQ(clock.nowMs(), 500);
    EXPECT_EQ(console.readKey(), 'P');
    EXPECT_EQ(clock.nowMs(), 700);
}

TEST(ScriptedConsole, AnExhaustedScriptReadsEscapeAndHasNothingWaiting) {
    VirtualClock clock(0);
    ScriptedConsole console({{0, 'x'}}, clock);
    EXPECT_EQ(console.keysLeft(), 1u);
    EXPECT_EQ(console.readKey(), 'x');
    EXPECT_EQ(console.keysLeft(), 0u);
    EXPECT_FALSE(console.keyWaiting());
    EXPECT_EQ(console.readKey(), 27);
    EXPECT_EQ(console.readKey(), 27);
    EXPECT_EQ(clock.nowMs(), 0);
}

TEST(ScriptedConsole, CodesAreTheLowEightBits) {
    VirtualClock clock(0);
    ScriptedConsole console({{0, 0x1e0}, {0, -1}}, clock);
    EXPECT_EQ(console.readKey(), 224);
    EXPECT_EQ(console.readKey(), 255);
}

TEST(ScriptedConsole, TheScreenHoldsWhatWasPrintedSinceTheLastClear) {
    VirtualClock clock(0);
    ScriptedConsole console({}, clock);
    console.print("one\n");
    console.print("two");
    EXPECT_EQ(console.screen(), "one\ntwo");
    console.clearScreen();
    EXPECT_EQ(console.screen(), "");
    console.print("three");
    EXPECT_EQ(console.screen(), "three");
    EXPECT_EQ(console.transcript(), "one\ntwo\fthree");
    EXPECT_EQ(console.clearCount(), 1);
    EXPECT_EQ(console.printCount(), 3);
}

TEST(ScriptedConsole, ADiscardingConsoleHoldsOnlyTheCurrentScreen) {
    VirtualClock clock(0);
    ScriptedConsole console({}, clock, platform::Transcript::Discard);
    for (int screen = 0; screen < 1000; ++screen) {
        console.clearScreen();
        console.print("screen " + std::to_string(screen));
    }
    EXPECT_EQ(console.screen(), "screen 999");
    EXPECT_EQ(console.transcript(), "");
    EXPECT_EQ(console.clearCount(), 1000);
}

}  // namespace
