// Trying plug-in files and plug-in settings in a short-lived child process first.
#pragma once

#include "audio/PluginDescription.h"
#include "audio/PluginVerdictCache.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace audio {

/// A plug-in library runs its own code as soon as it is opened, and a
/// damaged one (a tail of zeros left by an interrupted copy, flipped bytes)
/// can crash or hang whoever opens it; a sound one can crash or hang on
/// values it declares valid. So each file, and each plug-in with each set of
/// values, is first tried by a small probe program in a child process, which
/// must answer completely and exit cleanly within the timeout; only what
/// passed is let into this process. Verdicts are kept in a cache file by the
/// file's real path, device, inode, size and times, so a later start pays
/// nothing for files it has seen.
///
/// The child is started with posix_spawn (safe in a process that runs other
/// threads), in a process group of its own, with no terminal and no other
/// open descriptor, every signal at its default, and is killed when it
/// overstays. Main thread only; each probe blocks the caller for at most
/// the timeout.
class PluginQuarantine {
public:
    struct Config {
        std::string probePath;  ///< the probe program; empty: defaultProbePath()
        /// The verdict file; empty: defaultCacheFile(); "-": memory only.
        std::string cacheFile;
        std::chrono::milliseconds timeout{1000};
    };

    explicit PluginQuarantine(Config config);

    /// The library's plug-ins, when a probe opened `path`, read every
    /// descriptor and closed it again, and answered in time. Nullopt when
    /// the file is no whole shared object of this machine (seen without
    /// running anything), the probe crashed, hung or is missing, or the file
    /// cannot be identified. An empty list: a library without plug-ins.
    std::optional<std::vector<PluginDescription>> examineLibrary(const std::string& path);

    /// Whether descriptor `index` of library `path`, made at `sampleRate`
    /// for a bus of `numChannels` channels with parameter `values` (in
    /// control-port order), survives being made, activated, run over a few
    /// blocks of silence and of a tone, and taken down again, in a probe.
    bool runsWith(const std::string& path, unsigned long index, int sampleRate, int numChannels,
                  const std::vector<float>& values);

    /// Child processes started so far (for tests: a cached verdict starts none).
    std::size_t probesStarted() const { return probesStarted_; }

    /// The probe installed beside the running program
    /// ("gloam-plugin-probe" in the folder of /proc/self/exe), unless the
    /// environment's GLOAM_PLUGIN_PROBE names another.
    static std::string defaultProbePath();
    /// "plugin-verdicts" in $XDG_CACHE_HOME/gloam, else in ~/.cache/gloam;
    /// empty when neither can be found.
    static std::string defaultCacheFile();

    /// Blocks the probe runs over in its trial: enough for a plug-in that
    /// fails on its first buffers or after a few (a delay line wrapping).
    static constexpr int kTrialBlocks = 16;

private:
    /// Runs the probe with `arguments`; its whole standard output when it
    /// exited with 0 within the timeout, else nullopt.
    std::optional<std::string> runProbe(const std::vector<std::string>& arguments);
    /// The real path of what `path` names now, and "real path, device,
    /// inode, size, times" to key its verdicts by; nullopt when it is no
    /// regular file.
    struct Identity {
        std::string realPath;
        std::string key;
    };
    static std::optional<Identity> identify(const std::string& path);

    Config config_;
    PluginVerdictCache cache_;
    std::size_t probesStarted_ = 0;
};

}  // namespace audio
