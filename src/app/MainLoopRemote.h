// What the main loop keeps for the remote control.
#pragma once

#include "app/MainLoop.h"
#include "app/StatusScreen.h"
#include "remote/Command.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gloam {

/// The remote control's side of the loop. Main thread only.
struct MainLoop::RemoteSide {
    RemoteSide(remote::CommandQueue& queue, remote::StateBoard& stateBoard, std::vector<std::string> help)
        : commands(queue), board(stateBoard), helpLines(std::move(help)) {}

    remote::CommandQueue& commands;
    remote::StateBoard& board;
    std::vector<std::string> helpLines;
    /// Names as the remote control shows them, made once per adventure.
    DisplayNames names;
    /// What was published last; null before the first pass.
    std::shared_ptr<const remote::StateSnapshot> published;
    /// When the keyboard key now waiting was first seen.
    std::optional<std::chrono::steady_clock::time_point> keyboardSeen;
    /// Commands applied in this pass, answered once its state is published.
    std::vector<std::pair<std::uint64_t, remote::CommandOutcome>> applied;
};

}  // namespace gloam
