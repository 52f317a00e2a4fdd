// The loaded adventure: scenes, the current scene, the next due time.
#pragma once

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
    /// the first one is selected. An old scene with a fadeOut (the current
    /// one, or one still fading) first fades out while the new adventure
    /// starts; it answers no key meanwhile, and it and its sounds go when
    /// the fade is over.
    void load(const std::string& path);
    /// The same from a document already read and checked (the chooser's), so
    /// that a chosen file is parsed once. No reference into it is kept.
    void load(tinyxml2::XMLDocument& document);
    /// Destroys the scenes (also those still fading out) and releases every
    /// cached sound.
    void clear();
    /// Ends the fade-outs of scenes that are over, then ticks every active
    /// element at the clock's time; then handles, in the
    /// order of their frames, what falls due before `lookaheadMs` from now,
    /// each at exactly its frame (the engine plays it then), so the life
    /// cycle runs a little ahead of what is heard and nothing planned is
    /// late. Recomputes `deadline` and `nextDue`.
    void tick(std::int32_t lookaheadMs = 0);

    /// Changes whenever the scenes are cleared or replaced, so that what is
    /// derived from them (the screen's names) knows when to start afresh.
    std::uint64_t revision() const { return revision_; }

    bool hasCurrentScene() const { return currentScene < scenes.size(); }
    Scene* current() const { return hasCurrentScene() ? scenes[currentScene].get() : nullptr; }

    std::vector<std::unique_ptr<Scene>> scenes;
    std::uint32_t currentScene = 0;
    /// Earliest due time of any active element; 0 when nothing is due.
    std::int32_t deadline = 0;
    /// The next planned moment of an active element (the earliest of their
    /// due frames, as program time); the loop runs again a little before it,
    /// to hand it to the engine in time. None when nothing is planned.
    std::optional<std::int32_t> nextDue;
    /// The first time at which a closing element ends; the loop runs again
    /// then. None when nothing is closing.
    std::optional<std::int32_t> nextClosing;

private:
    /// Ends the scene fade-outs that are over; scenes of a replaced
    /// adventure go then, and with the last of them the old sounds.
    void finishLeavingScenes();
    /// Ticks, in list order, the active elements due by the event frame.
    void tickDue(std::int64_t frame);
    void findDeadlines();

    Runtime& runtime_;
    std::uint64_t revision_ = 0;
    /// Scenes of a replaced adventure still fading out.
    std::vector<std::unique_ptr<Scene>> leaving_;
};

}  // namespace gloam
