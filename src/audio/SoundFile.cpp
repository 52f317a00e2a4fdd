// libsndfile opened through virtual I/O over a file descriptor or a byte buffer.
#include "audio/SoundFile.h"

#include "audio/RegularFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace audio {

namespace {

std::mutex& openMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

/// Either a regular file read with pread or a shared byte buffer, with our
/// own position so both behave alike. For MPEG the logical stream is the
/// layout's frame ranges laid end to end.
struct SoundFile::Source {
    std::optional<RegularFile> file;
    EncodedBytes bytes;
    std::shared_ptr<const MpegLayout> mpeg;
    sf_count_t size = 0;  ///< logical size
    sf_count_t position = 0;

    void setUp(sf_count_t fileSize) {
        size = fileSize;
        if (!mpeg) return;
        size = 0;
        for (const auto& range : mpeg->frameRanges) size += static_cast<sf_count_t>(range.end - range.begin);
    }

    sf_count_t readPhysical(void* out, sf_count_t offset, sf_count_t count) {
        if (bytes) {
            std::memcpy(out, bytes->data() + offset, static_cast<std::size_t>(count));
            return count;
        }
        return static_cast<sf_count_t>(
            file->readAt(static_cast<std::uint64_t>(offset), out, static_cast<std::size_t>(count)));
    }

    sf_count_t read(void* out, sf_count_t count) {
        auto* dst = static_cast<unsigned char*>(out);
        sf_count_t done = 0;
        count = std::min(count, size - position);
        if (!mpeg) {
            done = count > 0 ? readPhysical(dst, position, count) : 0;
            position += done;
            return done;
        }
        sf_count_t rangeStart = 0;  // logical offset of the current range
        for (const auto& range : mpeg->frameRanges) {
            if (done >= count) break;
            const auto length = static_cast<sf_count_t>(range.end - range.begin);
            if (position < rangeStart + length) {
                const sf_count_t within = position - rangeStart;
                const sf_count_t n = std::min(count - done, length - within);
                const sf_count_t got = readPhysical(dst + done, static_cast<sf_count_t>(range.begin) + within, n);
                done += got;
                position += got;
                if (got < n) break;
            }
            rangeStart += length;
        }
        return done;
    }

    sf_count_t seek(sf_count_t offset, int whence) {
        sf_count_t base = 0;
        if (whence == SEEK_CUR) base = position;
        else if (whence == SEEK_END) {
            if (mpeg) return -1;  // no estimating from the end (see header)
            base = size;
        }
        if (base + offset < 0) return -1;
        position = base + offset;
        return position;
    }
};

namespace {

sf_count_t vioLength(void* user) { return static_cast<SoundFile::Source*>(user)->size; }
sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    return static_cast<SoundFile::Source*>(user)->seek(offset, whence);
}
sf_count_t vioRead(void* out, sf_count_t count, void* user) {
    return static_cast<SoundFile::Source*>(user)->read(out, count);
}
sf_count_t vioTell(void* user) { return static_cast<SoundFile::Source*>(user)->position; }

}  // namespace

std::unique_ptr<SoundFile> SoundFile::openPath(const std::string& path, std::shared_ptr<const MpegLayout> mpeg) {
    std::optional<RegularFile> file = RegularFile::open(path);
    if (!file) return nullptr;
    auto source = std::make_unique<Source>();
    const auto size = static_cast<sf_count_t>(file->size());
    source->file = std::move(file);
    source->mpeg = std::move(mpeg);
    source->setUp(size);
    return open(std::move(source));
}

std::unique_ptr<SoundFile> SoundFile::openMemory(EncodedBytes bytes, std::shared_ptr<const MpegLayout> mpeg) {
    if (!bytes) return nullptr;
    auto source = std::make_unique<Source>();
    source->bytes = std::move(bytes);
    source->mpeg = std::move(mpeg);
    source->setUp(static_cast<sf_count_t>(source->bytes->size()));
    return open(std::move(source));
}

std::unique_ptr<SoundFile> SoundFile::open(std::unique_ptr<Source> source) {
    SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, nullptr, vioTell};
    SF_INFO info{};
    SNDFILE* handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(openMutex());
        handle = sf_open_virtual(&io, SFM_READ, &info, source.get());
    }
    if (handle == nullptr) return nullptr;
    std::unique_ptr<SoundFile> file(new SoundFile());
    file->source_ = std::move(source);
    file->handle_ = handle;
    file->channels_ = info.channels;
    file->sampleRate_ = info.samplerate;
    file->format_ = info.format;
    file->reportedFrames_ = info.frames;
    if (info.channels <= 0 || info.samplerate <= 0) return nullptr;  // closes it
    return file;
}

SoundFile::~SoundFile() {
    if (handle_ != nullptr) {
        std::lock_guard<std::mutex> lock(openMutex());
        sf_close(static_cast<SNDFILE*>(handle_));
    }
}

std::int64_t SoundFile::encodedBytes() const noexcept { return source_->size; }

bool SoundFile::seekTo(std::int64_t frame) noexcept {
    return sf_seek(static_cast<SNDFILE*>(handle_), static_cast<sf_count_t>(frame), SEEK_SET) == frame;
}

std::size_t SoundFile::readFrames(float* out, std::size_t numFrames) noexcept {
    const sf_count_t got =
        sf_readf_float(static_cast<SNDFILE*>(handle_), out, static_cast<sf_count_t>(numFrames));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::vector<unsigned char> readFileHead(const std::string& path, std::size_t numBytes) {
    const std::optional<RegularFile> file = RegularFile::open(path);
    if (!file) return {};
    std::vector<unsigned char> head(numBytes);
    head.resize(file->readAt(0, head.data(), numBytes));
    return head;
}

EncodedBytes readFileBytes(const std::string& path) {
    const std::optional<RegularFile> file = RegularFile::open(path);
    if (!file) return nullptr;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(file->size()));
    // A file that shrank meanwhile is refused rather than kept half.
    if (file->readAt(0, bytes.data(), bytes.size()) != bytes.size()) return nullptr;
    return std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
}

}  // namespace audio
