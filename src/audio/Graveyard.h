// Objects the mixer may still point at, kept until it has moved past them.
#pragma once

#include "audio/PluginHost.h"
#include "audio/Sound.h"

#include <cstdint>
#include <deque>
#include <memory>

namespace audio {

/// Main thread only. Readers, processors and sounds let go by the object
/// model are parked here with the number of commands posted at that moment
/// and the output frame until which the mixer may still use them (a voice
/// stopped at a later frame keeps reading until then); they are destroyed (on
/// the main thread, in the order they arrived) once the mixer has taken that
/// many commands and mixed that frame, since from then on nothing it holds can
/// reach them. Keeping the order means a sound always outlives its readers.
class Graveyard {
public:
    void bury(std::uint64_t commandsPosted, std::int64_t usedUntilFrame, std::unique_ptr<SoundReader> reader) {
        entries_.push_back({commandsPosted, usedUntilFrame, std::move(reader), nullptr, nullptr});
    }
    void bury(std::uint64_t commandsPosted, std::unique_ptr<DspProcessor> processor) {
        entries_.push_back({commandsPosted, 0, nullptr, std::move(processor), nullptr});
    }
    void bury(std::uint64_t commandsPosted, std::int64_t usedUntilFrame, std::unique_ptr<Sound> sound) {
        entries_.push_back({commandsPosted, usedUntilFrame, nullptr, nullptr, std::move(sound)});
    }

    /// Destroys what the mixer can no longer reach.
    void collect(std::uint64_t commandsTaken, std::int64_t framesMixed) {
        while (!entries_.empty() && entries_.front().commandsPosted <= commandsTaken &&
               entries_.front().usedUntilFrame <= framesMixed) {
            entries_.pop_front();
        }
    }
    /// Destroys everything; only once nothing mixes any more.
    void clear() {
        while (!entries_.empty()) entries_.pop_front();
    }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        std::uint64_t commandsPosted;
        std::int64_t usedUntilFrame;
        std::unique_ptr<SoundReader> reader;
        std::unique_ptr<DspProcessor> processor;
        std::unique_ptr<Sound> sound;
    };
    std::deque<Entry> entries_;
};

}  // namespace audio
