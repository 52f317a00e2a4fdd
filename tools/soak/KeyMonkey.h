// A console whose keys come from a seeded random generator.
#pragma once

#include "platform/Clock.h"
#include "platform/Console.h"

#include <cstdint>
#include <deque>
#include <random>
#include <string>

namespace gloam {
class Adventure;
struct Runtime;
}  // namespace gloam

namespace gloam::soak {

/// Presses a key now and then, at random times (on average every
/// `meanGapMs`), chosen from what the player offers at that moment: an
/// element key of the current scene, a scene key, cursor left or right,
/// Space, or a reload of `adventurePath` through the '!' menu. Never Escape.
/// The screen is thrown away, so a long run keeps no history. Main thread only.
class KeyMonkey final : public platform::Console {
public:
    /// `meanGapMs` 0 presses nothing. All references must outlive the console.
    KeyMonkey(const platform::Clock& clock, const Runtime& runtime, const Adventure& adventure,
              std::string adventurePath, std::uint32_t seed, double meanGapMs);

    bool keyWaiting() override;
    /// Inside the '!' menu the keys of the reload follow at once; a read
    /// with nothing planned (a menu waiting after a message) gives Escape.
    int readKey() override;
    void clearScreen() override {}
    void print(std::string_view) override {}

    /// Keys (one per action) chosen so far.
    std::int64_t keysPressed() const { return keysPressed_; }
    /// Reloads chosen so far; each is done within the pass that chose it.
    std::int64_t reloads() const { return reloads_; }

private:
    void planNextTime();
    /// Queues the codes of one action chosen at random.
    void chooseAction();
    void queueReload();

    const platform::Clock& clock_;
    const Runtime& runtime_;
    const Adventure& adventure_;
    std::string adventurePath_;
    std::mt19937 random_;
    double meanGapMs_;
    std::int64_t nextMs_ = 0;  ///< runs are kept short enough for the clock not to wrap
    std::deque<int> pending_;
    std::int64_t keysPressed_ = 0;
    std::int64_t reloads_ = 0;
};

}  // namespace gloam::soak
