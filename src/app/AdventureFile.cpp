// Opening, screening and parsing adventure files.
#include "app/AdventureFile.h"

#include <tinyxml2.h>

#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gloam {

namespace {

/// An open file descriptor, closed on destruction.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool readRegularFile(const std::string& path, std::string& text) {
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) return false;
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    if (status.st_size > 0) text.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

std::size_t mostAttributesOnOneElement(std::string_view xml) {
    std::size_t most = 0;
    std::size_t at = 0;
    // Moves past the next `end`, or to the end of the text.
    auto skipPast = [&](std::string_view end) {
        std::size_t found = xml.find(end, at);
        at = found == std::string_view::npos ? xml.size() : found + end.size();
    };
    while ((at = xml.find('<', at)) != std::string_view::npos) {
        std::string_view rest = xml.substr(at);
        if (rest.starts_with("<!--")) {
            at += 4;
            skipPast("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            at += 9;
            skipPast("]]>");
        } else if (rest.starts_with("<?")) {
            at += 2;
            skipPast("?>");
        } else if (rest.starts_with("<!")) {
            // A DOCTYPE or the like: the parser takes it up to the first '>'.
            at += 2;
            skipPast(">");
        } else {
            // A tag: every attribute has exactly one '=' outside its quotes.
            std::size_t attributes = 0;
            ++at;
            while (at < xml.size() && xml[at] != '>') {
                const char c = xml[at];
                if (c == '"' || c == '\'') {
                    std::size_t close = xml.find(c, at + 1);
                    at = close == std::string_view::npos ? xml.size() : close + 1;
                    continue;
                }
                if (c == '=') ++attributes;
                ++at;
            }
            if (attributes > most) most = attributes;
        }
    }
    return most;
}

bool readAdventureFile(const std::string& path, tinyxml2::XMLDocument& document) {
    std::string text;
    if (!readRegularFile(path, text)) return false;
    if (mostAttributesOnOneElement(text) > maxAttributesPerElement) return false;
    return document.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
}

}  // namespace gloam
