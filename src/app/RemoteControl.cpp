// Starting the remote control and connecting it to the loop.
#include "app/RemoteControl.h"

#include "app/Chooser.h"
#include "app/MainLoop.h"
#include "platform/Clock.h"
#include "remote/QrCode.h"
#include "remote/RemoteServer.h"
#include "remote/Token.h"

#include <filesystem>

namespace gloam {

RemoteControl::RemoteControl() = default;

RemoteControl::~RemoteControl() { stop(); }

std::unique_ptr<RemoteControl> RemoteControl::start(const RemoteOptions& options, std::string& error) {
    if (!options.listen) {
        error = "no address to listen on";
        return nullptr;
    }
    std::optional<std::string> token = options.tokenFile ? remote::tokenFromFile(*options.tokenFile, error)
                                                         : remote::makeToken();
    if (!token) {
        if (error.empty()) error = "the system gives no random numbers for a token";
        return nullptr;
    }
    std::unique_ptr<RemoteControl> control(new RemoteControl());
    remote::ServerConfig config;
    config.address = *options.listen;
    config.token = *token;
    // What the chooser would list, as file names.
    config.listAdventures = [] {
        std::vector<std::string> names;
        for (const std::string& path : listAdventureFiles("adventures")) {
            names.push_back(std::filesystem::path(path).filename().string());
        }
        return names;
    };
    control->server_ = std::make_unique<remote::RemoteServer>(std::move(config), control->commands_, control->board_);
    if (!control->server_->start(error)) return nullptr;
    return control;
}

std::vector<std::string> RemoteControl::pageUrls() const { return server_->pageUrls(); }

void RemoteControl::connect(MainLoop& loop, platform::RealIdleWait& idle) {
    loop.connectRemote(commands_, board_, remote::remoteHelpLines(pageUrls()));
    idle.alsoWakeOn(commands_.wakeFd());
}

void RemoteControl::stop() {
    if (server_) server_->stop();
}

}  // namespace gloam
