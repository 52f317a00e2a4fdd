// The timeline as a picture: one SVG lane per element, keys and scene changes marked.
#pragma once

#include "ElementPaths.h"
#include "model/Runtime.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace gloam {
class Adventure;
}

namespace gloam::render {

/// Collects what the timeline's observer hears (state changes, fade-outs,
/// keys) and, after each main-loop pass, the current scene, and draws it as
/// one SVG picture: time along the x axis with a clock scale, one lane per
/// element that ever left Idle (named and ordered as the trace names them,
/// nested elements under their parents), playing as a filled band whose
/// height follows the fades, waiting as a dashed line, closing as a faint
/// band, and keys and scene changes as labelled vertical lines.
///
/// Memory and picture stay bounded however long the render: within a lane,
/// events closer together than about a pixel merge into one shape, and the
/// outline of a merged shape keeps at most two points a pixel. The scale is
/// chosen from `plannedMs` up front, so merging needs no second pass.
/// Main thread only; keeps references to `runtime` and `adventure`.
class TimelinePicture final : public StateObserver {
public:
    TimelinePicture(const Runtime& runtime, const Adventure& adventure, std::int32_t plannedMs);

    void stateChanged(const Playable& element, State state, const Moment& at) override;
    void fadeOutStarted(const Playable& element, std::int32_t lengthMs, const Moment& at) override;
    /// A key code as the main loop read it (cursor keys come as 224 and a
    /// second code, a UTF-8 character as its bytes, one after the other).
    void keyRead(int code, const Moment& at);
    /// After every main-loop pass: notes a newly loaded adventure or another
    /// current scene at the present time.
    void passDone();

    /// The whole picture up to `endMs`, as an SVG document. Elements still
    /// playing, waiting or closing are drawn to the end; call it once, at
    /// the end of the render.
    std::string svg(std::int32_t endMs);

private:
    enum class Band { Waiting, Playing, Closing };
    struct Point {
        std::int32_t ms;
        float level;  ///< 0 silent .. 1 full, from the fades
    };
    /// A stretch of one band; a playing stretch owns points [first, first+count) of its lane.
    struct Shape {
        Band band;
        std::int32_t fromMs;
        std::int32_t toMs;
        std::uint32_t firstPoint = 0;
        std::uint32_t pointCount = 0;
    };
    struct Lane {
        std::string path;
        std::string name;        ///< escaped as in the trace
        std::string sceneName;   ///< of the scene the element belongs to
        std::vector<int> order;  ///< the path's numbers, for sorting
        std::size_t created = 0;
        State state = State::Idle;
        std::int32_t sinceMs = 0;
        // The run under way, for the fades' shape.
        std::int32_t runStartMs = 0;
        bool runPlaying = false;  ///< the run has begun to play (its fade-in counts from then)
        std::int32_t fadeInMs = 0;
        std::int32_t fadeOutMs = 0;
        bool fadingOut = false;
        std::int32_t fadeOutFromMs = 0;
        std::int32_t fadeOutLengthMs = 0;
        std::vector<Shape> shapes;
        std::vector<Point> points;
    };
    struct Marker {
        std::int32_t ms;
        std::string label;  ///< shown at the top of the line
        std::string title;  ///< the tooltip
    };

    Lane& laneOf(const Playable& element);
    /// Ends the lane's current stretch at `endMs`, with `next` the state
    /// that follows it.
    void closeStretch(Lane& lane, std::int32_t endMs, State next) const;
    void addShape(Lane& lane, Band band, std::int32_t fromMs, std::int32_t toMs, const std::vector<Point>& outline) const;
    void addKey(std::int32_t ms, const std::string& label);

    const Runtime& runtime_;
    const Adventure& adventure_;
    ElementPaths paths_;
    std::int32_t plannedMs_;
    double pixelsPerMs_;
    /// Shapes of a lane closer than this merge.
    std::int32_t mergeMs_;

    std::vector<Lane> lanes_;
    std::unordered_map<std::string, std::size_t> laneIndex_;  ///< by path and name
    std::unordered_map<const Playable*, std::size_t> laneOfElement_;
    std::uint64_t elementsRevision_ = ~std::uint64_t{0};

    std::vector<Marker> keys_;
    std::vector<Marker> scenes_;
    std::uint64_t seenRevision_ = 0;
    std::uint32_t seenScene_ = ~std::uint32_t{0};
    std::int32_t lastKeyMs_ = 0;
    bool keySincePass_ = false;
    // A key that arrives in several codes.
    bool cursorPending_ = false;
    std::string pendingCharacter_;
    std::size_t pendingLength_ = 0;
};

}  // namespace gloam::render
