// Test-only file helpers.
#include "TestFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void linkPlugin(const fs::path& library) {
    fs::create_directories("plugins");
    fs::create_symlink(library, fs::path("plugins") / library.filename());
}

void writeDamagedCopy(const fs::path& original, const fs::path& copy, Damage damage, double at) {
    std::ifstream in(original, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto from = static_cast<std::size_t>(static_cast<double>(bytes.size()) * at);
    if (damage == Damage::ZeroTail) {
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from, bytes.size())), bytes.end(), '\0');
    } else {
        for (std::size_t i = from; i < std::min(from + 64, bytes.size()); ++i) bytes[i] = static_cast<char>(~bytes[i]);
    }
    if (copy.has_parent_path()) fs::create_directories(copy.parent_path());
    std::ofstream(copy, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
