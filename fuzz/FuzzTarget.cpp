// The checks, the input reader and the scratch folder shared by the fuzz targets.
#include "FuzzTarget.h"

#include "WorkFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

namespace {

/// A temporary folder that the process does not stay in.
struct Scratch {
    Scratch() { std::filesystem::current_path(launchFolder); }
    std::filesystem::path launchFolder = std::filesystem::current_path();
    gloam::files::ScopedWorkDir folder;  // moves into the new folder
};

}  // namespace

const std::filesystem::path& scratchFolder() {
    static const Scratch scratch;
    return scratch.folder.path();
}

std::string_view InputReader::bytes(std::size_t count) {
    const std::size_t taken = std::min(count, size_ - std::min(position_, size_));
    std::string_view result(reinterpret_cast<const char*>(data_) + position_, taken);
    position_ += taken;
    return result;
}

}  // namespace fuzz
