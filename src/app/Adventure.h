// The loaded adventure: scenes, the current scene, the next due time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

    /// Reads `path`; a file that does not parse changes nothing. Otherwise the
    /// old scenes and sounds go, the new scenes are built and the first one is
    /// selected.
    void load(const std::string& path);
    /// Destroys the scenes and releases every cached sound.
    void clear();
    /// Ticks every active element and recomputes `deadline`.
    void tick();

    bool hasCurrentScene() const { return currentScene < scenes.size(); }
    Scene* current() const { return hasCurrentScene() ? scenes[currentScene].get() : nullptr; }

    std::vector<std::unique_ptr<Scene>> scenes;
    std::uint32_t currentScene = 0;
    /// Earliest due time of any active element; 0 when nothing is due.
    std::int32_t deadline = 0;

private:
    Runtime& runtime_;
};

}  // namespace gloam
