// Damaged plug-in libraries and values that break a plug-in, kept out of the process by the quarantine.
#include "audio/ChannelGroup.h"
#include "audio/Dsp.h"
#include "audio/PluginQuarantine.h"
#include "audio/System.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::Damage;
using testsupport::TempFolder;

constexpr const char* kSwhFolder = "/usr/lib/ladspa";

bool swhInstalled() { return fs::exists(fs::path(kSwhFolder) / "delay_1898.so"); }

audio::PluginQuarantine::Config quarantineIn(const TempFolder& folder) {
    audio::PluginQuarantine::Config config;
    config.cacheFile = folder.file("cache/plugin-verdicts");
    return config;
}

int findPlugin(const audio::System& system, const std::string& label) {
    for (int index = 0; index < system.numDspPlugins(); ++index) {
        if (system.dspPluginName(index) == label) return index;
    }
    return -1;
}

}  // namespace

TEST(PluginQuarantine, DamagedCopiesOfRealPluginsAreRefusedAndWhatPassesRunsInThisProcess) {
    if (!swhInstalled()) GTEST_SKIP() << "swh-plugins is not installed";
    TempFolder folder;
    audio::System system;
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    config.pluginVerdictFile = folder.file("cache/plugin-verdicts");
    system.init(config);

    // Copies of the right size with a zero-filled tail or flipped bytes: many
    // of them crash, abort or trip the loader when opened in a process.
    int refused = 0;
    int copies = 0;
    for (const char* library : {"amp_1181.so", "delay_1898.so", "plate_1423.so"}) {
        for (int tenth = 1; tenth <= 9; ++tenth) {
            for (const Damage damage : {Damage::ZeroTail, Damage::FlippedBytes}) {
                const std::string copy = folder.file("plugins/" + std::to_string(copies++) + "_" + library);
                testsupport::writeDamagedCopy(fs::path(kSwhFolder) / library, copy, damage, tenth / 10.0);
                refused += system.loadPlugin(copy) ? 0 : 1;
            }
        }
    }
    EXPECT_GE(refused, 20) << "of " << copies << " damaged copies";

    // The whole library still loads and its effect runs here.
    ASSERT_TRUE(system.loadPlugin(fs::path(kSwhFolder) / "amp_1181.so"));
    // Whatever passed is tried with its values and, when that passes too,
    // made, attached and mixed in this very process.
    int ran = 0;
    auto group = system.createChannelGroup();
    for (int index = 0; index < system.numDspPlugins(); ++index) {
        std::vector<float> values;
        for (const audio::DspParameterInfo& info : system.dspPluginParameters(index)) values.push_back(info.defaultValue);
        if (!system.dspRunsWith(index, values)) continue;
        auto dsp = system.createDspByPlugin(index);
        ASSERT_NE(dsp, nullptr);
        group->addDsp(*dsp);
        std::vector<float> out(512 * static_cast<std::size_t>(system.outputChannels()));
        system.renderOffline(out.data(), 512);
        dsp->remove();
        system.update();
        ++ran;
    }
    EXPECT_GE(ran, 1);
    EXPECT_GE(findPlugin(system, "amp"), 0);
    system.close();
}

TEST(PluginQuarantine, ValuesThatCrashOrHangAPluginFailTheirTrialOnceAndSaneOnesPass) {
    if (!swhInstalled()) GTEST_SKIP() << "swh-plugins is not installed";
    TempFolder folder;
    const std::string delay = fs::path(kSwhFolder) / "delay_1898.so";
    audio::PluginQuarantine quarantine(quarantineIn(folder));
    const auto described = quarantine.examineLibrary(delay);
    ASSERT_TRUE(described.has_value());
    ASSERT_EQ(described->size(), 3u);
    EXPECT_EQ(described->front().label, "delay_n");
    ASSERT_EQ(described->front().controls.size(), 2u);

    // "Max Delay" is unbounded: a line of 44740 s at 48 kHz never gets made.
    EXPECT_TRUE(quarantine.runsWith(delay, 0, 48000, 2, {1.0f, 0.1f}));
    EXPECT_FALSE(quarantine.runsWith(delay, 0, 48000, 2, {44740.0f, 0.1f}));
    const std::size_t started = quarantine.probesStarted();
    EXPECT_FALSE(quarantine.runsWith(delay, 0, 48000, 2, {44740.0f, 0.1f}));
    EXPECT_TRUE(quarantine.runsWith(delay, 0, 48000, 2, {1.0f, 0.1f}));
    EXPECT_EQ(quarantine.probesStarted(), started) << "known values are not tried again";

    // The same through the engine, which asks before it lets an effect run.
    audio::System system;
    audio::SystemConfig config;
    config.output = audio::OutputKind::Offline;
    config.pluginVerdictFile = folder.file("cache/plugin-verdicts");
    system.init(config);
    ASSERT_TRUE(system.loadPlugin(delay));
    const int delayN = findPlugin(system, "delay_n");
    ASSERT_GE(delayN, 0);
    EXPECT_FALSE(system.dspRunsWith(delayN, {44740.0f, 0.1f}));
    EXPECT_TRUE(system.dspRunsWith(delayN, {1.0f, 0.1f}));
    system.close();
}

TEST(PluginQuarantine, VerdictsAreKeptByFileAcrossRunsAndAChangedFileIsTriedAgain) {
    if (!swhInstalled()) GTEST_SKIP() << "swh-plugins is not installed";
    TempFolder folder;
    const std::string copy = folder.file("plugins/amp.so");
    fs::create_directories(folder.path() / "plugins");
    fs::copy_file(fs::path(kSwhFolder) / "amp_1181.so", copy);
    {
        audio::PluginQuarantine first(quarantineIn(folder));
        ASSERT_TRUE(first.examineLibrary(copy).has_value());
        EXPECT_EQ(first.probesStarted(), 1u);
    }
    {
        // A later start: nothing to run, the same description.
        audio::PluginQuarantine second(quarantineIn(folder));
        const auto described = second.examineLibrary(copy);
        ASSERT_TRUE(described.has_value());
        ASSERT_EQ(described->size(), 1u);
        EXPECT_EQ(described->front().label, "amp");
        EXPECT_EQ(second.probesStarted(), 0u);
    }
    {
        // Rewritten in place with the same size (an interrupted copy over the
        // old file): tried again, and refused.
        testsupport::writeDamagedCopy(fs::path(kSwhFolder) / "amp_1181.so", copy, Damage::ZeroTail, 0.1);
        audio::PluginQuarantine third(quarantineIn(folder));
        EXPECT_FALSE(third.examineLibrary(copy).has_value());
        EXPECT_EQ(third.probesStarted(), 1u);
    }
    // A cache that cannot be written, or no probe at all: never a failure of
    // the program, but no file passes without a probe.
    audio::PluginQuarantine::Config unwritable;
    unwritable.cacheFile = "/dev/null/gloam/plugin-verdicts";
    audio::PluginQuarantine noCache(unwritable);
    EXPECT_TRUE(noCache.examineLibrary(fs::path(kSwhFolder) / "amp_1181.so").has_value());
    audio::PluginQuarantine::Config missing = quarantineIn(folder);
    missing.probePath = folder.file("no-such-probe");
    audio::PluginQuarantine noProbe(missing);
    EXPECT_FALSE(noProbe.examineLibrary(fs::path(kSwhFolder) / "plate_1423.so").has_value());
    EXPECT_FALSE(noProbe.examineLibrary(folder.file("plugins/amp.so")).has_value());
}
