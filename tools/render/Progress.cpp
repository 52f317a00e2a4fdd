// The render's progress line.
#include "Progress.h"

#include "RenderReport.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace gloam::render {

namespace {

/// Often enough to see it move, rarely enough to cost nothing.
constexpr auto updateEvery = std::chrono::milliseconds(200);

}  // namespace

Progress::Progress(int fd, std::int32_t totalMs)
    : fd_(fd), totalMs_(totalMs), enabled_(::isatty(fd) != 0), started_(std::chrono::steady_clock::now()),
      // A render done within the first interval never shows the line at all.
      nextUpdate_(started_ + updateEvery) {}

void Progress::update(std::int32_t renderedMs) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextUpdate_) return;
    nextUpdate_ = now + updateEvery;
    const double wallSeconds = std::chrono::duration<double>(now - started_).count();
    std::string line = "\r" + clockText(renderedMs) + " of " + clockText(totalMs_);
    // The speed is only worth showing once there is something to go by.
    if (wallSeconds >= 0.1 && renderedMs > 0) {
        const double speed = renderedMs / 1000.0 / wallSeconds;
        char figures[96];
        std::snprintf(figures, sizeof figures, "  %.0fx real time  %s left", speed,
                      clockText(static_cast<std::int64_t>((totalMs_ - renderedMs) / speed)).c_str());
        line += figures;
    }
    line += "\x1b[K";  // erase what a longer line before left behind
    show(line);
    shown_ = true;
}

void Progress::clear() {
    if (!shown_) return;
    show("\r\x1b[K");
    shown_ = false;
}

void Progress::show(std::string_view text) const {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd_, text.data() + done, text.size() - done);
        if (written <= 0) return;
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace gloam::render
