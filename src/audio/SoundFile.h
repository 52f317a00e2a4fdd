// An open libsndfile handle over a file on disk or encoded bytes in memory.
#pragma once

#include "audio/MpegLength.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace audio {

/// Encoded file contents shared by every play of a compressed sample.
using EncodedBytes = std::shared_ptr<const std::vector<unsigned char>>;

/// Owns one SNDFILE and the byte source under it. libsndfile's open and close
/// share global state, so every open and close in the program is serialised
/// on one mutex; reading different SoundFiles on different threads is safe.
/// A SoundFile is used by one thread at a time.
///
/// MPEG files are opened through their scanned layout: libsndfile sees only
/// the frames (no tags or junk for its decoder to print complaints about) and
/// is not told where they end, since it would otherwise trust a length
/// estimated from the first frame's bitrate and stop reading there, cutting
/// off files that lack an info frame. Their true length is the layout's.
class SoundFile {
public:
    /// Null when the file is missing, unreadable, not a regular file (a pipe
    /// or a device is refused without waiting) or not a decodable sound.
    /// `mpeg` is the scanned layout of an MPEG file, null for other formats.
    static std::unique_ptr<SoundFile> openPath(const std::string& path,
                                               std::shared_ptr<const MpegLayout> mpeg = nullptr);
    static std::unique_ptr<SoundFile> openMemory(EncodedBytes bytes,
                                                 std::shared_ptr<const MpegLayout> mpeg = nullptr);

    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    int channels() const noexcept { return channels_; }
    int sampleRate() const noexcept { return sampleRate_; }
    /// libsndfile's SF_FORMAT_* bits (major format and subtype).
    int format() const noexcept { return format_; }
    /// libsndfile's frame count: what the header claims, which a damaged or
    /// hostile file may not hold; unknown (SF_COUNT_MAX) or wrong for MPEG,
    /// whose length is its layout's.
    std::int64_t reportedFrames() const noexcept { return reportedFrames_; }
    /// Bytes libsndfile reads from (for MPEG, its frames only).
    std::int64_t encodedBytes() const noexcept;

    /// Moves the read position to `frame`; true only when libsndfile landed
    /// exactly there. A failed seek may leave the file unreadable.
    bool seekTo(std::int64_t frame) noexcept;

    /// Reads up to numFrames interleaved frames into `out` (numFrames *
    /// channels() floats); returns how many; 0 at the end or on a decode error.
    std::size_t readFrames(float* out, std::size_t numFrames) noexcept;

    struct Source;  ///< the byte source libsndfile reads through (virtual I/O)

private:
    SoundFile() = default;
    static std::unique_ptr<SoundFile> open(std::unique_ptr<Source> source);

    std::unique_ptr<Source> source_;
    void* handle_ = nullptr;  ///< SNDFILE*
    int channels_ = 0;
    int sampleRate_ = 0;
    int format_ = 0;
    std::int64_t reportedFrames_ = 0;
};

/// Reads the whole of `path` into memory; null when it cannot be read or is
/// not a regular file.
EncodedBytes readFileBytes(const std::string& path);

/// The first bytes of `path` (fewer when it is shorter; none when it is
/// unreadable or not a regular file).
std::vector<unsigned char> readFileHead(const std::string& path, std::size_t numBytes);

}  // namespace audio
