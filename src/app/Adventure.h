// The loaded adventure: scenes, the current scene, the next due time.
#pragma once

#include <cstdint>
#include <memory>
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
    /// the first one is selected.
    void load(const std::string& path);
    /// The same from a document already read and checked (the chooser's), so
    /// that a chosen file is parsed once. No reference into it is kept.
    void load(tinyxml2::XMLDocument& document);
    /// Destroys the scenes and releases every cached sound.
    void clear();
    /// Ticks every active element and recomputes `deadline`.
    void tick();

    /// Changes whenever the scenes are cleared or replaced, so that what is
    /// derived from them (the screen's names) knows when to start afresh.
    std::uint64_t revision() const { return revision_; }

    bool hasCurrentScene() const { return currentScene < scenes.size(); }
    Scene* current() const { return hasCurrentScene() ? scenes[currentScene].get() : nullptr; }

    std::vector<std::unique_ptr<Scene>> scenes;
    std::uint32_t currentScene = 0;
    /// Earliest due time of any active element; 0 when nothing is due.
    std::int32_t deadline = 0;

private:
    Runtime& runtime_;
    std::uint64_t revision_ = 0;
};

}  // namespace gloam
