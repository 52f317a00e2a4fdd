// Plug-in effects in the engine: activated when attached, made anew only where no mixer
// can reach them, and reset when the mixer asks.
#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/System.h"
#include "audio/SystemImpl.h"

#include "PluginTestSupport.h"
#include "core_test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace audio::test {
namespace {

using gloam_test::Lifecycle;
using gloam_test::lifecycle;

constexpr std::size_t kBlock = 512;
constexpr float kDry = 0.25f * kCentre;  // the voice on each side, without effects

/// A voice of constant level in `inner`, which lies under `outer`, so that an
/// effect on either group acts on it.
class PluginEffects : public ::testing::Test {
protected:
    void SetUp() override {
        system.init(offlineConfig());
        ASSERT_TRUE(system.loadPlugin(GLOAM_TEST_LADSPA));
        inner = system.createChannelGroup();
        outer = system.createChannelGroup();
        outer->addGroup(*inner);
        channel = playAt(system, sound, {});
        channel.setChannelGroup(*inner);
    }

    std::unique_ptr<Dsp> effect(const std::string& name) {
        const int index = pluginIndex(system, name);
        if (index < 0) ADD_FAILURE() << name << " not loaded";
        return index < 0 ? nullptr : system.createDspByPlugin(index);
    }

    /// The gain the effects apply now, from the second of two blocks.
    float gainNow() {
        render(system, kBlock);
        return render(system, kBlock).peak(0) / kDry;
    }

    /// True when every frame of `rendered` is the dry voice on both sides.
    static bool allDry(const Rendered& rendered) {
        for (std::size_t f = 0; f < rendered.numFrames(); ++f) {
            if (rendered.at(f, 0) != kDry || rendered.at(f, 1) != kDry) return false;
        }
        return true;
    }

    ConstantSound sound{0.25f, 48000 * 60};  // outlives the engine's readers of it
    System system;
    std::unique_ptr<ChannelGroup> inner;
    std::unique_ptr<ChannelGroup> outer;
    Channel channel;
};

TEST_F(PluginEffects, EffectsAreActivatedWhenAttachedAndMadeAnewOnlyWhereNoMixerRunsThem) {
    // Activated when attached, with the gain set before (this plug-in reads
    // it in activate only), and never by the mixer: plug-ins may allocate in
    // activate, which the audio thread must not do.
    auto gain = effect("gloam_activate_gain");
    ASSERT_NE(gain, nullptr);
    gain->setParameter(0, 3.0f);
    const Lifecycle first = lifecycle();
    inner->addDsp(*gain);
    EXPECT_EQ(lifecycle().activated - first.activated, 2);  // one instance per output channel
    ASSERT_NEAR(gainNow(), 3.0f, 1e-5f);
    EXPECT_EQ(lifecycle().activated - first.activated, 2);
    const Lifecycle start = lifecycle();

    // Moved straight on to another chain, it runs on as it was.
    gain->setParameter(0, 0.5f);
    outer->addDsp(*gain);
    EXPECT_NEAR(gainNow(), 3.0f, 1e-5f);
    EXPECT_EQ(lifecycle().instantiated - start.instantiated, 0);

    // Removed and attached again before the mixer took the removal: fresh
    // instances, activated with the gain set since; the old ones are freed
    // only once the mixer has let go of them.
    gain->remove();
    outer->addDsp(*gain);
    EXPECT_EQ(lifecycle().instantiated - start.instantiated, 2);
    EXPECT_EQ(lifecycle().cleanedUp - start.cleanedUp, 0);
    EXPECT_NEAR(gainNow(), 0.5f, 1e-5f);
    system.update();
    EXPECT_EQ(lifecycle().cleanedUp - start.cleanedUp, 2);

    // Its group released, then attached elsewhere: the same. The instances
    // used to be made anew in place here, while the mixer could still run
    // them in the released group.
    auto spare = system.createChannelGroup();
    spare->addDsp(*gain);
    render(system, kBlock);
    gain->setParameter(0, 2.0f);
    spare.reset();
    inner->addDsp(*gain);
    EXPECT_EQ(lifecycle().instantiated - start.instantiated, 4);
    EXPECT_EQ(lifecycle().cleanedUp - start.cleanedUp, 2);
    EXPECT_NEAR(gainNow(), 2.0f, 1e-5f);
    system.update();
    EXPECT_EQ(lifecycle().cleanedUp - start.cleanedUp, 4);
}

TEST_F(PluginEffects, AnEffectWhoseResetWasAskedForIsBypassedUntilTheNextUpdateMakesItAnew) {
    // gloam_nan_after passes its input for 3000 frames after activation and
    // then goes bad; it never gets there if its reset restarts the count.
    auto bad = effect("gloam_nan_after");
    ASSERT_NE(bad, nullptr);
    bad->setParameter(0, 3000.0f);
    inner->addDsp(*bad);
    EXPECT_TRUE(allDry(render(system, 2048)));

    // What the mixer does when the effect's group went bad.
    DspProcessor& processor = *system.impl().liveDsp(bad->id())->processor;
    processor.requestReset();
    EXPECT_TRUE(allDry(render(system, 2048)));  // not run: its count stands still
    system.update();
    EXPECT_FALSE(processor.resetPending());
    EXPECT_TRUE(allDry(render(system, 2048)));  // counting afresh from 0
    EXPECT_EQ(bad->parameter(0), 3000.0f);
}

}  // namespace
}  // namespace audio::test
