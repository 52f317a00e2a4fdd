// Running the plug-in probe in a child process, with a deadline, and caching its verdicts.
#include "audio/PluginQuarantine.h"

#include "audio/LadspaLibrary.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace audio {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kProbeName = "gloam-plugin-probe";
/// A description of even a large library is a few kilobytes; more is no answer.
constexpr std::size_t kMaxAnswerBytes = std::size_t{1} << 20;

std::string exactFloat(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    return text;
}

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

/// Waits for `pid` to end until `deadline`; kills its group and reaps it if
/// it is still there then. True when it exited by itself with status 0.
bool reap(pid_t pid, Clock::time_point deadline) {
    int status = 0;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            if (pidfd >= 0) ::close(pidfd);
            return false;
        }
        const int left = millisecondsLeft(deadline);
        if (left == 0) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (pidfd >= 0) ::close(pidfd);
            return false;
        }
        if (pidfd >= 0) {
            pollfd ready{pidfd, POLLIN, 0};
            ::poll(&ready, 1, left);
        } else {
            ::usleep(1000);  // no pidfd on this kernel: look again shortly
        }
    }
    if (pidfd >= 0) ::close(pidfd);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

PluginQuarantine::PluginQuarantine(Config config)
    : config_(std::move(config)),
      cache_(config_.cacheFile == "-" ? std::string()
                                      : (config_.cacheFile.empty() ? defaultCacheFile() : config_.cacheFile)) {
    if (config_.probePath.empty()) config_.probePath = defaultProbePath();
}

std::string PluginQuarantine::defaultProbePath() {
    if (const char* named = std::getenv("GLOAM_PLUGIN_PROBE"); named != nullptr && *named != '\0') return named;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return kProbeName;
    // Beside the program in a build folder; under libexec/ once installed.
    const fs::path beside = self.parent_path() / kProbeName;
    const fs::path installed = self.parent_path().parent_path() / "libexec" / "gloam" / kProbeName;
    if (!fs::exists(beside, error) && fs::exists(installed, error)) return installed.string();
    return beside.string();
}

std::string PluginQuarantine::defaultCacheFile() {
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    if (cacheHome != nullptr && *cacheHome == '/') return (fs::path(cacheHome) / "gloam" / "plugin-verdicts").string();
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/') return (fs::path(home) / ".cache" / "gloam" / "plugin-verdicts").string();
    return {};
}

std::optional<PluginQuarantine::Identity> PluginQuarantine::identify(const std::string& path) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    if (error) return std::nullopt;
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    // The change time cannot be set back by a copy that keeps the
    // modification time, so a file rewritten in place is seen as new.
    return Identity{real.string(), real.string() + '\t' + std::to_string(st.st_dev) + ' ' + std::to_string(st.st_ino) + ' ' +
           std::to_string(st.st_size) + ' ' + std::to_string(st.st_mtim.tv_sec) + '.' +
           std::to_string(st.st_mtim.tv_nsec) + ' ' + std::to_string(st.st_ctim.tv_sec) + '.' +
           std::to_string(st.st_ctim.tv_nsec)};
}

std::optional<std::vector<PluginDescription>> PluginQuarantine::examineLibrary(const std::string& path) {
    // A file that is no whole shared object is refused without a child.
    if (!LadspaLibrary::looksLoadable(path)) return std::nullopt;
    const std::optional<Identity> identity = identify(path);
    if (!identity) return std::nullopt;
    const std::string key = "library\t" + identity->key;
    std::optional<std::string> verdict = cache_.find(key);
    if (!verdict) {
        const std::optional<std::string> answer = runProbe({"describe", identity->realPath});
        verdict = answer && parseDescriptions(*answer) ? "ok\n" + *answer : "refused";
        cache_.store(key, *verdict);
    }
    if (verdict->rfind("ok\n", 0) != 0) return std::nullopt;
    return parseDescriptions(verdict->substr(3));
}

bool PluginQuarantine::runsWith(const std::string& path, unsigned long index, int sampleRate, int numChannels,
                                const std::vector<float>& values) {
    const std::optional<Identity> identity = identify(path);
    if (!identity) return false;
    std::vector<std::string> arguments{"run",
                                       identity->realPath,
                                       std::to_string(index),
                                       std::to_string(sampleRate),
                                       std::to_string(numChannels)};
    std::string request = std::to_string(index) + ' ' + std::to_string(sampleRate) + ' ' + std::to_string(numChannels);
    for (const float value : values) {
        arguments.push_back(exactFloat(value));
        request += ' ' + arguments.back();
    }
    const std::string key = "run\t" + identity->key + '\t' + request;
    std::optional<std::string> verdict = cache_.find(key);
    if (!verdict) {
        const std::optional<std::string> answer = runProbe(arguments);
        verdict = answer && *answer == "ran\n" ? "ran" : "failed";
        cache_.store(key, *verdict);
    }
    return *verdict == "ran";
}

std::optional<std::string> PluginQuarantine::runProbe(const std::vector<std::string>& arguments) {
    const Clock::time_point deadline = Clock::now() + config_.timeout;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    // A crash report would land on the player's screen.
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    std::vector<std::string> words{config_.probePath};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, config_.probePath.c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return std::nullopt;
    }
    ++probesStarted_;

    std::string answer;
    bool whole = false;
    for (;;) {
        pollfd ready{fds[0], POLLIN, 0};
        const int left = millisecondsLeft(deadline);
        if (left == 0) break;
        const int polled = ::poll(&ready, 1, left);
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) break;
        char buffer[4096];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            whole = n == 0;
            break;
        }
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() > kMaxAnswerBytes) break;
    }
    ::close(fds[0]);
    const bool exitedCleanly = reap(pid, whole ? deadline : Clock::now());
    if (!whole || !exitedCleanly) return std::nullopt;
    return answer;
}

}  // namespace audio
