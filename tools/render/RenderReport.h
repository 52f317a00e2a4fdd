// What a finished render tells its user: length, level, clipping, files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gloam::render {

/// What runRender reports of a render that succeeded.
struct RenderReport {
    std::int32_t renderedMs = 0;       ///< the length rendered (Escape may end it early)
    double peak = 0.0;                 ///< the largest sample magnitude; 1 is full scale
    std::uint64_t clippedSamples = 0;  ///< samples beyond full scale
    std::vector<std::string> outputs;  ///< the files written, as the command line named them
};

/// A time as a clock shows it: "0:07", "12:30", "1:00:00". Whole seconds,
/// rounded down; negative times read as 0.
std::string clockText(std::int64_t ms);

/// The one line printed at the end of a render, without a newline:
/// "gloam-render: rendered 5:00, peak -8.2 dBFS, no clipped samples; wrote
/// out.flac, trace.tsv". A render that clips says how many samples and that
/// the mix is louder than full scale. File names are quoted with their
/// control characters escaped.
std::string summaryLine(const RenderReport& report);

}  // namespace gloam::render
