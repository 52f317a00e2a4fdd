// Rendering the audio of virtual time as the main loop's wait.
#include "RenderingWait.h"

#include "audio/System.h"

#include <algorithm>
#include <utility>

namespace testsupport {

namespace {

constexpr std::int64_t chunkFrames = 4096;

}  // namespace

RenderingWait::RenderingWait(platform::VirtualClock& clock, audio::System& system, std::int32_t startMs, Sink sink,
                             std::int32_t blockMs)
    : clock_(clock), system_(system), startMs_(startMs), sink_(std::move(sink)), blockMs_(std::max(1, blockMs)),
      buffer_(static_cast<std::size_t>(system.outputChannels() * chunkFrames)) {}

void RenderingWait::advance(std::int32_t ms) {
    clock_.advance(ms);
    catchUp();
}

void RenderingWait::catchUp() {
    const std::int64_t elapsedMs = static_cast<std::int64_t>(clock_.nowMs()) - startMs_;
    const std::int64_t targetFrames = elapsedMs / blockMs_ * blockMs_ * system_.sampleRate() / 1000;
    while (renderedFrames_ < targetFrames) {
        const auto frames = static_cast<std::size_t>(std::min(targetFrames - renderedFrames_, chunkFrames));
        system_.renderOffline(buffer_.data(), frames);
        if (sink_) sink_(buffer_.data(), frames);
        renderedFrames_ += static_cast<std::int64_t>(frames);
    }
}

std::int64_t RenderingWait::takeBusyPasses() { return std::exchange(busyPasses_, 0); }

}  // namespace testsupport
