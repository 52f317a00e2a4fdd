// MPEG frame header walking for exact MP3 lengths.
#include "audio/MpegLength.h"

#include "audio/RegularFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace audio {

namespace {

/// Reads `n` bytes at `offset`; returns how many it got.
using ReadAt = std::function<std::size_t(std::uint64_t offset, unsigned char* out, std::size_t n)>;

struct FrameHeader {
    int version = 0;  ///< 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5
    int layer = 0;    ///< 1, 2 or 3
    int sampleRate = 0;
    bool mono = false;
    std::uint32_t frameBytes = 0;
    std::uint32_t samplesPerFrame = 0;

    bool sameStream(const FrameHeader& other) const {
        return version == other.version && layer == other.layer && sampleRate == other.sampleRate;
    }
};

constexpr std::array<std::array<int, 16>, 5> kBitrateKbps{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 L1
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 L2
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 L3
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 L1
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 L2/L3
}};

std::optional<FrameHeader> parseHeader(const unsigned char* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return std::nullopt;
    FrameHeader f;
    f.version = (h[1] >> 3) & 3;
    const int layerBits = (h[1] >> 1) & 3;
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    // Free format (bitrate 0) has no size in its header: not scannable.
    if (f.version == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3) {
        return std::nullopt;
    }
    f.layer = 4 - layerBits;
    static constexpr int kRates[3] = {44100, 48000, 32000};
    f.sampleRate = kRates[rateIndex] >> (f.version == 3 ? 0 : f.version == 2 ? 1 : 2);
    const bool mpeg1 = f.version == 3;
    const int table = mpeg1 ? f.layer - 1 : (f.layer == 1 ? 3 : 4);
    const std::uint32_t bitrate = static_cast<std::uint32_t>(kBitrateKbps[table][bitrateIndex]) * 1000;
    const std::uint32_t padding = (h[2] >> 1) & 1;
    const auto rate = static_cast<std::uint32_t>(f.sampleRate);
    if (f.layer == 1) {
        f.samplesPerFrame = 384;
        f.frameBytes = (12 * bitrate / rate + padding) * 4;
    } else if (f.layer == 2 || mpeg1) {
        f.samplesPerFrame = 1152;
        f.frameBytes = 144 * bitrate / rate + padding;
    } else {
        f.samplesPerFrame = 576;
        f.frameBytes = 72 * bitrate / rate + padding;
    }
    f.mono = (h[3] >> 6) == 3;
    return f;
}

std::uint32_t readBigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

/// Encoder delay plus padding from a Xing/Info frame's LAME extension, or
/// nullopt when `frame` is not an info frame at all.
std::optional<std::int64_t> infoFrameTrim(const FrameHeader& f, const std::vector<unsigned char>& frame) {
    const std::size_t sideInfo = f.version == 3 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17);
    std::size_t p = 4 + sideInfo;
    if (f.layer != 3 || p + 8 > frame.size()) return std::nullopt;
    if (std::memcmp(&frame[p], "Xing", 4) != 0 && std::memcmp(&frame[p], "Info", 4) != 0) {
        return std::nullopt;
    }
    const std::uint32_t flags = readBigEndian32(&frame[p + 4]);
    p += 8;
    if (flags & 1) p += 4;    // frame count
    if (flags & 2) p += 4;    // byte count
    if (flags & 4) p += 100;  // seek table
    if (flags & 8) p += 4;    // quality
    // LAME extension: 21 bytes of encoder and gain fields, then 12 bits of
    // delay and 12 bits of padding.
    if (p + 24 > frame.size()) return 0;
    const unsigned char* d = &frame[p + 21];
    const std::int64_t delay = (d[0] << 4) | (d[1] >> 4);
    const std::int64_t padding = ((d[1] & 0x0F) << 8) | d[2];
    return delay + padding;
}

std::optional<MpegLayout> scan(std::uint64_t size, const ReadAt& readAt) {
    std::uint64_t pos = 0;
    unsigned char h[10];
    // ID3v2 tags (possibly several, possibly holding megabytes of artwork).
    while (readAt(pos, h, 10) == 10 && std::memcmp(h, "ID3", 3) == 0) {
        const std::uint64_t body = (std::uint64_t{h[6] & 0x7Fu} << 21) | (std::uint64_t{h[7] & 0x7Fu} << 14) |
                                   (std::uint64_t{h[8] & 0x7Fu} << 7) | std::uint64_t{h[9] & 0x7Fu};
        pos += 10 + body + ((h[5] & 0x10) ? 10 : 0);
    }

    const auto headerAt = [&](std::uint64_t at) -> std::optional<FrameHeader> {
        unsigned char b[4];
        if (readAt(at, b, 4) != 4) return std::nullopt;
        return parseHeader(b);
    };
    // A frame counts as found when it fits in the file and is followed by
    // another frame of the same stream (or by the end), which rules out most
    // false syncs inside junk and tags.
    const auto confirmedAt = [&](std::uint64_t at, const FrameHeader* like) -> std::optional<FrameHeader> {
        auto f = headerAt(at);
        if (!f || (like != nullptr && !f->sameStream(*like))) return std::nullopt;
        const std::uint64_t next = at + f->frameBytes;
        if (next > size) return std::nullopt;
        if (next == size) return f;
        auto g = headerAt(next);
        if (!g || !g->sameStream(*f)) return std::nullopt;
        return f;
    };
    // Searched in blocks that start small and double: a stray byte between
    // two frames costs little however often it occurs, and a long run of
    // junk or artwork is still read in large pieces.
    std::vector<unsigned char> block;
    const auto resync = [&](std::uint64_t from, const FrameHeader* like) -> std::optional<std::uint64_t> {
        std::size_t blockBytes = 256;
        for (std::uint64_t start = from; start + 4 <= size;) {
            block.resize(blockBytes);
            const std::size_t got = readAt(start, block.data(), block.size());
            for (std::size_t i = 0; i + 1 < got; ++i) {
                if (block[i] == 0xFF && (block[i + 1] & 0xE0) == 0xE0 && confirmedAt(start + i, like)) {
                    return start + i;
                }
            }
            if (got < block.size()) break;
            start += got - 1;  // its last byte may begin a sync word
            blockBytes = std::min<std::size_t>(blockBytes * 2, 65536);
        }
        return std::nullopt;
    };

    const auto firstPos = resync(pos, nullptr);
    if (!firstPos) return std::nullopt;
    pos = *firstPos;
    const std::optional<FrameHeader> firstHeader = headerAt(pos);
    if (!firstHeader) return std::nullopt;  // the file changed under us
    const FrameHeader first = *firstHeader;

    MpegLayout layout;
    std::int64_t samples = 0;
    std::vector<unsigned char> firstFrame(first.frameBytes);
    readAt(pos, firstFrame.data(), firstFrame.size());
    const std::optional<std::int64_t> trim = infoFrameTrim(first, firstFrame);
    layout.frameRanges.push_back({pos, pos});
    if (trim) {
        pos += first.frameBytes;  // the info frame carries no audio
        layout.frameRanges.back().end = pos;
    }

    while (pos < size) {
        auto f = headerAt(pos);
        if (f && f->sameStream(first) && pos + f->frameBytes <= size) {
            samples += f->samplesPerFrame;
            pos += f->frameBytes;
            layout.frameRanges.back().end = pos;
            continue;
        }
        const auto next = resync(pos + 1, &first);  // junk, or trailing tags
        if (!next) break;
        pos = *next;
        layout.frameRanges.push_back({pos, pos});
    }
    if (samples == 0) return std::nullopt;
    if (trim) samples = std::max<std::int64_t>(0, samples - *trim);
    layout.pcmFrames = samples;
    return layout;
}

}  // namespace

bool looksLikeMpeg(const unsigned char* head, std::size_t size) {
    if (size < 3) return false;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3') return true;
    return head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
}

std::optional<MpegLayout> scanMpeg(const std::vector<unsigned char>& bytes) {
    return scan(bytes.size(), [&](std::uint64_t offset, unsigned char* out, std::size_t n) -> std::size_t {
        if (offset >= bytes.size()) return 0;
        const std::size_t count = std::min<std::uint64_t>(n, bytes.size() - offset);
        std::memcpy(out, bytes.data() + offset, count);
        return count;
    });
}

std::optional<MpegLayout> scanMpegFile(const std::string& path) {
    const std::optional<RegularFile> file = RegularFile::open(path);
    if (!file) return std::nullopt;
    // Header reads hop forward a frame at a time; a block cache turns them
    // into few large reads.
    std::vector<unsigned char> cache(1 << 16);
    std::uint64_t cacheStart = 0;
    std::size_t cacheSize = 0;
    return scan(file->size(), [&](std::uint64_t offset, unsigned char* out, std::size_t n) -> std::size_t {
        if (n > cache.size()) return file->readAt(offset, out, n);
        if (offset < cacheStart || offset + n > cacheStart + cacheSize) {
            cacheStart = offset;
            cacheSize = file->readAt(offset, cache.data(), cache.size());
        }
        const std::size_t count = std::min<std::uint64_t>(n, cacheStart + cacheSize - offset);
        std::memcpy(out, cache.data() + (offset - cacheStart), count);
        return count;
    });
}

}  // namespace audio
