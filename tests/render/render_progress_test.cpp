// The real gloam-render on a terminal and with its messages in a file.
#include "RenderTestSupport.h"

#include <chrono>
#include <regex>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

namespace {

/// Runs gloam-render with `arguments`, its standard error on `errorFd`
/// (standard output goes nowhere). Returns the exit status.
int runRenderer(const std::vector<std::string>& arguments, int errorFd) {
    std::vector<char*> argv{const_cast<char*>("gloam-render")};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int nowhere = ::open("/dev/null", O_RDWR);
        ::dup2(nowhere, 0);
        ::dup2(nowhere, 1);
        ::dup2(errorFd, 2);
        ::execv(GLOAM_RENDER_BINARY, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

/// A render of `seconds` that takes long enough (half a second or more in a
/// sanitizer build) for the progress line to move.
std::vector<std::string> renderOf(const char* seconds) {
    writeSine("sounds/tone.wav", 1000);
    writeText("adventures/test.xml", R"(<a><scene><sound src="tone.wav" autoStart="1" loopCount="-1"/></scene></a>)");
    return {"--adventure", "adventures/test.xml", "--seconds", seconds, "--rate", "8000", "--channels", "1", "-o", "out.wav"};
}

std::string summaryOf(const std::string& length) {
    return "gloam-render: rendered " + length + ", peak -6.0 dBFS, no clipped samples; wrote out.wav";
}

}  // namespace

TEST_F(RenderSession, ProgressLineUpdatesInPlaceOnATerminalAndGivesWayToTheSummary) {
    const std::vector<std::string> arguments = renderOf("400");
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    // The terminal is read while the render runs, so it never blocks on a full buffer.
    std::string screen;
    pid_t reader = 0;
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    reader = ::fork();
    if (reader == 0) {
        ::close(slave);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0) {
            if (::write(pipeEnds[1], buffer, static_cast<std::size_t>(n)) != n) break;
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    const int status = runRenderer(arguments, slave);
    ::close(slave);  // the reader sees the end once the renderer is gone too
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) screen.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    ::waitpid(reader, nullptr, 0);
    ::close(master);

    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    // Each update returns to the start of the line and clears what was left of the one before.
    const std::regex update("\r(\\d+:\\d\\d) of 6:40(  \\d+x real time  \\d+:\\d\\d left)?\x1b\\[K");
    std::vector<std::string> shown;
    for (auto it = std::sregex_iterator(screen.begin(), screen.end(), update); it != std::sregex_iterator(); ++it) {
        shown.push_back((*it)[1]);
    }
    ASSERT_GE(shown.size(), 2u) << screen;
    EXPECT_NE(shown.front(), shown.back()) << "the line moves on";
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [](const std::string& a, const std::string& b) {
        return a.size() < b.size() || (a.size() == b.size() && a < b);
    }));
    EXPECT_NE(screen.find("x real time"), std::string::npos) << screen;
    // Then the line is cleared, and the summary stands on its own line (the
    // terminal turns the newline into CR LF).
    const std::string ending = "\r\x1b[K" + summaryOf("6:40") + "\r\n";
    ASSERT_GE(screen.size(), ending.size());
    EXPECT_EQ(screen.substr(screen.size() - ending.size()), ending) << screen;
}

TEST_F(RenderSession, WithMessagesInAFileOnlyTheSummaryIsWritten) {
    const std::vector<std::string> arguments = renderOf("10");
    const int file = ::open("messages.txt", O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    const int status = runRenderer(arguments, file);
    ::close(file);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile("messages.txt"), summaryOf("0:10") + "\n");
}
