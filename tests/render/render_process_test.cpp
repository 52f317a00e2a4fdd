// The real gloam-render process: interrupted, cut off by its reader, unable to write.
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::readText;
using testsupport::writeSine;
using testsupport::writeText;

/// How long a test waits for what the process should do at once.
constexpr int patienceMs = 20000;

/// gloam-render started in the working folder, with its standard output and
/// error going to files; killed on destruction if still running.
class RunningRender {
public:
    explicit RunningRender(const std::vector<std::string>& arguments, const std::string& standardOutput = "/dev/null") {
        std::vector<char*> argv;
        std::vector<std::string> all = {"gloam-render"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        for (std::string& argument : all) argv.push_back(argument.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, standardOutput.c_str(), O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&files, 2, "err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Whatever the test runner ignores, the render starts with the usual actions.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t usual;
        sigemptyset(&usual);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&usual, signal);
        posix_spawnattr_setsigdefault(&attributes, &usual);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        EXPECT_EQ(posix_spawn(&pid_, GLOAM_RENDER_BINARY, &files, &attributes, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attributes);
    }
    ~RunningRender() {
        if (pid_ > 0 && !status_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

    /// The wait status once the process has ended, or none after the patience ran out.
    std::optional<int> waitForExit() {
        const int handle = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (handle >= 0) {
            pollfd ended{handle, POLLIN, 0};
            ::poll(&ended, 1, patienceMs);
            ::close(handle);
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
        return status_;
    }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

/// Waits until a file whose name starts with `prefix` is written to in the
/// working folder; false after the patience ran out.
class WriteWatch {
public:
    WriteWatch() : fd_(::inotify_init1(IN_CLOEXEC)) { ::inotify_add_watch(fd_, ".", IN_MODIFY); }
    ~WriteWatch() { ::close(fd_); }
    bool waitFor(const std::string& prefix) const {
        alignas(inotify_event) char buffer[4096];
        pollfd ready{fd_, POLLIN, 0};
        while (::poll(&ready, 1, patienceMs) > 0) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && std::string(event->name).rfind(prefix, 0) == 0) return true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return false;
    }

private:
    int fd_;
};

std::vector<std::string> namesHere() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

class RenderProcess : public ::testing::Test {
protected:
    RenderProcess() {
        writeSine("sounds/tone.wav", 1000);
        writeText("adventures/test.xml", R"(<a><scene><sound src="tone.wav" autoStart="1" loopCount="-1"/></scene></a>)");
    }
    testsupport::ScopedWorkDir workDir;
};

TEST_F(RenderProcess, AnInterruptedRenderLeavesNoTemporaryFilesAndEndsByItsSignal) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const WriteWatch watch;
        RunningRender render({"--adventure", "adventures/test.xml", "--rate", "8000", "--seconds", "1000000", "-o",
                              "out.wav", "--trace", "trace.tsv"});
        ASSERT_TRUE(watch.waitFor(".out.wav.")) << "the render never began writing; " << readText("err.txt");
        ASSERT_EQ(::kill(render.pid(), signal), 0);
        const std::optional<int> status = render.waitForExit();
        ASSERT_TRUE(status) << "the render did not end on signal " << signal;
        ASSERT_TRUE(WIFSIGNALED(*status)) << "signal " << signal << ", exit " << WEXITSTATUS(*status);
        EXPECT_EQ(WTERMSIG(*status), signal);
        EXPECT_EQ(namesHere(), (std::vector<std::string>{"adventures", "err.txt", "sounds"})) << "signal " << signal;
    }
}

TEST_F(RenderProcess, ARenderIntoAPipeWhoseReaderQuitsEndsWithOneLineAndExitCodeTwo) {
    ASSERT_EQ(::mkfifo("out.flac", 0600), 0);
    // Opened first without waiting, so the render's open finds a reader.
    const int reader = ::open("out.flac", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    RunningRender render({"--adventure", "adventures/test.xml", "--rate", "8000", "--seconds", "1000000", "-o", "out.flac"});
    pollfd ready{reader, POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, patienceMs), 1) << readText("err.txt");
    char buffer[256];
    EXPECT_GT(::read(reader, buffer, sizeof buffer), 0);
    ::close(reader);

    const std::optional<int> status = render.waitForExit();
    ASSERT_TRUE(status) << "the render went on without a reader";
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(WEXITSTATUS(*status), 2);
    const std::string messages = readText("err.txt");
    EXPECT_EQ(lineCount(messages), 1u) << messages;
    EXPECT_NE(messages.find("cannot write"), std::string::npos) << messages;
}

TEST_F(RenderProcess, HelpThatCannotBeWrittenIsOneLineAndExitCodeTwo) {
    RunningRender help({"--help"}, "/dev/full");
    const std::optional<int> status = help.waitForExit();
    ASSERT_TRUE(status && WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 2);
    EXPECT_EQ(lineCount(readText("err.txt")), 1u) << readText("err.txt");
}

}  // namespace
