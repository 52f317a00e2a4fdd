// How the program's milliseconds map onto the engine's output frames.
#pragma once

#include <cstdint>

namespace gloam {

/// Program time and audio time are one time. A millisecond of the program
/// clock and an output frame of the engine are tied by an anchor, a pair
/// (anchorMs, anchorFrame) that names the same instant:
///
///     frameAt(ms) = anchorFrame + ceil((ms - anchorMs) * rate / 1000)
///     msAt(frame) = anchorMs + floor((frame - anchorFrame) * 1000 / rate)
///
/// so frameAt(ms) is the first frame at or after the start of that
/// millisecond, msAt(frame) the millisecond the frame falls in, and
/// msAt(frameAt(ms)) == ms for every rate of 1000 Hz or more. Everything here
/// is 64-bit: the program clock's 32-bit values wrap after about 24.8 days,
/// and a 32-bit time is read as the one nearest to the present (see
/// Runtime::unwrap), so any time within ±24.8 days of now converts correctly
/// across the wrap. Offline the anchor never moves; the live clock moves it
/// only when the output stalled, so that time never runs backwards (see
/// AudioClock).
class Timebase {
public:
    Timebase(int sampleRate, std::int64_t anchorMs, std::int64_t anchorFrame)
        : sampleRate_(sampleRate > 0 ? sampleRate : 48000), anchorMs_(anchorMs), anchorFrame_(anchorFrame) {}

    std::int64_t frameAt(std::int64_t ms) const {
        const std::int64_t scaled = (ms - anchorMs_) * sampleRate_;
        return anchorFrame_ + ceilDiv(scaled, 1000);
    }
    std::int64_t msAt(std::int64_t frame) const {
        return anchorMs_ + floorDiv((frame - anchorFrame_) * 1000, sampleRate_);
    }
    /// Frames in `ms` milliseconds, rounded to the nearest frame: how a delay
    /// measured from an exact frame becomes frames.
    std::int64_t framesIn(std::int64_t ms) const { return floorDiv(ms * sampleRate_ * 2 + 1000, 2000); }

    /// From now on `ms` and `frame` name the same instant.
    void reanchor(std::int64_t ms, std::int64_t frame) {
        anchorMs_ = ms;
        anchorFrame_ = frame;
    }
    int sampleRate() const { return sampleRate_; }

private:
    static std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
        const std::int64_t q = a / b;
        return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
    }
    static std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return -floorDiv(-a, b); }

    int sampleRate_;
    std::int64_t anchorMs_;
    std::int64_t anchorFrame_;
};

}  // namespace gloam
