// The loaded adventure: scenes, the current scene, the next due time.
#pragma once

#include "model/Moment.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
}

namespace gloam {

class Scene;
struct Runtime;

/// Empty at start-up; load replaces its scenes. Main thread only.
class Adventure {
public:
    explicit Adventure(Runtime& runtime);
    ~Adventure();
    Adventure(const Adventure&) = delete;
    Adventure& operator=(const Adventure&) = delete;

    /// Reads `path` (readAdventureFile: regular files only, never waiting on
    /// the open); a file that is refused or does not parse changes nothing.
    /// Otherwise the old scenes and sounds go, the new scenes are built and
    /// the first one is selected at presentMoment(). An old scene with a
    /// fadeOut (the current one, or one still fading) first fades out while
    /// the new adventure starts; it answers no key meanwhile, and it and its
    /// sounds go when the fade is over.
    void load(const std::string& path);
    /// The same from a document already read and checked (the chooser's), so
    /// that a chosen file is parsed once, selecting the first scene at `at`.
    /// No reference into the document is kept.
    void load(tinyxml2::XMLDocument& document, const Moment& at);
    void load(tinyxml2::XMLDocument& document) { load(document, presentMoment()); }
    /// Destroys the scenes (also those still fading out) and releases every
    /// cached sound.
    void clear();
    /// One pass of the life cycle. First what only the clock decides: scenes
    /// whose fade-out on leaving is over are stopped, filters of elements
    /// that went Idle are detached once the output has reached them, and
    /// every active element looks at the engine (a voice
    /// taken away) at the present moment. Then everything planned that falls
    /// due up to `until` (inclusive) is handled in the order of its frames,
    /// each at exactly its moment, so the engine is handed starts, ends and
    /// fades before it mixes them. What fell due before the present (the
    /// loop was held up) is handled at the present, late. Nothing is handled
    /// at a moment before one already acted at. The work is bounded: once
    /// maxTicksPerPass element ticks are done, the moment under way is
    /// finished and the rest waits (see behind). Recomputes nextDue and
    /// nextDetach.
    void tick(const Moment& until);
    /// The operator acted at `at` (a key): from now on nothing acts before
    /// it. Handles what the action made due by `at` (within the same bound
    /// as tick), then recomputes nextDue and nextDetach.
    void actedAt(const Moment& at);
    /// Whether the last tick (or action) stopped at its bound with planned
    /// moments still due: the loop has fallen behind what the adventure asks
    /// (endless loops of very short sounds, say). What stays due is handled
    /// at the next pass's present, so passes that fell behind are merged
    /// into one, and each pass, however far behind, costs at most the bound.
    bool behind() const { return behind_; }

    /// Element ticks one pass handles at most (whole moments: every element
    /// due at a frame acts at that frame). Far above what any adventure needs
    /// to play on time, which passes a few ticks per element.
    static constexpr int maxTicksPerPass = 2000;
    /// The moment from which the life cycle may act now: the clock's
    /// reading, or the last moment it acted at when that lies ahead of the
    /// clock.
    Moment presentMoment() const;

    /// Changes whenever the scenes are cleared or replaced, so that what is
    /// derived from them (the screen's names) knows when to start afresh.
    std::uint64_t revision() const { return revision_; }

    bool hasCurrentScene() const { return currentScene < scenes.size(); }
    Scene* current() const { return hasCurrentScene() ? scenes[currentScene].get() : nullptr; }

    std::vector<std::unique_ptr<Scene>> scenes;
    std::uint32_t currentScene = 0;
    /// The next planned moment of an active element (the earliest of their
    /// due frames, as program time); the loop runs again a little before it,
    /// to hand it to the engine in time. None when nothing is planned.
    std::optional<std::int32_t> nextDue;
    /// When the output reaches the next element that went Idle with its
    /// filters still ringing; the loop runs again then to detach them.
    std::optional<std::int32_t> nextDetach;

private:
    /// Ends the scene fade-outs that are over by `present`; scenes of a
    /// replaced adventure go then, and with the last of them the old sounds.
    void finishLeavingScenes(const Moment& present);
    /// Handles, moment by moment, what falls due up to `until`; false when
    /// it stopped at its bound with moments still due.
    bool runDue(const Moment& until, const Moment& present);
    /// Ticks, in list order, the active elements due by `at`; returns how many.
    int tickDue(const Moment& at);
    void findNextDue();

    Runtime& runtime_;
    std::uint64_t revision_ = 0;
    /// The last moment the life cycle acted at.
    Moment actedUpTo_;
    /// Scenes of a replaced adventure still fading out.
    std::vector<std::unique_ptr<Scene>> leaving_;
    bool behind_ = false;
};

}  // namespace gloam
