// Rendering the audio of virtual time as the main loop's wait.
#include "RenderingWait.h"

#include "audio/System.h"
#include "platform/ScriptedConsole.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace testsupport {

namespace {

constexpr std::int64_t chunkFrames = 4096;

}  // namespace

RenderingWait::RenderingWait(platform::VirtualClock& clock, audio::System& system, std::int32_t startMs, Sink sink,
                             std::int32_t blockMs, const platform::ScriptedConsole* keys)
    : clock_(clock), system_(system), keys_(keys), startMs_(startMs), sink_(std::move(sink)),
      blockMs_(std::max(1, blockMs)),
      buffer_(static_cast<std::size_t>(system.outputChannels() * chunkFrames)) {}

void RenderingWait::waitUntil(std::int32_t untilMs) {
    ++waits_;
    std::int32_t target = untilMs;
    if (keys_ != nullptr) {
        if (const std::optional<std::int32_t> key = keys_->nextKeyAt(); key && platform::msBetween(*key, target) < 0) {
            target = *key;
        }
    }
    if (platform::msBetween(target, clock_.nowMs()) > 0) clock_.set(target);
    catchUp();
}

void RenderingWait::catchUp() {
    const std::int64_t elapsedMs = platform::msBetween(clock_.nowMs(), startMs_);
    const std::int64_t targetFrames = elapsedMs / blockMs_ * blockMs_ * system_.sampleRate() / 1000;
    while (renderedFrames_ < targetFrames) {
        const auto frames = static_cast<std::size_t>(std::min(targetFrames - renderedFrames_, chunkFrames));
        system_.renderOffline(buffer_.data(), frames);
        if (sink_) sink_(buffer_.data(), frames);
        renderedFrames_ += static_cast<std::int64_t>(frames);
    }
}

std::int64_t RenderingWait::takeWaits() { return std::exchange(waits_, 0); }

}  // namespace testsupport
