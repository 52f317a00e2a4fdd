// Timeline lines and element paths.
#include "Timeline.h"

#include "OutputFile.h"
#include "TextEscape.h"

#include "playback/Playable.h"

namespace gloam::render {

void Timeline::stateChanged(const Playable& element, State state, const Moment& at) {
    out_.write(std::to_string(at.ms) + "\tstate\t" + pathOf(element) + '\t' + escapeControls(element.name) + '\t' +
               stateName(state) + '\n');
}

void Timeline::fadeOutStarted(const Playable& element, std::int32_t lengthMs, const Moment& at) {
    out_.write(std::to_string(at.ms) + "\tfade-out\t" + pathOf(element) + '\t' + escapeControls(element.name) + '\t' +
               std::to_string(lengthMs) + '\n');
}

void Timeline::keyRead(int code, const Moment& at) {
    out_.write(std::to_string(at.ms) + "\tkey\t" + std::to_string(code) + '\n');
}

}  // namespace gloam::render
