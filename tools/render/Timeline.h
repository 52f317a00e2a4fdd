// The renderer's timeline: every state change and every key, with its time.
#pragma once

#include "ElementPaths.h"
#include "model/Runtime.h"

#include <cstdint>
#include <string>

namespace gloam {
class Adventure;
}

namespace gloam::render {

class OutputFile;

/// Writes tab-separated lines: "MS state PATH NAME STATE" for each state
/// change, where PATH is the scene's index and the child indices down to the
/// element joined by '/', "MS fade-out PATH NAME LENGTH_MS" when a running
/// element begins to fade out because it was stopped (its key, or Space),
/// and "MS key CODE" for each key read. The name comes from the adventure
/// file and is escaped (see escapeControls), so each line is exactly one
/// event with exactly its fields.
class Timeline final : public StateObserver {
public:
    /// Lines carry the program time of each change: the moment it belongs
    /// to, exact to the millisecond, even when the loop handled it ahead;
    /// a key's line, the moment it takes effect.
    Timeline(OutputFile& out, const Adventure& adventure) : out_(out), paths_(adventure) {}

    void stateChanged(const Playable& element, State state, const Moment& at) override;
    void fadeOutStarted(const Playable& element, std::int32_t lengthMs, const Moment& at) override;
    void keyRead(int code, const Moment& at);

    /// The element's path, e.g. "0/2/1".
    std::string pathOf(const Playable& element) const { return paths_.pathOf(element); }

private:
    OutputFile& out_;
    ElementPaths paths_;
};

}  // namespace gloam::render
