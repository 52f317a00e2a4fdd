// "Did you mean" over a short list of known words.
#include "Suggest.h"

#include "NameIndex.h"

namespace gloam::check {

std::optional<std::string> closestName(const std::string& word, const std::vector<std::string>& candidates) {
    return NameIndex(candidates).closest(word);
}

}  // namespace gloam::check
