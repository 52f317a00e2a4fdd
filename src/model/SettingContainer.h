// The base of every node of a loaded adventure: settings, filters, children, channel group.
#pragma once

#include "model/Moment.h"
#include "model/Settings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace audio {
class ChannelGroup;
class Dsp;
}  // namespace audio

namespace tinyxml2 {
class XMLElement;
class XMLNode;
}  // namespace tinyxml2

namespace gloam {

class Playable;
struct Runtime;

/// Playback state of an element; a scene stays Idle.
enum class State : std::int32_t { Idle = 0, Closing = 1, Playing = 2, Waiting = 3, Finished = 4 };

const char* stateName(State state);

/// What a node is: a scene, or which kind of element (its XML name).
enum class NodeKind { Scene, Sound, Sequence, Parallel, Alternative };

/// A scene or an element. Built once from its XML element; owns its children,
/// its filter effects and its channel group. Main thread only.
class SettingContainer {
public:
    /// Reads the name, the settings and the filters. The derived constructor
    /// computes the effective mode, creates the channel group and builds the
    /// children.
    SettingContainer(Runtime& runtime, SettingContainer* parent, const tinyxml2::XMLElement& element);
    /// Releases the filters, then the channel group, then destroys the children.
    virtual ~SettingContainer();
    SettingContainer(const SettingContainer&) = delete;
    SettingContainer& operator=(const SettingContainer&) = delete;

    /// A child's run lasts `ms` longer than planned, as found at `at`. Does
    /// nothing here.
    virtual void childDelayed(Playable& child, std::int32_t ms, const Moment& at);
    /// A child's current run ends `milliFrames` / 1000 frames later than its
    /// whole-millisecond plan says (sounds are not whole milliseconds long).
    /// Does nothing here.
    virtual void childDrifted(Playable& child, std::int64_t milliFrames, const Moment& at);
    /// A child's run has ended at `at` (a Source reports its own passes with
    /// null). Does nothing here.
    virtual void childFinished(Playable* child, const Moment& at);
    /// Which kind of node this is.
    virtual NodeKind kind() const = 0;
    /// Stores `mode` as the own mode, then recomputes the effective modes
    /// below. Nothing in the program calls it; the interface keeps it.
    void setMode(std::int32_t mode);
    virtual void updateMode() = 0;
    /// Takes `key` in the hotkey table that serves this node; true when the
    /// node's key is `key` afterwards.
    virtual bool claimHotkey(unsigned char key) = 0;
    /// Appends an element describing this node to `node` and returns it.
    /// Nothing in the program calls it; the interface keeps it.
    virtual tinyxml2::XMLElement* writeXml(tinyxml2::XMLNode& node) = 0;

    Runtime& runtime;
    SettingContainer* parent;
    std::string name;
    Settings settings;
    std::vector<std::unique_ptr<audio::Dsp>> filters;
    std::vector<std::unique_ptr<Playable>> children;
    std::unique_ptr<audio::ChannelGroup> channelGroup;
    std::int32_t effectiveMode = 0;

protected:
    /// Builds one element per known child element, in document order. The
    /// element is not const: a wildcard sound inserts its copies after itself.
    void buildChildren(tinyxml2::XMLElement& element);
    /// Creates the channel group, under the parent's when there is one.
    void createChannelGroup();

private:
    void readSettings(const tinyxml2::XMLElement& element);
};

}  // namespace gloam
