// Signal handlers that remove registered temporary files, then end the process.
#include "InterruptCleanup.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>

#include <atomic>
#include <unistd.h>

namespace gloam::render {

namespace {

/// A render has at most three outputs; a few more slots cost nothing.
constexpr int numSlots = 8;

/// Paths live in fixed buffers, so the handler reads no memory that the main
/// thread could be freeing; `used` is set only after the path is complete.
struct Slot {
    char path[PATH_MAX]{};
    std::atomic<bool> used{false};
};
Slot slots[numSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a lock-free flag");

constexpr int endingSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(endingSignals)]{};
bool installed[std::size(endingSignals)]{};
struct sigaction previousPipeAction {};

extern "C" void removeTemporariesAndEnd(int signal) {
    const int savedErrno = errno;
    for (Slot& slot : slots) {
        if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
    }
    // Put back what was there before and deliver the signal again once this
    // handler returns: the default action ends the process as usual.
    for (std::size_t i = 0; i < std::size(endingSignals); ++i) {
        if (endingSignals[i] == signal && installed[i]) {
            ::sigaction(signal, &previousActions[i], nullptr);
            installed[i] = false;
        }
    }
    ::raise(signal);
    errno = savedErrno;
}

}  // namespace

InterruptCleanup::InterruptCleanup() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &previousPipeAction);
    for (std::size_t i = 0; i < std::size(endingSignals); ++i) {
        struct sigaction previous {};
        if (::sigaction(endingSignals[i], nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        for (int other : endingSignals) sigaddset(&action.sa_mask, other);
        previousActions[i] = previous;
        if (::sigaction(endingSignals[i], &action, nullptr) == 0) installed[i] = true;
    }
}

InterruptCleanup::~InterruptCleanup() {
    for (std::size_t i = 0; i < std::size(endingSignals); ++i) {
        if (!installed[i]) continue;
        ::sigaction(endingSignals[i], &previousActions[i], nullptr);
        installed[i] = false;
    }
    ::sigaction(SIGPIPE, &previousPipeAction, nullptr);
}

int InterruptCleanup::add(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < numSlots; ++i) {
        Slot& slot = slots[i];
        if (slot.used.load(std::memory_order_relaxed)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.used.store(true, std::memory_order_release);
        return i;
    }
    return -1;
}

void InterruptCleanup::remove(int slot) {
    if (slot >= 0 && slot < numSlots) slots[slot].used.store(false, std::memory_order_release);
}

}  // namespace gloam::render
