// The offline player: assembly, the rendering wait, the orderly end.
#include "app/OfflineSession.h"

#include "app/AudioStartup.h"

#include <algorithm>
#include <utility>

namespace gloam {

namespace {

constexpr std::int64_t chunkFrames = 4096;

audio::SystemConfig offlineConfig(const OfflineConfig& config) {
    audio::SystemConfig engineConfig;
    engineConfig.output = audio::OutputKind::Offline;
    engineConfig.sampleRate = config.sampleRate;
    engineConfig.offlineChannels = config.channels;
    return engineConfig;
}

}  // namespace

OfflineSession::OfflineSession(OfflineConfig config, Sink sink)
    : config_(std::move(config)), sink_(std::move(sink)), clock_(config_.startMs), wait_(*this) {
    config_.blockMs = std::max(1, config_.blockMs);
    engine_ = config_.engine;
    if (engine_ == nullptr) {
        ownEngine_ = std::make_unique<audio::System>();
        engine_ = ownEngine_.get();
        // Opened before anything reads its rate and position.
        startAudio(*engine_, offlineConfig(config_));
    }
    runtime_ = std::make_unique<Runtime>(*engine_, clock_);
    adventure_ = std::make_unique<Adventure>(*runtime_);
    platform::Console* console = nullptr;
    if (config_.makeConsole) {
        madeConsole_ = config_.makeConsole(*this);
        console = madeConsole_.get();
    } else {
        script_ = std::make_unique<platform::ScriptedConsole>(config_.keys, clock_, platform::Transcript::Discard);
        console = script_.get();
    }
    buffer_.resize(static_cast<std::size_t>(engine_->outputChannels()) * chunkFrames);
    loop_ = std::make_unique<MainLoop>(*console, wait_, *runtime_, *adventure_, config_.hooks);
    // A scripted key takes effect at its time: it is read one lead before,
    // as the player reads a key one lead before it takes effect.
    if (script_) script_->setReadAhead(loop_->leadMs());
}

OfflineSession::~OfflineSession() { shutDown(); }

void OfflineSession::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    runtime_->observer = nullptr;
    if (ownEngine_) {
        gloam::shutDown(*adventure_, *engine_);
    } else {
        adventure_->clear();
        // What the cleared adventure let go is freed before the next user.
        engine_->update();
    }
}

bool OfflineSession::runPass() {
    if (!ok_ || shutDown_) return false;
    const bool goOn = loop_->runPass();
    // Escape ends the session at the moment it takes effect.
    if (!goOn && wrapBefore(clock_.nowMs(), loop_->lastKeyAt().ms)) clock_.set(loop_->lastKeyAt().ms);
    catchUp();
    return goOn && ok_;
}

void OfflineSession::runUntil(std::int32_t ms) {
    while (wrapSub(ms, clock_.nowMs()) > 0 && runPass()) {
    }
}

void OfflineSession::advance(std::int32_t ms) {
    clock_.advance(ms);
    catchUp();
}

void OfflineSession::catchUp() {
    std::int32_t until = clock_.nowMs();
    if (config_.endMs && wrapBefore(*config_.endMs, until)) until = *config_.endMs;
    // Whole blocks from the start, as a device mixes them.
    const std::int32_t sinceStart = wrapSub(until, config_.startMs);
    const std::int32_t blocks = sinceStart >= 0 ? sinceStart / config_.blockMs * config_.blockMs : 0;
    const std::int64_t target = runtime_->frameAt(wrapAdd(config_.startMs, blocks));
    while (ok_ && engine_->framesMixed() < target) {
        const auto frames = static_cast<std::size_t>(std::min(target - engine_->framesMixed(), chunkFrames));
        engine_->renderOffline(buffer_.data(), frames);
        if (sink_ && !sink_(buffer_.data(), frames)) ok_ = false;
    }
}

void OfflineSession::RenderingWait::waitUntil(std::int32_t untilMs) {
    OfflineSession& session = session_;
    ++session.waits_;
    std::int32_t target = untilMs;
    if (session.script_) {
        if (const std::optional<std::int32_t> key = session.script_->nextKeyAt(); key && wrapBefore(*key, target)) {
            target = *key;
        }
    }
    if (session.config_.endMs && wrapBefore(*session.config_.endMs, target)) target = *session.config_.endMs;
    if (wrapSub(target, session.clock_.nowMs()) > 0) session.clock_.set(target);
    session.catchUp();
}

}  // namespace gloam
