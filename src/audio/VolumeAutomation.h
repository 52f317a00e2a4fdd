// A gain that follows scheduled straight-line changes, frame by frame.
#pragma once

#include "audio/MixTypes.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace audio {

/// The volume of one group over output frames. Changes are segments: from
/// frame `start` the gain moves in a straight line from whatever it is then
/// to `target`, reached at frame `end` and kept (a step when end <= start).
/// Segments wait in order of their start; each takes over from the one before
/// when its start comes. Each frame's gain is computed from its distance to
/// the ramp's start, so a ramp lands on its target exactly at its end frame
/// however the frames are walked. A plain value type, no allocation: the
/// mixer keeps one per group, and the main thread keeps a copy to read what
/// a group sounds like now.
class VolumeAutomation {
public:
    struct Segment {
        std::int64_t start = 0;
        std::int64_t end = 0;
        float target = 1.0f;
    };

    /// The gain from now on; scheduled changes are dropped.
    void set(float gain) noexcept {
        gain_ = gain;
        ramping_ = false;
        numWaiting_ = 0;
    }
    /// The gain from now on; scheduled changes still come.
    void jumpTo(float gain) noexcept {
        gain_ = gain;
        ramping_ = false;
    }
    /// Adds a change, in order of its start; when full, the one that would
    /// start last is dropped.
    void schedule(const Segment& segment) noexcept {
        int at = numWaiting_;
        while (at > 0 && waiting_[static_cast<std::size_t>(at - 1)].start > segment.start) --at;
        if (numWaiting_ == kMaxVolumeSegments) {
            if (at == kMaxVolumeSegments) return;
            --numWaiting_;
        }
        for (int i = numWaiting_; i > at; --i) waiting_[static_cast<std::size_t>(i)] = waiting_[static_cast<std::size_t>(i - 1)];
        waiting_[static_cast<std::size_t>(at)] = segment;
        ++numWaiting_;
    }
    /// Withdraws the changes that would start at or after `frame`; one
    /// already under way goes on.
    void cancelFrom(std::int64_t frame) noexcept {
        int kept = 0;
        for (int i = 0; i < numWaiting_; ++i) {
            if (waiting_[static_cast<std::size_t>(i)].start < frame) waiting_[static_cast<std::size_t>(kept++)] = waiting_[static_cast<std::size_t>(i)];
        }
        numWaiting_ = kept;
    }

    /// The gain at the frame the automation has reached.
    float gain() const noexcept { return gain_; }
    /// True when nothing changes from `from` until before `to`.
    bool steadyUntil(std::int64_t to) const noexcept {
        return !ramping_ && (numWaiting_ == 0 || waiting_[0].start >= to);
    }

    /// Walks frames [from, to). When `gains` is not null, writes each frame's
    /// gain there (gains[0] for `from`). A change whose start was missed
    /// begins at `from`, from the gain of that moment.
    void advance(std::int64_t from, std::int64_t to, float* gains) noexcept {
        std::int64_t frame = from;
        while (frame < to) {
            while (numWaiting_ > 0 && waiting_[0].start <= frame) {
                begin(waiting_[0], frame);
                std::copy(waiting_.begin() + 1, waiting_.begin() + numWaiting_, waiting_.begin());
                --numWaiting_;
            }
            const std::int64_t runEnd = numWaiting_ > 0 ? std::min(to, waiting_[0].start) : to;
            if (ramping_) {
                const std::int64_t rampRunEnd = std::min(runEnd, rampEnd_);
                if (gains != nullptr) {
                    for (std::int64_t f = frame; f < rampRunEnd; ++f) gains[f - from] = rampValue(f);
                }
                frame = rampRunEnd;
                if (frame >= rampEnd_) {
                    ramping_ = false;
                    gain_ = rampTo_;
                } else {
                    gain_ = rampValue(frame);
                }
            } else {
                if (gains != nullptr) std::fill(gains + (frame - from), gains + (runEnd - from), gain_);
                frame = runEnd;
            }
        }
    }

private:
    void begin(const Segment& segment, std::int64_t frame) noexcept {
        const std::int64_t start = std::max(segment.start, frame);
        if (segment.end <= start) {
            ramping_ = false;
            gain_ = segment.target;
            return;
        }
        ramping_ = true;
        rampStart_ = start;
        rampEnd_ = segment.end;
        rampFrom_ = gain_;
        rampTo_ = segment.target;
    }
    float rampValue(std::int64_t frame) const noexcept {
        const double span = static_cast<double>(rampEnd_ - rampStart_);
        return static_cast<float>(rampFrom_ + (static_cast<double>(rampTo_) - rampFrom_) *
                                                  static_cast<double>(frame - rampStart_) / span);
    }

    float gain_ = 1.0f;
    bool ramping_ = false;
    std::int64_t rampStart_ = 0;
    std::int64_t rampEnd_ = 0;
    float rampFrom_ = 1.0f;
    float rampTo_ = 1.0f;
    int numWaiting_ = 0;
    std::array<Segment, kMaxVolumeSegments> waiting_{};
};

}  // namespace audio
