// One fuzz target's entry point, for libFuzzer and for the replay test alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace fuzz {

/// What every target provides: takes one input of any bytes, returns 0, and
/// aborts through check() when the code under test misbehaves.
using Entry = int (*)(const std::uint8_t* data, std::size_t size);

/// Aborts with `what` when `condition` is false, so that libFuzzer keeps the
/// input and the replay test fails loudly.
void check(bool condition, const char* what);

/// A temporary folder for the files a target writes, made on first use and
/// removed at exit. The working directory stays where it was, so that
/// libFuzzer's relative paths keep working.
const std::filesystem::path& scratchFolder();

/// Reads an input front to back; past the end every read gives zeros.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return position_ >= size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    /// Up to `count` bytes (fewer at the end).
    std::string_view bytes(std::size_t count);
    std::string_view rest() { return bytes(size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// The targets (fuzz/targets/*.cpp).
int adventureInput(const std::uint8_t* data, std::size_t size);
int keyDecoderInput(const std::uint8_t* data, std::size_t size);
int mpegLengthInput(const std::uint8_t* data, std::size_t size);
int openSoundInput(const std::uint8_t* data, std::size_t size);
int pluginInput(const std::uint8_t* data, std::size_t size);
int renderOptionsInput(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

// Makes `entry` the libFuzzer entry point of the executable being built.
#ifdef GLOAM_LIBFUZZER
#define GLOAM_FUZZ_TARGET(entry)                                                         \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        return entry(data, size);                                                        \
    }
#else
#define GLOAM_FUZZ_TARGET(entry)
#endif
