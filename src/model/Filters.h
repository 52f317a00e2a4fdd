// Effect filters declared by "filter" child elements.
#pragma once

#include <memory>
#include <vector>

namespace audio {
class Dsp;
class System;
}  // namespace audio

namespace tinyxml2 {
class XMLElement;
}

namespace gloam {

class Diagnostics;

/// Appends one effect per usable "filter" child of `element` to `filters`, in
/// document order, up to the audio::kMaxDspsPerGroup a group can run (later
/// ones are ignored). The plug-in is found by its "name" attribute; the
/// attributes after the first give the parameters in order, clamped to each
/// parameter's range. Unknown names, filters without "name" and filters
/// whose plug-in crashed or hung when it was tried with these values
/// (audio::System::dspRunsWith) are skipped and do not count. `diagnostics`, when given, is told what became of each
/// filter.
void readFilters(audio::System& system, const tinyxml2::XMLElement& element,
                 std::vector<std::unique_ptr<audio::Dsp>>& filters, Diagnostics* diagnostics = nullptr);

}  // namespace gloam
