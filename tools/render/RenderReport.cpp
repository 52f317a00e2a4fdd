// The end-of-render summary line.
#include "RenderReport.h"

#include "TextEscape.h"

#include <cmath>
#include <cstdio>

namespace gloam::render {

std::string clockText(std::int64_t ms) {
    const std::int64_t seconds = ms > 0 ? ms / 1000 : 0;
    char text[48];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                      static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60));
    }
    return text;
}

std::string summaryLine(const RenderReport& report) {
    std::string line = "gloam-render: rendered " + clockText(report.renderedMs);
    if (report.renderedMs % 1000 != 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(report.renderedMs % 1000));
        line += fraction;
    }
    if (report.peak > 0.0 && std::isfinite(report.peak)) {
        char peak[48];
        std::snprintf(peak, sizeof peak, ", peak %+.1f dBFS", 20.0 * std::log10(report.peak));
        line += peak;
    } else if (report.peak == 0.0) {
        line += ", silent";
    }
    if (report.clippedSamples == 0) {
        line += ", no clipped samples";
    } else {
        line += ", " + std::to_string(report.clippedSamples) +
                (report.clippedSamples == 1 ? " sample" : " samples") + " clipped (the mix is louder than full scale)";
    }
    if (!report.outputs.empty()) {
        line += "; wrote ";
        for (std::size_t i = 0; i < report.outputs.size(); ++i) {
            line += (i > 0 ? ", " : "") + quoteForMessage(report.outputs[i], 200);
        }
    }
    return line;
}

}  // namespace gloam::render
