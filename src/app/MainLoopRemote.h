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
    /// Notes whether a keyboard key waits at this look.
    void noteKeyboard(bool keyWaiting) {
        if (!keyWaiting) {
            keyboardSince.reset();
            lastEmptyLook = std::chrono::steady_clock::now();
        } else if (!keyboardSince) {
            keyboardSince = lastEmptyLook;
        }
    }

    /// When the loop last found no keyboard key waiting.
    std::chrono::steady_clock::time_point lastEmptyLook = std::chrono::steady_clock::now();
    /// Since when the keyboard keys now waiting may have been there: the
    /// last look that found none. So when the loop cannot tell which came
    /// first (both arrived while it was busy or stopped), the keyboard's goes
    /// first.
    std::optional<std::chrono::steady_clock::time_point> keyboardSince;
    /// Commands applied in this pass, answered once its state is published.
    std::vector<std::pair<std::uint64_t, remote::CommandOutcome>> applied;
};

}  // namespace gloam
