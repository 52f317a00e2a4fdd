// The true length of an MPEG audio (MP3) file, from its frame headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace audio {

/// Where an MPEG stream's frames lie in its file and what they decode to.
struct MpegLayout {
    struct ByteRange {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    /// Runs of consecutive valid frames (the Xing/Info frame included), in
    /// file order; tags, artwork and junk lie outside them.
    std::vector<ByteRange> frameRanges;
    /// PCM frames the stream decodes to (see scanMpeg).
    std::int64_t pcmFrames = 0;
};

/// True when a file starting with these bytes is an MPEG audio candidate: an
/// ID3v2 tag or a frame sync (every other format we read has a magic word).
bool looksLikeMpeg(const unsigned char* head, std::size_t size);

/// Finds the PCM frames an MPEG layer I/II/III stream decodes to, by walking
/// its frame headers (no decoding): skips ID3v2 tags, however large their
/// pictures, and trailing tags or junk; excludes the Xing/Info frame and
/// trims the encoder delay and padding its LAME extension records (as the
/// decoder's gapless mode does). Does not trust the Xing frame count, which
/// may be missing or wrong. Nullopt when no run of valid frames is found
/// (including free-format streams, whose frame sizes headers do not give).
/// The file's layout is returned too, so that the decoder can be shown the
/// frames alone: it then never meets tags or junk, which it would otherwise
/// complain about on stderr.
std::optional<MpegLayout> scanMpeg(const std::vector<unsigned char>& bytes);
std::optional<MpegLayout> scanMpegFile(const std::string& path);

}  // namespace audio
