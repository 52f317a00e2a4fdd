// Writing rendered audio as WAV, FLAC or Ogg Vorbis through libsndfile.
#pragma once

#include "LevelMeter.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gloam::render {

class OutputFile;

enum class AudioFormat {
    Wav,   ///< 32-bit float; RF64 once it outgrows the 4 GiB of plain WAV
    Flac,  ///< 24-bit
    Ogg,   ///< Vorbis
};

/// The format named by the file's extension (".wav", ".flac", ".ogg", in any
/// case); a name without extension, such as /dev/null, is WAV. None for any
/// other extension.
std::optional<AudioFormat> audioFormatFor(const std::string& path);

/// The one-line message for a path whose extension names no format.
std::string unknownFormatMessage(const std::string& path);

/// An audio file being written to an OutputFile's descriptor. Failures are
/// recorded in the OutputFile. Main thread only.
///
/// WAV is written as RF64 and turned into a plain WAV when it ends below
/// 4 GiB. Mono and stereo WAVs get the plain float format header (with its
/// size field) that every reader takes without complaint; wider layouts keep
/// the extensible header, which names the speakers.
class AudioWriter {
public:
    /// Starts the file; check ok().
    AudioWriter(OutputFile& output, AudioFormat format, int sampleRate, int channels);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    bool ok() const;
    /// Appends numFrames interleaved frames (in the engine's speaker order);
    /// false when the write failed. Every frame given is measured by levels().
    bool write(const float* interleaved, std::size_t numFrames);
    /// The peak and the clipped samples of everything given to write().
    const LevelMeter& levels() const { return levels_; }
    /// Completes the file: encoder tail, final header. False on failure.
    bool finish();

private:
    struct SndfileCloser {
        void operator()(void* file) const;
    };
    /// Gives a float WAV the plain format header, in place.
    void usePlainFloatHeader();

    OutputFile& output_;
    AudioFormat format_;
    int channels_;
    std::unique_ptr<void, SndfileCloser> file_;
    /// For Ogg: the engine's speaker order as Vorbis wants it.
    std::vector<int> vorbisOrder_;
    std::vector<float> reordered_;
    LevelMeter levels_;
};

}  // namespace gloam::render
