// Test-only file helpers.
#include "TestFiles.h"

namespace testsupport {

namespace fs = std::filesystem;

void linkPlugin(const fs::path& library) {
    fs::create_directories("plugins");
    fs::create_symlink(library, fs::path("plugins") / library.filename());
}

}  // namespace testsupport
