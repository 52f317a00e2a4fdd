// Timeline lines and element paths.
#include "Timeline.h"

#include "OutputFile.h"
#include "TextEscape.h"

#include "playback/Playable.h"

namespace gloam::render {

void Timeline::stateChanged(const Playable& element, State state) {
    out_.write(std::to_string(runtime_.now()) + "\tstate\t" + pathOf(element) + '\t' + escapeControls(element.name) +
               '\t' + stateName(state) + '\n');
}

void Timeline::fadeOutStarted(const Playable& element, std::int32_t lengthMs) {
    out_.write(std::to_string(runtime_.now()) + "\tfade-out\t" + pathOf(element) + '\t' + escapeControls(element.name) +
               '\t' + std::to_string(lengthMs) + '\n');
}

void Timeline::keyRead(int code) { out_.write(std::to_string(runtime_.now()) + "\tkey\t" + std::to_string(code) + '\n'); }

}  // namespace gloam::render
