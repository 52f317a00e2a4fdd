// Resolving, checking and safely writing the renderer's outputs.
#include "OutputFile.h"

#include "InterruptCleanup.h"
#include "TextEscape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace gloam::render {

namespace fs = std::filesystem;

namespace {

/// Text beyond this is handed to the kernel at once.
constexpr std::size_t bufferBytes = 64 * 1024;

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity&) const = default;
};

/// The identity of what `path` leads to, or false when it does not exist.
bool identify(const fs::path& path, Identity& identity) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    identity = {info.st_dev, info.st_ino};
    return true;
}

std::string quoted(const fs::path& path) { return quoteForMessage(path.string(), 200); }

}  // namespace

OutputTarget resolveOutput(const fs::path& path) {
    OutputTarget target;
    target.requested = path;
    target.real = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        target.exists = true;
        target.device = info.st_dev;
        target.inode = info.st_ino;
        target.regular = S_ISREG(info.st_mode);
        if (S_ISDIR(info.st_mode)) {
            target.error = quoted(path) + " is a folder";
        } else if (target.regular) {
            std::error_code error;
            target.real = fs::canonical(path, error);
            if (error) target.error = "cannot resolve " + quoted(path) + ": " + error.message();
        }
        return target;
    }
    if (errno != ENOENT) {
        target.error = "cannot write " + quoted(path) + ": " + std::strerror(errno);
        return target;
    }
    // A new file: resolve the folders it goes into.
    std::error_code error;
    target.real = fs::weakly_canonical(path, error);
    if (error) target.error = "cannot resolve " + quoted(path) + ": " + error.message();
    target.regular = true;
    return target;
}

std::string findOutputConflict(const std::vector<OutputTarget>& outputs, const std::vector<std::string>& labels,
                               const RenderInputs& inputs) {
    Identity adventure;
    const bool haveAdventure = !inputs.adventure.empty() && identify(inputs.adventure, adventure);
    std::vector<std::pair<Identity, fs::path>> folders;
    for (const auto& folder : inputs.folders) {
        Identity identity;
        if (identify(folder, identity)) folders.emplace_back(identity, folder);
    }
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const OutputTarget& output = outputs[i];
        const std::string& named = labels[i];
        if (haveAdventure && output.exists && Identity{output.device, output.inode} == adventure) {
            return named + " is the adventure being rendered";
        }
        // Every folder on the way, by identity, so that no link or ".." hides
        // an input folder: on the resolved path, and on the path as written,
        // where a linked sub-folder of sounds/ still shows.
        for (const fs::path& path : {output.real, output.requested}) {
            for (fs::path folder = path.parent_path(); !folder.empty(); folder = folder.parent_path()) {
                Identity identity;
                if (identify(folder, identity)) {
                    for (const auto& [inputIdentity, inputFolder] : folders) {
                        if (identity == inputIdentity) {
                            return named + " lies in the folder " + quoted(inputFolder.filename()) +
                                   ", which the render reads";
                        }
                    }
                }
                if (folder == folder.root_path()) break;
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            const OutputTarget& other = outputs[j];
            const bool same = output.exists && other.exists
                                  ? Identity{output.device, output.inode} == Identity{other.device, other.inode}
                                  : output.real == other.real;
            if (same) return named + " is the same file as " + labels[j];
        }
    }
    return {};
}

std::string findOpenedFileConflict(const std::vector<OutputTarget>& outputs, const std::vector<std::string>& labels,
                                   const std::map<gloam::SoundCache::FileIdentity, std::string>& opened) {
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        if (!outputs[i].exists) continue;
        const auto found = opened.find({outputs[i].device, outputs[i].inode});
        if (found != opened.end()) return labels[i] + " is the sound file " + quoteForMessage(found->second, 200) + ", which the adventure plays";
    }
    return {};
}

OutputFile::OutputFile(const OutputTarget& target) : target_(target.real) {
    if (target.exists && !target.regular) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) reason_ = std::strerror(errno);
        return;
    }
    // A short, hidden name beside the target, so that the rename stays on
    // one file system and a leftover after a crash is recognisable.
    std::string hidden = ".";
    hidden.append(target_.filename().string(), 0, 200).append(".XXXXXX");
    std::string pattern = target_.parent_path() / hidden;
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        reason_ = std::strerror(errno);
        return;
    }
    temporary_ = pattern;
    interruptSlot_ = InterruptCleanup::add(pattern);
    mode_t mode = 0;
    if (target.exists) {
        struct stat info {};
        mode = ::stat(target_.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd_, mode) != 0) reason_ = std::strerror(errno);
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty() && !committed_) ::unlink(temporary_.c_str());
    InterruptCleanup::remove(interruptSlot_);
}

bool OutputFile::write(std::string_view text) {
    if (!ok()) return false;
    buffer_.append(text);
    return buffer_.size() < bufferBytes || flush();
}

bool OutputFile::flush() {
    std::size_t written = 0;
    while (written < buffer_.size() && ok()) {
        const ssize_t count = ::write(fd_, buffer_.data() + written, buffer_.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
        } else if (count < 0 && errno != EINTR) {
            reason_ = std::strerror(errno);
        } else if (count == 0) {
            reason_ = "nothing could be written";
        }
    }
    buffer_.clear();
    return ok();
}

void OutputFile::fail(const std::string& reason) {
    if (ok()) reason_ = reason.empty() ? "write failed" : reason;
}

bool OutputFile::close() {
    if (fd_ < 0) return ok();
    flush();
    if (::close(fd_) != 0 && ok()) reason_ = std::strerror(errno);
    fd_ = -1;
    return ok();
}

bool OutputFile::commit() {
    if (!ok() || fd_ >= 0) return false;
    if (temporary_.empty()) return true;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        reason_ = std::strerror(errno);
        return false;
    }
    committed_ = true;
    InterruptCleanup::remove(interruptSlot_);
    interruptSlot_ = -1;
    return true;
}

std::string OutputFile::error() const {
    if (ok()) return {};
    return "cannot write " + quoted(target_) + ": " + quoteForMessage(reason_, 200);
}

}  // namespace gloam::render
