// Making, keeping and comparing tokens.
#include "remote/Token.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace remote {

namespace {

constexpr std::size_t tokenBytes = 16;
constexpr std::size_t longestTokenFile = 4096;

bool tokenCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == '~';
}

/// A file descriptor closed on scope exit.
class FileHandle {
public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int get() const { return fd_; }
    /// Closes now; false when closing reported an error (a write that failed late).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::optional<std::string> readTokenFile(int fd, const std::string& path, std::string& error) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return std::nullopt;
    }
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = path + " can be read by others; make it private with: chmod 600 " + path;
        return std::nullopt;
    }
    std::string text;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > longestTokenFile) break;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!isWellFormedToken(text)) {
        error = path + " does not hold a token (one line of 16 to 256 letters, digits, '-', '_', '.' or '~')";
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::optional<std::string> makeToken() {
    std::array<unsigned char, tokenBytes> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        filled += static_cast<std::size_t>(n);
    }
    static constexpr char digits[] = "0123456789abcdef";
    std::string token;
    for (unsigned char byte : bytes) {
        token += digits[byte >> 4];
        token += digits[byte & 0x0f];
    }
    return token;
}

bool isWellFormedToken(std::string_view token) {
    if (token.size() < 16 || token.size() > 256) return false;
    for (char c : token) {
        if (!tokenCharacter(c)) return false;
    }
    return true;
}

std::optional<std::string> tokenFromFile(const std::string& path, std::string& error) {
    // Never waits on a FIFO; a link to a regular file is fine.
    FileHandle existing(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (existing.get() >= 0) return readTokenFile(existing.get(), path, error);
    if (errno != ENOENT) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::optional<std::string> token = makeToken();
    if (!token) {
        error = "the system gives no random numbers for a token";
        return std::nullopt;
    }
    // O_EXCL: never write through a file or link someone put there meanwhile.
    FileHandle created(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (created.get() < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    // The mode is 0600 whatever the umask says (a umask can only take bits away).
    const std::string line = *token + "\n";
    bool written = ::fchmod(created.get(), 0600) == 0 &&
                   ::write(created.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
    written = created.close() && written;
    if (!written) {
        ::unlink(path.c_str());
        error = "cannot write " + path;
        return std::nullopt;
    }
    return token;
}

bool sameToken(std::string_view given, std::string_view expected) {
    // Every byte of the expected token is looked at whatever was given, so
    // the time taken says nothing about how much of a guess was right.
    unsigned difference = given.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned>(static_cast<unsigned char>(g) ^ static_cast<unsigned char>(expected[i]));
    }
    return difference == 0;
}

}  // namespace remote
