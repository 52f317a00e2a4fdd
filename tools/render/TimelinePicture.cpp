// Collecting the timeline's events into lanes, and drawing them as SVG.
#include "TimelinePicture.h"

#include "RenderReport.h"
#include "TextEscape.h"
#include "platform/Clock.h"

#include "app/Adventure.h"
#include "model/Scene.h"
#include "platform/TerminalText.h"
#include "playback/Playable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace gloam::render {

namespace {

// The layout, in pixels.
constexpr double labelWidth = 300;
constexpr double plotLeft = labelWidth + 12;
constexpr double plotRightMargin = 40;
constexpr double minPlotWidth = 800;
constexpr double maxPlotWidth = 3600;
constexpr double pixelsPerSecondWanted = 4;
constexpr double sceneLabelY = 56;
constexpr double keyLabelY = 72;
constexpr double axisLabelY = 90;
constexpr double lanesTop = 98;
constexpr double laneHeight = 18;
constexpr double headerHeight = 22;
constexpr double bandTop = 3;
constexpr double bandBottom = 15;
constexpr double indentPerLevel = 12;
constexpr std::size_t maxLabelBytes = 40;

constexpr std::size_t noShape = ~std::size_t{0};

/// A name made safe for XML text and attributes: the trace's escapes already
/// removed the control characters XML forbids; what is not UTF-8 becomes '?'.
std::string xmlText(const std::string& text) {
    const std::string visible = platform::visibleText(text);
    std::string out;
    out.reserve(visible.size());
    for (char c : visible) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

/// A coordinate with at most one decimal, without a trailing ".0".
std::string number(double value) {
    char text[32];
    const double rounded = std::round(value * 10.0) / 10.0;
    if (rounded == std::floor(rounded)) {
        std::snprintf(text, sizeof text, "%.0f", rounded);
    } else {
        std::snprintf(text, sizeof text, "%.1f", rounded);
    }
    return text;
}

/// A moment for a tooltip: the clock time with milliseconds.
std::string momentText(std::int32_t ms) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
    return clockText(ms) + fraction;
}

std::string keyName(int code) {
    switch (code) {
    case 8: return "Backspace";
    case 9: return "Tab";
    case 13: return "Enter";
    case 27: return "Esc";
    case 32: return "Space";
    case 127: return "Delete";
    default: break;
    }
    if (code < 32) return std::string("Ctrl-") + static_cast<char>(code + 64);
    if (code < 128) return std::string(1, static_cast<char>(code));
    return "#" + std::to_string(code);
}

double bandY(float level) { return bandBottom - static_cast<double>(level) * (bandBottom - bandTop); }

}  // namespace

TimelinePicture::TimelinePicture(const Runtime& runtime, const Adventure& adventure, std::int32_t plannedMs)
    : runtime_(runtime), adventure_(adventure), paths_(adventure), plannedMs_(std::max(plannedMs, 1000)) {
    const double seconds = plannedMs_ / 1000.0;
    const double width = std::clamp(seconds * pixelsPerSecondWanted, minPlotWidth, maxPlotWidth);
    pixelsPerMs_ = width / plannedMs_;
    // Closer than a pixel and a half, two shapes could not be told apart anyway.
    mergeMs_ = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(1.5 / pixelsPerMs_)));
}

TimelinePicture::Lane& TimelinePicture::laneOf(const Playable& element) {
    if (const auto known = laneOfElement_.find(&element); known != laneOfElement_.end()) return lanes_[known->second];
    const std::string& path = paths_.pathOf(element);
    std::string name = escapeControls(element.name);
    std::string key = path + '\t' + name;
    auto [entry, added] = laneIndex_.try_emplace(std::move(key), lanes_.size());
    if (added) {
        Lane lane;
        lane.path = path;
        lane.name = std::move(name);
        lane.created = lanes_.size();
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t slash = std::min(path.find('/', start), path.size());
            lane.order.push_back(std::atoi(path.substr(start, slash - start).c_str()));
            start = slash + 1;
        }
        const auto sceneIndex = static_cast<std::size_t>(lane.order.front());
        if (sceneIndex < adventure_.scenes.size()) lane.sceneName = escapeControls(adventure_.scenes[sceneIndex]->name);
        lanes_.push_back(std::move(lane));
    }
    laneOfElement_.emplace(&element, entry->second);
    return lanes_[entry->second];
}

void TimelinePicture::stateChanged(const Playable& element, State state, const Moment& at) {
    const std::int32_t now = at.ms;
    if (adventure_.revision() != elementsRevision_) {
        // Another adventure: what the old one left open ends here, and its
        // elements' addresses may be taken by new ones.
        elementsRevision_ = adventure_.revision();
        laneOfElement_.clear();
        for (Lane& lane : lanes_) {
            if (lane.state != State::Idle && lane.state != State::Finished) closeStretch(lane, now, State::Idle);
            lane.state = State::Idle;
        }
    }
    if (laneOfElement_.find(&element) == laneOfElement_.end()) {
        // Only elements that leave Idle get a lane, and only those the
        // adventure holds can be placed.
        if (state == State::Idle || paths_.pathOf(element) == "?") return;
    }
    Lane& lane = laneOf(element);
    const State previous = lane.state;
    if (previous == state) return;
    if (previous == State::Waiting || previous == State::Playing || previous == State::Closing) {
        closeStretch(lane, now, state);
    }
    const bool wasAtRest = previous == State::Idle || previous == State::Closing || previous == State::Finished;
    if (wasAtRest && (state == State::Waiting || state == State::Playing)) {
        lane.runPlaying = false;
        lane.fadingOut = false;
        lane.fadeInMs = std::max(0, element.settings.fadeIn);
        lane.fadeOutMs = std::max(0, element.settings.fadeOut);
    }
    if (state == State::Playing && !lane.runPlaying) {
        // The fade-in counts from the run's first sound, after its start delay.
        lane.runPlaying = true;
        lane.runStartMs = now;
    }
    lane.state = state;
    lane.sinceMs = now;
}

void TimelinePicture::fadeOutStarted(const Playable& element, std::int32_t lengthMs, const Moment& at) {
    if (laneOfElement_.find(&element) == laneOfElement_.end()) return;
    Lane& lane = laneOf(element);
    lane.fadingOut = true;
    lane.fadeOutFromMs = at.ms;
    lane.fadeOutLengthMs = std::max(0, lengthMs);
}

void TimelinePicture::closeStretch(Lane& lane, std::int32_t endMs, State next) const {
    const std::int32_t fromMs = lane.sinceMs;
    if (lane.state != State::Playing) {
        addShape(lane, lane.state == State::Waiting ? Band::Waiting : Band::Closing, fromMs, endMs, {});
        return;
    }
    // The band's height is the volume law's fade factors: in from the run's
    // first sound, out either from a stop or towards the run's planned end.
    const bool plannedFadeOut = !lane.fadingOut && next == State::Finished && lane.fadeOutMs > 0;
    auto fadeIn = [&lane](double ms) {
        return lane.fadeInMs > 0 ? std::clamp((ms - lane.runStartMs) / lane.fadeInMs, 0.0, 1.0) : 1.0;
    };
    auto fadeOut = [&](double ms) {
        if (lane.fadingOut && lane.fadeOutLengthMs > 0) {
            return std::clamp((lane.fadeOutFromMs + lane.fadeOutLengthMs - ms) / lane.fadeOutLengthMs, 0.0, 1.0);
        }
        if (plannedFadeOut) return std::clamp((endMs - ms) / lane.fadeOutMs, 0.0, 1.0);
        return 1.0;
    };
    std::vector<std::int32_t> bends{fromMs, endMs};
    if (lane.fadeInMs > 0) bends.push_back(lane.runStartMs + lane.fadeInMs);
    if (lane.fadingOut) bends.insert(bends.end(), {lane.fadeOutFromMs, lane.fadeOutFromMs + lane.fadeOutLengthMs});
    if (plannedFadeOut) bends.push_back(endMs - lane.fadeOutMs);
    bends.erase(std::remove_if(bends.begin(), bends.end(), [&](std::int32_t ms) { return ms < fromMs || ms > endMs; }),
                bends.end());
    std::sort(bends.begin(), bends.end());
    bends.erase(std::unique(bends.begin(), bends.end()), bends.end());
    std::vector<Point> outline;
    for (std::size_t i = 0; i < bends.size(); ++i) {
        const double ms = bends[i];
        outline.push_back({bends[i], static_cast<float>(fadeIn(ms) * fadeOut(ms))});
        // Where a fade-in and a fade-out overlap the product is a curve: a
        // few points follow it.
        if (i + 1 < bends.size()) {
            const double following = bends[i + 1];
            const double middle = (ms + following) / 2;
            const bool bothMove = fadeIn(middle) < 1.0 && fadeOut(middle) < 1.0;
            for (int piece = 1; bothMove && piece < 4; ++piece) {
                const double at = ms + (following - ms) * piece / 4;
                outline.push_back({static_cast<std::int32_t>(std::lround(at)), static_cast<float>(fadeIn(at) * fadeOut(at))});
            }
        }
    }
    addShape(lane, Band::Playing, fromMs, endMs, outline);
}

void TimelinePicture::addShape(Lane& lane, Band band, std::int32_t fromMs, std::int32_t toMs,
                               const std::vector<Point>& outline) const {
    if (toMs < fromMs) return;
    // The newest shape of the same band, if close enough, takes this one in.
    std::size_t last = noShape;
    for (std::size_t i = lane.shapes.size(); i-- > 0;) {
        if (lane.shapes[i].band == band) {
            last = i;
            break;
        }
        // Bands alternate; looking further back than a few shapes finds
        // nothing near enough to merge.
        if (lane.shapes.size() - i > 3) break;
    }
    Shape* shape = nullptr;
    if (last != noShape && fromMs - lane.shapes[last].toMs <= mergeMs_) {
        shape = &lane.shapes[last];
        shape->toMs = std::max(shape->toMs, toMs);
    } else {
        lane.shapes.push_back({band, fromMs, toMs, static_cast<std::uint32_t>(lane.points.size()), 0});
        shape = &lane.shapes.back();
    }
    if (band != Band::Playing) return;
    // At most two points a pixel: a busy lane's outline stays as wide as the picture.
    const auto thinMs = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::lround(0.5 / pixelsPerMs_)));
    for (const Point& point : outline) {
        if (shape->pointCount > 0 && point.ms - lane.points.back().ms < thinMs) {
            lane.points.back().level = std::max(lane.points.back().level, point.level);
            continue;
        }
        lane.points.push_back(point);
        ++shape->pointCount;
    }
}

void TimelinePicture::addKey(std::int32_t ms, const std::string& label) {
    keys_.push_back({ms, label, "key " + label + " at " + momentText(ms)});
}

void TimelinePicture::keyRead(int code, const Moment& at) {
    const std::int32_t now = at.ms;
    lastKeyMs_ = now;
    keySincePass_ = true;
    if (cursorPending_) {
        cursorPending_ = false;
        static const std::array<std::pair<int, const char*>, 4> arrows{
            {{'K', "\u2190"}, {'M', "\u2192"}, {'H', "\u2191"}, {'P', "\u2193"}}};
        std::string label = "224/" + std::to_string(code);
        for (const auto& [arrowCode, arrow] : arrows) {
            if (arrowCode == code) label = arrow;
        }
        addKey(now, label);
        return;
    }
    // The console's prefix of special keys, as the player reads it.
    if (code == 224) {
        cursorPending_ = true;
        return;
    }
    if (pendingLength_ > 0) {
        pendingCharacter_ += static_cast<char>(code);
        if (pendingCharacter_.size() < pendingLength_ && (code & 0xC0) == 0x80) return;
        addKey(now, pendingCharacter_);
        pendingCharacter_.clear();
        pendingLength_ = 0;
        return;
    }
    if (code >= 0xC2 && code <= 0xF4) {
        pendingLength_ = code >= 0xF0 ? 4 : code >= 0xE0 ? 3 : 2;
        pendingCharacter_ = std::string(1, static_cast<char>(code));
        return;
    }
    addKey(now, keyName(code));
}

void TimelinePicture::passDone() {
    const bool keyRead = keySincePass_;
    keySincePass_ = false;
    if (adventure_.revision() != seenRevision_) {
        seenRevision_ = adventure_.revision();
        seenScene_ = ~std::uint32_t{0};
    }
    if (!adventure_.hasCurrentScene() || adventure_.currentScene == seenScene_) return;
    seenScene_ = adventure_.currentScene;
    // A key switched scenes (or loaded an adventure) at the moment it was
    // read; the pass may have slept on after that.
    const std::int32_t now = keyRead ? lastKeyMs_ : runtime_.clock.nowMs();
    const std::string name = escapeControls(adventure_.scenes[seenScene_]->name);
    const std::string label = name.empty() ? "scene " + std::to_string(seenScene_) : name;
    // A scene left in the very moment it was selected (a load followed by a
    // scene key) is not worth a line of its own.
    if (!scenes_.empty() && scenes_.back().ms == now) scenes_.pop_back();
    scenes_.push_back({now, label, "scene " + std::to_string(seenScene_) + " " + name + " from " + momentText(now)});
}

std::string TimelinePicture::svg(std::int32_t endMs) {
    for (Lane& lane : lanes_) {
        if (lane.state == State::Waiting || lane.state == State::Playing || lane.state == State::Closing) {
            closeStretch(lane, endMs, lane.state);
            lane.sinceMs = endMs;
        }
    }
    std::vector<std::size_t> order(lanes_.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        if (lanes_[a].order != lanes_[b].order) return lanes_[a].order < lanes_[b].order;
        return lanes_[a].created < lanes_[b].created;
    });

    const double plotWidth = plannedMs_ * pixelsPerMs_;
    auto x = [this](std::int32_t ms) { return plotLeft + ms * pixelsPerMs_; };
    // Rows: a header when the scene changes, then the lanes.
    std::size_t headers = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Lane& lane = lanes_[order[i]];
        if (i == 0 || lane.order.front() != lanes_[order[i - 1]].order.front() ||
            lane.sceneName != lanes_[order[i - 1]].sceneName) {
            ++headers;
        }
    }
    const double lanesBottom = lanesTop + static_cast<double>(headers) * headerHeight +
                               static_cast<double>(order.size()) * laneHeight;
    const double height = lanesBottom + 28;
    const double width = plotLeft + plotWidth + plotRightMargin;

    std::string out;
    out.reserve(4096 + lanes_.size() * 256);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" + number(height) +
           "\" viewBox=\"0 0 " + number(width) + " " + number(height) + "\">\n";
    out += "<style>\n"
           "text{font:12px sans-serif;fill:#222}\n"
           ".t{font-size:15px;font-weight:bold}\n"
           ".g{stroke:#e2e2e2}\n"
           ".a{stroke:#999}\n"
           ".z{fill:#f5f6f8}\n"
           ".h{font-weight:bold;fill:#444}\n"
           ".n{fill:#999;font-size:10px}\n"
           ".p{fill:#3b7dd8}\n"
           ".w{fill:none;stroke:#3b7dd8;stroke-width:2;stroke-dasharray:3 3}\n"
           ".c{fill:#aab8cc}\n"
           ".k line{stroke:#e07b00}\n"
           ".k text{fill:#c06000;font-size:11px}\n"
           ".s line{stroke:#8e44ad;stroke-width:2}\n"
           ".s text{fill:#8e44ad;font-weight:bold}\n"
           "</style>\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    out += "<text class=\"t\" x=\"12\" y=\"20\">Timeline, " + clockText(endMs) + "</text>\n";
    // The legend, drawn with the very shapes it explains.
    out += "<g transform=\"translate(12,28)\">"
           "<path class=\"p\" d=\"M0 15V3H24V15Z\"/><text x=\"30\" y=\"13\">playing</text>"
           "<path class=\"p\" d=\"M90 15L108 3H114V15Z\"/><text x=\"120\" y=\"13\">fading in</text>"
           "<path class=\"p\" d=\"M188 15V3H194L212 15Z\"/><text x=\"218\" y=\"13\">fading out</text>"
           "<path class=\"w\" d=\"M292 9H316\"/><text x=\"322\" y=\"13\">waiting</text>"
           "<path class=\"c\" d=\"M380 6H404V12H380Z\"/><text x=\"410\" y=\"13\">closing</text>"
           "<line x1=\"474\" y1=\"2\" x2=\"474\" y2=\"16\" stroke=\"#e07b00\"/><text x=\"480\" y=\"13\">key</text>"
           "<line x1=\"518\" y1=\"2\" x2=\"518\" y2=\"16\" stroke=\"#8e44ad\" stroke-width=\"2\"/>"
           "<text x=\"524\" y=\"13\">scene change</text></g>\n";

    // The time scale: the smallest step that leaves room for its labels.
    static const std::array<std::int32_t, 18> stepsSeconds{1,   2,   5,    10,   15,   30,    60,    120,   300,
                                                           600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    std::int32_t stepMs = stepsSeconds.back() * 1000;
    for (std::int32_t seconds : stepsSeconds) {
        if (seconds * 1000.0 * pixelsPerMs_ >= 70.0) {
            stepMs = seconds * 1000;
            break;
        }
    }
    out += "<g class=\"axis\">";
    for (std::int64_t ms = 0; ms <= plannedMs_; ms += stepMs) {
        const std::string at = number(x(static_cast<std::int32_t>(ms)));
        out += "<line class=\"g\" x1=\"" + at + "\" y1=\"" + number(axisLabelY + 4) + "\" x2=\"" + at + "\" y2=\"" +
               number(lanesBottom) + "\"/>";
        const std::string label = clockText(ms);
        out += "<text x=\"" + at + "\" y=\"" + number(axisLabelY) + "\" text-anchor=\"middle\">" + label + "</text>";
        out += "<text x=\"" + at + "\" y=\"" + number(lanesBottom + 16) + "\" text-anchor=\"middle\">" + label + "</text>";
    }
    out += "<line class=\"a\" x1=\"" + number(plotLeft) + "\" y1=\"" + number(lanesBottom) + "\" x2=\"" +
           number(plotLeft + plotWidth) + "\" y2=\"" + number(lanesBottom) + "\"/></g>\n";

    double y = lanesTop;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Lane& lane = lanes_[order[i]];
        if (i == 0 || lane.order.front() != lanes_[order[i - 1]].order.front() ||
            lane.sceneName != lanes_[order[i - 1]].sceneName) {
            out += "<text class=\"h\" x=\"12\" y=\"" + number(y + 15) + "\">scene " + std::to_string(lane.order.front()) +
                   (lane.sceneName.empty() ? "" : ": " + xmlText(lane.sceneName)) + "</text>\n";
            y += headerHeight;
        }
        out += "<g class=\"lane\" transform=\"translate(0," + number(y) + ")\">";
        if (i % 2 == 0) out += "<rect class=\"z\" x=\"0\" width=\"" + number(width) + "\" height=\"" + number(laneHeight) + "\"/>";
        const double indent = 12 + indentPerLevel * static_cast<double>(lane.order.size() >= 2 ? lane.order.size() - 2 : 0);
        std::string shown = platform::visibleText(lane.name, maxLabelBytes);
        if (shown.size() < lane.name.size()) shown += "\u2026";
        out += "<text x=\"" + number(indent) + "\" y=\"13\">" + xmlText(shown) + " <tspan class=\"n\">" +
               xmlText(lane.path) + "</tspan><title>" + xmlText(lane.name) + " (" + xmlText(lane.path) + ")</title></text>";

        std::string waiting;
        std::string closing;
        std::string playing;
        for (const Shape& shape : lane.shapes) {
            const double x0 = x(shape.fromMs);
            const double x1 = std::max(x(shape.toMs), x0 + 1.0);  // even the shortest event shows
            if (shape.band == Band::Waiting) {
                waiting += "M" + number(x0) + " 9H" + number(x1);
            } else if (shape.band == Band::Closing) {
                closing += "M" + number(x0) + " 6H" + number(x1) + "V12H" + number(x0) + "Z";
            } else {
                const Point* points = lane.points.data() + shape.firstPoint;
                const bool flat = std::all_of(points, points + shape.pointCount, [](const Point& p) { return p.level >= 1.0f; });
                if (flat || shape.pointCount < 2) {
                    playing += "M" + number(x0) + " 15V3H" + number(x1) + "V15Z";
                    continue;
                }
                playing += "M" + number(x(points[0].ms)) + " 15L";
                for (std::uint32_t k = 0; k < shape.pointCount; ++k) {
                    playing += number(x(points[k].ms)) + " " + number(bandY(points[k].level)) + " ";
                }
                playing += number(std::max(x(points[shape.pointCount - 1].ms), x0 + 1.0)) + " 15Z";
            }
        }
        if (!closing.empty()) out += "<path class=\"c\" d=\"" + closing + "\"/>";
        if (!waiting.empty()) out += "<path class=\"w\" d=\"" + waiting + "\"/>";
        if (!playing.empty()) out += "<path class=\"p\" d=\"" + playing + "\"/>";
        out += "</g>\n";
        y += laneHeight;
    }

    auto markers = [&](const std::vector<Marker>& list, const char* kind, double labelY, double charWidth) {
        // A label that would run into the one before is left out; the line
        // and its tooltip remain.
        double labelsEnd = -1e9;
        for (const Marker& marker : list) {
            const double at = x(marker.ms);
            const double halfWidth = charWidth * static_cast<double>(marker.label.size()) / 2 + 2;
            std::string label;
            if (at - halfWidth >= labelsEnd) {
                label = "<text x=\"" + number(at) + "\" y=\"" + number(labelY) + "\" text-anchor=\"middle\">" +
                        xmlText(marker.label) + "</text>";
                labelsEnd = at + halfWidth;
            }
            out += std::string("<g class=\"") + kind + "\"><line x1=\"" + number(at) + "\" y1=\"" + number(labelY + 3) +
                   "\" x2=\"" + number(at) + "\" y2=\"" + number(lanesBottom) + "\"/>" + label + "<title>" +
                   xmlText(marker.title) + "</title></g>\n";
        }
    };
    markers(scenes_, "s", sceneLabelY, 7.5);
    markers(keys_, "k", keyLabelY, 6.5);
    out += "</svg>\n";
    return out;
}

}  // namespace gloam::render
