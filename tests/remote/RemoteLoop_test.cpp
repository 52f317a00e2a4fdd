// The main loop with the remote control's queue: the order of its inputs.
#include "PlaybackWorld.h"
#include "app/MainLoop.h"
#include "remote/CommandQueue.h"
#include "remote/StateBoard.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;

TEST(RemoteLoop, AKeyboardKeyThatWaitedBeforeARemoteKeyActsFirstAndTheAnswerShowsBoth) {
    testsupport::PlaybackWorld world;
    world.load(R"(<a><scene name="A" key="a"/><scene name="B" key="b"/><scene name="C" key="c"/></a>)");
    // 'b' comes 10 ms into the run, while the loop waits between passes.
    platform::ScriptedConsole console({{world.now() + 10, 'b'}}, world.clock);
    platform::VirtualIdleWait idle(world.clock, &console);
    gloam::MainLoop loop(console, idle, world.runtime, world.adventure);
    remote::CommandQueue commands;
    remote::StateBoard board;
    loop.connectRemote(commands, board, {});

    ASSERT_TRUE(loop.runPass());  // ends having found 'b' waiting
    ASSERT_TRUE(console.keyWaiting());
    remote::Command right;
    right.codes = {224, 'M'};
    const std::optional<std::uint64_t> ticket = commands.push(right);
    ASSERT_TRUE(ticket);
    // Both wait now; the keyboard's came first: 'b' to B, then right to C.
    ASSERT_TRUE(loop.runPass());
    ASSERT_TRUE(loop.runPass());
    EXPECT_EQ(world.adventure.currentScene, 2u);
    const std::optional<remote::CommandOutcome> outcome = commands.await(*ticket, 0ms);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->status, 200);
    ASSERT_EQ(outcome->state->scenes.size(), 3u);
    EXPECT_TRUE(outcome->state->scenes[2].current);
    EXPECT_EQ(board.current(), outcome->state) << "answered with what was published";

    // A command alone is applied in the next pass, through the same keys.
    remote::Command left;
    left.codes = {224, 'K'};
    const std::optional<std::uint64_t> second = commands.push(left);
    ASSERT_TRUE(loop.runPass());
    EXPECT_EQ(world.adventure.currentScene, 1u);
    EXPECT_TRUE(commands.await(*second, 0ms)->state->scenes[1].current);
}

}  // namespace
