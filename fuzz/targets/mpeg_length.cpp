// Fuzz target: the MP3 length scanner on any file contents, in memory and on disk.
//
// The input's first byte b says where the rest lies in the file: at the start
// when b < 0xF0, else after 60 KiB + (b - 0xF0) x 512 zero bytes, so that
// small inputs also cross the 64 KiB blocks the file reader caches (rarely:
// scanning the zeros is most of such a run).
#include "FuzzTarget.h"
#include "audio/MpegLength.h"

#include <fstream>
#include <vector>

namespace fuzz {

namespace {

/// The layout describes the bytes it was scanned from.
void checkLayout(const audio::MpegLayout& layout, std::uint64_t size) {
    std::uint64_t previousEnd = 0;
    std::uint64_t frameBytes = 0;
    for (const auto& range : layout.frameRanges) {
        check(range.begin >= previousEnd, "frame ranges overlap or are out of order");
        check(range.begin <= range.end && range.end <= size, "a frame range outside the file");
        previousEnd = range.end;
        frameBytes += range.end - range.begin;
    }
    check(layout.pcmFrames >= 0, "a negative length");
    // The densest valid frames, MPEG-2 layer II at 8 kbit/s and 24 kHz, hold
    // 1152 samples in 48 bytes.
    check(static_cast<std::uint64_t>(layout.pcmFrames) <= frameBytes * 24, "more samples than the frames can hold");
}

}  // namespace

int mpegLengthInput(const std::uint8_t* data, std::size_t size) {
    InputReader input(data, size);
    const std::uint8_t layout = input.byte();
    const std::size_t padding = layout < 0xF0 ? 0 : 61440u + (layout - 0xF0u) * 512u;
    std::vector<unsigned char> bytes(padding, 0);
    const std::string_view rest = input.rest();
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    const auto inMemory = audio::scanMpeg(bytes);
    if (inMemory) checkLayout(*inMemory, bytes.size());

    // The file reader hops through a block cache: it must see what memory sees.
    const auto path = scratchFolder() / "input.mp3";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    const auto onDisk = audio::scanMpegFile(path.string());
    check(inMemory.has_value() == onDisk.has_value(), "file and memory scans disagree on whether frames exist");
    if (inMemory) {
        check(inMemory->pcmFrames == onDisk->pcmFrames, "file and memory scans disagree on the length");
        check(inMemory->frameRanges.size() == onDisk->frameRanges.size(), "file and memory scans disagree on the frames");
        for (std::size_t i = 0; i < inMemory->frameRanges.size(); ++i) {
            check(inMemory->frameRanges[i].begin == onDisk->frameRanges[i].begin &&
                      inMemory->frameRanges[i].end == onDisk->frameRanges[i].end,
                  "file and memory scans disagree on the frames");
        }
    }
    return 0;
}

}  // namespace fuzz

GLOAM_FUZZ_TARGET(fuzz::mpegLengthInput)
