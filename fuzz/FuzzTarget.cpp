// The checks and the input reader shared by the fuzz targets.
#include "FuzzTarget.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

std::string_view InputReader::bytes(std::size_t count) {
    const std::size_t taken = std::min(count, size_ - std::min(position_, size_));
    std::string_view result(reinterpret_cast<const char*>(data_) + position_, taken);
    position_ += taken;
    return result;
}

}  // namespace fuzz
