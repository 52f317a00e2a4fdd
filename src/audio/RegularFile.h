// Opening a file from the user's folders: regular files only, and never waiting.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace audio {

/// A read-only descriptor of a regular file, closed with the object. Sound
/// and plug-in folders may hold anything: a named pipe would block an
/// ordinary open until a writer comes, and a device such as /dev/zero never
/// ends. Both are refused here before anything is read. Any thread.
class RegularFile {
public:
    /// Nullopt when `path` is missing, unreadable or not a regular file (a
    /// symbolic link counts as what it points to). The type is looked at
    /// before opening, so a device is never opened at all, and the open itself
    /// does not wait, in case the entry was swapped for a pipe in between.
    static std::optional<RegularFile> open(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return std::nullopt;
        RegularFile file(fd);
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return std::nullopt;
        file.size_ = static_cast<std::uint64_t>(st.st_size);
        // Reads of a regular file do not wait anyway; plain blocking mode
        // keeps them free of EAGAIN.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return file;
    }

    RegularFile(RegularFile&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}
    RegularFile& operator=(RegularFile&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
            size_ = other.size_;
        }
        return *this;
    }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile() { reset(); }

    int fd() const noexcept { return fd_; }
    /// The size when it was opened.
    std::uint64_t size() const noexcept { return size_; }

    /// Hands the descriptor over to the caller, who closes it.
    int release() noexcept { return std::exchange(fd_, -1); }

    /// Reads up to `n` bytes at `offset`, retrying short reads; returns how
    /// many it got (fewer only at the end of the file or on an error).
    std::size_t readAt(std::uint64_t offset, void* out, std::size_t n) const noexcept {
        auto* dst = static_cast<unsigned char*>(out);
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd_, dst + done, n - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    explicit RegularFile(int fd) : fd_(fd) {}
    void reset() noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace audio
