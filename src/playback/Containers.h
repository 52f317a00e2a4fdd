// Helpers shared by the container kinds.
#pragma once

#include "playback/Playable.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace gloam {

/// A container has content when at least one child has: an empty or
/// all-silent container is never planned or started.
inline bool anyChildHasContent(const std::vector<std::unique_ptr<Playable>>& children) {
    return std::any_of(children.begin(), children.end(),
                       [](const std::unique_ptr<Playable>& child) { return child->hasContent(); });
}

}  // namespace gloam
