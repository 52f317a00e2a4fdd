// Writing rendered audio to a 32-bit float WAV file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace gloam::render {

/// An open float WAV file (RF64 when it may outgrow plain WAV's 4 GiB).
class WavWriter {
public:
    /// Opens `path` for writing; check isOpen().
    WavWriter(const std::string& path, int sampleRate, int channels, double expectedSeconds);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    /// Appends numFrames interleaved frames; false when the write failed.
    bool write(const float* interleaved, std::size_t numFrames);
    /// libsndfile's message for the last failure.
    std::string error() const;

private:
    struct SndfileCloser {
        void operator()(void* file) const;
    };
    std::unique_ptr<void, SndfileCloser> file_;
};

}  // namespace gloam::render
