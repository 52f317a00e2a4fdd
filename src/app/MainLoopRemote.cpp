// The main loop's remote control: commands in, snapshots out.
#include "app/MainLoopRemote.h"

#include "app/Adventure.h"
#include "app/AdventureFile.h"
#include "app/Chooser.h"
#include "app/RemoteState.h"
#include "audio/System.h"
#include "model/Runtime.h"
#include "model/Scene.h"
#include "platform/Keys.h"
#include "remote/CommandQueue.h"
#include "remote/StateBoard.h"

#include <tinyxml2.h>

#include <algorithm>

namespace gloam {

namespace {

namespace keys = platform::keys;
using SteadyClock = std::chrono::steady_clock;

constexpr char adventuresFolder[] = "adventures";

/// The codes of one remote key, read as the keyboard's are read.
class RemoteKeys final : public platform::Console {
public:
    explicit RemoteKeys(const std::vector<int>& codes) : codes_(codes) {}
    bool keyWaiting() override { return next_ < codes_.size(); }
    int readKey() override { return next_ < codes_.size() ? codes_[next_++] : keys::unmapped; }
    void clearScreen() override {}
    void print(std::string_view) override {}

private:
    const std::vector<int>& codes_;
    std::size_t next_ = 0;
};

remote::CommandOutcome refused(int status, std::string message) {
    remote::CommandOutcome outcome;
    outcome.status = status;
    outcome.error = std::move(message);
    return outcome;
}

}  // namespace

MainLoop::~MainLoop() = default;

void MainLoop::connectRemote(remote::CommandQueue& commands, remote::StateBoard& board,
                             std::vector<std::string> helpLines) {
    remote_ = std::make_unique<RemoteSide>(commands, board, std::move(helpLines));
}

void MainLoop::noticeKeyboard() {
    if (remote_) remote_->noteKeyboard(console_.keyWaiting());
}

bool MainLoop::remoteGoesFirst(bool keyWaiting) {
    if (!remote_) return false;
    remote_->noteKeyboard(keyWaiting);
    const std::optional<SteadyClock::time_point> arrival = remote_->commands.nextArrival();
    if (!arrival) return false;
    return !keyWaiting || *arrival < *remote_->keyboardSince;
}

bool MainLoop::applyRemoteCommand() {
    std::optional<remote::CommandQueue::Taken> taken = remote_->commands.take();
    if (!taken) return true;
    remote::CommandOutcome outcome;
    bool goOn = true;
    const remote::Command& command = taken->command;
    // A command acts where a key read now would.
    keyAt_ = keyMoment(std::nullopt);
    switch (command.kind) {
    case remote::Command::Kind::Key: {
        // The same path as the keyboard's keys; the edge let through no key
        // that opens a screen or quits.
        RemoteKeys codes(command.codes);
        if (codes.keyWaiting()) goOn = dispatch(codes.readKey(), codes);
        break;
    }
    case remote::Command::Kind::Load:
        outcome = loadFromRemote(command.file);
        break;
    case remote::Command::Kind::Volume:
        setMasterVolumeAt(command.volume, keyAt_);
        break;
    }
    remote_->applied.emplace_back(taken->ticket, std::move(outcome));
    return goOn;
}

remote::CommandOutcome MainLoop::loadFromRemote(const std::string& file) {
    // Exactly what choosing the file in the menu does.
    const std::string path = std::string(adventuresFolder) + "/" + file;
    const std::vector<std::string> listed = listAdventureFiles(adventuresFolder);
    if (file.find('/') != std::string::npos || std::find(listed.begin(), listed.end(), path) == listed.end()) {
        return refused(400, "the adventures folder lists no such file");
    }
    ChosenAdventure chosen{path, std::make_unique<tinyxml2::XMLDocument>()};
    if (!readAdventureFile(path, *chosen.document)) {
        std::string message = malformedFileMessage;
        std::erase(message, '\n');
        return refused(422, std::move(message));
    }
    loadChosen(chosen);
    return {};
}

void MainLoop::publishState() {
    if (!remote_) return;
    remote::StateSnapshot state = describeState(adventure_, runtime_, runtime_.audio.channelsPlaying(), masterVolume_,
                                                adventureFile_, remote_->names);
    if (!remote_->published || !state.sameStateAs(*remote_->published)) {
        remote_->published = remote_->board.publish(std::move(state));
    }
    for (auto& [ticket, outcome] : remote_->applied) {
        outcome.state = remote_->published;
        remote_->commands.finish(ticket, std::move(outcome));
    }
    remote_->applied.clear();
}

std::vector<std::string> MainLoop::remoteHelpLines() const {
    if (!remote_) return {};
    std::vector<std::string> lines{""};
    lines.insert(lines.end(), remote_->helpLines.begin(), remote_->helpLines.end());
    return lines;
}

}  // namespace gloam
