// Removing a render's unfinished files when it is interrupted.
#pragma once

#include <string>

namespace gloam::render {

/// While one lives, SIGINT, SIGTERM and SIGHUP (Ctrl-C, kill, a closed
/// terminal) remove every temporary file registered with add() and then end
/// the process by the same signal, as if nothing had caught it; a signal the
/// caller ignored (nohup) stays ignored. SIGPIPE is ignored meanwhile, so a
/// reader that goes away makes a write fail instead of ending the process
/// without a word. The previous actions come back on destruction. One at a
/// time; create and destroy it on the main thread (the handler may run on
/// any thread).
class InterruptCleanup {
public:
    InterruptCleanup();
    ~InterruptCleanup();
    InterruptCleanup(const InterruptCleanup&) = delete;
    InterruptCleanup& operator=(const InterruptCleanup&) = delete;

    /// Registers `path` for removal on an interrupt (also while no
    /// InterruptCleanup lives, for the next one); returns its slot, or -1
    /// when the path is too long or every slot is taken. Main thread only.
    static int add(const std::string& path);
    /// Forgets a slot from add(); call it after the file was removed or
    /// renamed, so that no interrupt in between can leave it behind. -1 is
    /// ignored. Main thread only.
    static void remove(int slot);
};

}  // namespace gloam::render
