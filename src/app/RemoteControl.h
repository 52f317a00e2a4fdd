// The remote control of one player run: its token, its server and their link to the loop.
#pragma once

#include "app/RemoteOptions.h"
#include "remote/CommandQueue.h"
#include "remote/StateBoard.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {
class RealIdleWait;
}
namespace remote {
class RemoteServer;
}

namespace gloam {

class MainLoop;

/// Owns the command queue, the published state and the HTTP server. Made
/// before the terminal is taken (so that a failure is reported on a plain
/// terminal), connected to the loop, stopped when the loop has ended. Main
/// thread.
class RemoteControl {
public:
    /// Gets the token (from the file when given, created there if missing)
    /// and starts listening. Nothing and a message when either fails.
    static std::unique_ptr<RemoteControl> start(const RemoteOptions& options, std::string& error);
    ~RemoteControl();
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

    /// The page's address with its token, one per host a phone can use.
    std::vector<std::string> pageUrls() const;
    /// Hands commands to `loop`, and has `idle` wake as soon as one arrives.
    void connect(MainLoop& loop, platform::RealIdleWait& idle);
    /// Answers every waiting request and stops the server. Idempotent.
    void stop();

private:
    RemoteControl();

    remote::CommandQueue commands_;
    remote::StateBoard board_;
    std::unique_ptr<remote::RemoteServer> server_;
};

}  // namespace gloam
