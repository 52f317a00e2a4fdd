// The renderer's outputs: where each one really lands, and writing it safely.
#pragma once

#include "model/SoundCache.h"

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace gloam::render {

/// Where an output path really leads, found before anything is written.
struct OutputTarget {
    std::filesystem::path requested;  ///< as given, made absolute
    /// Symbolic links and ".." resolved as far as the path exists; the name
    /// the finished file gets. For a device or pipe: `requested` itself.
    std::filesystem::path real;
    bool exists = false;
    bool regular = false;  ///< false for a device, pipe or socket
    dev_t device = 0;      ///< with `inode`, the file's identity when it exists
    ino_t inode = 0;
    std::string error;     ///< set when the path cannot be an output at all
};

/// Resolves `path` (absolute). A folder, or a path that cannot be looked up,
/// comes back with `error` set.
OutputTarget resolveOutput(const std::filesystem::path& path);

/// What a render reads, so that no output overwrites it.
struct RenderInputs {
    std::filesystem::path adventure;             ///< empty: none
    std::vector<std::filesystem::path> folders;  ///< sounds, plugins, adventures
};

/// The one-line reason why these outputs may not be written, or empty. An
/// output is refused when it is the adventure file, lies anywhere inside one
/// of the input folders (by its path as written as well as resolved, so
/// neither a link inside an input folder that leads out of it nor one
/// outside that leads in hides it), or is the same file as another output.
/// Files are compared by device and inode (so links and other spellings are
/// seen through), names not yet taken by their resolved paths. `labels` names
/// each output in the message ("-o out.wav", ...).
std::string findOutputConflict(const std::vector<OutputTarget>& outputs, const std::vector<std::string>& labels,
                               const RenderInputs& inputs);

/// The one-line reason why these outputs may not be written, or empty: an
/// output that is one of the `opened` sound files (compared by identity, so a
/// sound reached through a link in sounds/ counts wherever it lies).
std::string findOpenedFileConflict(const std::vector<OutputTarget>& outputs, const std::vector<std::string>& labels,
                                   const std::map<gloam::SoundCache::FileIdentity, std::string>& opened);

/// One output being written. A regular file, or a name not taken yet, is
/// written under a temporary name in the same folder and renamed over the
/// target by commit(), so a failed render never leaves half a file under the
/// requested name; an existing file keeps its permissions. Anything else (a
/// device such as /dev/null, a pipe, a terminal) cannot be renamed into and
/// is written directly. Text is buffered; every write, close and rename is
/// checked and the first failure sticks. The temporary file is registered
/// with InterruptCleanup while it exists, so Ctrl-C leaves nothing behind.
/// Main thread only.
class OutputFile {
public:
    /// Opens the target (which must have no error); check ok().
    explicit OutputFile(const OutputTarget& target);
    /// Removes the temporary file unless commit() succeeded.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Appends text; false once anything has failed.
    bool write(std::string_view text);
    /// The open descriptor, for a writer that does its own output
    /// (libsndfile); not to be mixed with write().
    int descriptor() const { return fd_; }
    /// Whether the data lands in a regular file that can be read back.
    bool isRegularFile() const { return !temporary_.empty(); }
    /// Records a failure seen by a writer that uses descriptor().
    void fail(const std::string& reason);
    /// Writes what is buffered and closes; false on failure.
    bool close();
    /// After close(): gives the finished file its name; false on failure.
    bool commit();

    bool ok() const { return reason_.empty(); }
    /// "cannot write PATH: REASON", one line; empty while ok().
    std::string error() const;

private:
    bool flush();

    std::filesystem::path target_;
    std::filesystem::path temporary_;  ///< empty when written directly
    int interruptSlot_ = -1;           ///< where an interrupt finds temporary_
    int fd_ = -1;
    std::string buffer_;
    std::string reason_;
    bool committed_ = false;
};

}  // namespace gloam::render
