// Loading LADSPA libraries: names, parameter ranges and defaults, failures.
#include "audio/PluginHost.h"

#include "PluginTestSupport.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <cfloat>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using audio::DspParameterInfo;
using audio::PluginHost;
using gloam_test::findPlugin;

/// True while `path` is mapped into the process.
bool isLoaded(const char* path) {
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        return false;
    }
    ::dlclose(handle);
    return true;
}

void expectInfo(const DspParameterInfo& info, float min, float max, float defaultValue) {
    EXPECT_FLOAT_EQ(info.min, min);
    EXPECT_FLOAT_EQ(info.max, max);
    EXPECT_FLOAT_EQ(info.defaultValue, defaultValue);
}

TEST(PluginHost, LoadingALibraryOffersEveryDescriptorInOrder) {
    PluginHost host;
    EXPECT_EQ(host.numPlugins(), 0);
    ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 48000));
    const std::vector<std::string> expected = {
        "gloam_gain_mono", "gloam_gain_stereo", "gloam_swap_stereo", "gloam_delay_mono",
        "gloam_hints", "gloam_split", "gloam_gain_inplace_broken", "gloam_activate_gain",
        "gloam_descriptor_without_a_run_f", "gloam_instantiate_fails", "gloam_split_inplace_broken",
        "gloam_mix_down", "gloam_nan_after"};
    ASSERT_EQ(host.numPlugins(), int(expected.size()));
    for (int i = 0; i < host.numPlugins(); ++i) {
        EXPECT_EQ(host.plugin(i).name(), expected[std::size_t(i)]) << "plug-in " << i;
    }
}

TEST(PluginHost, LabelsLongerThan32CharactersAreCut) {
    PluginHost host;
    ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 48000));
    // The label is "gloam_descriptor_without_a_run_function".
    const audio::DspPlugin* plugin = findPlugin(host, "gloam_descriptor_without_a_run_f");
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->name().size(), 32u);
}

TEST(PluginHost, ParametersAreTheControlInputsInPortOrder) {
    PluginHost host;
    ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 48000));

    // The gain control comes before the audio ports in the mono gain, between
    // them in the stereo one.
    const auto& mono = findPlugin(host, "gloam_gain_mono")->parameters();
    ASSERT_EQ(mono.size(), 1u);
    expectInfo(mono[0], 0.0f, 4.0f, 1.0f);
    const auto& stereo = findPlugin(host, "gloam_gain_stereo")->parameters();
    ASSERT_EQ(stereo.size(), 1u);
    expectInfo(stereo[0], 0.0f, 4.0f, 1.0f);

    EXPECT_TRUE(findPlugin(host, "gloam_swap_stereo")->parameters().empty());
    // Twelve control inputs; the control output among them is no parameter.
    EXPECT_EQ(findPlugin(host, "gloam_hints")->parameters().size(), 12u);
}

TEST(PluginHost, RangeAndDefaultHintsGiveBoundsAndDefaults) {
    PluginHost host;
    ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 48000));
    const auto& p = findPlugin(host, "gloam_hints")->parameters();
    ASSERT_EQ(p.size(), 12u);

    // [0, 0.5] x rate, middle default
    expectInfo(p[0], 0.0f, 24000.0f, 12000.0f);
    // bounded below only, default 440
    expectInfo(p[1], 20.0f, FLT_MAX, 440.0f);
    // no hints at all: the whole float range, default 0
    expectInfo(p[2], -FLT_MAX, FLT_MAX, 0.0f);
    // logarithmic low default: 10^(0.75 * 1 + 0.25 * 3)
    expectInfo(p[3], 10.0f, 1000.0f, 31.622776f);
    // no default hint and 0 outside the range: the nearest bound
    expectInfo(p[4], 2.0f, 4.0f, 2.0f);
    // high default, linear
    expectInfo(p[5], 0.0f, 10.0f, 7.5f);
    expectInfo(p[6], -1.0f, 1.0f, -1.0f);   // minimum
    expectInfo(p[7], 0.0f, 8.0f, 8.0f);     // maximum
    expectInfo(p[8], 0.0f, 3.0f, 2.0f);     // integer middle 1.5, rounded
    expectInfo(p[9], -FLT_MAX, -5.0f, -5.0f);  // bounded above only, no default
    expectInfo(p[10], -FLT_MAX, FLT_MAX, 100.0f);
    // maximum asked for without an upper bound: no default, so 0 into range
    expectInfo(p[11], 480.0f, FLT_MAX, 480.0f);
}

TEST(PluginHost, SampleRateRelativeBoundsFollowTheRateGivenAtLoad) {
    PluginHost host;
    ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 44100));
    const auto& p = findPlugin(host, "gloam_hints")->parameters();
    ASSERT_EQ(p.size(), 12u);
    expectInfo(p[0], 0.0f, 22050.0f, 11025.0f);
    expectInfo(p[11], 441.0f, FLT_MAX, 441.0f);
    // Bounds not marked relative do not scale.
    expectInfo(p[1], 20.0f, FLT_MAX, 440.0f);
}

TEST(PluginHost, FilesThatAreNoPluginLibraryFailQuietlyAndKeepNothing) {
    PluginHost host;
    ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 48000));
    const int before = host.numPlugins();
    const std::string directory = std::filesystem::path(GLOAM_TEST_TEXT_FILE).parent_path();

    for (const std::string& path : {std::string(GLOAM_TEST_TEXT_FILE), std::string(GLOAM_TEST_NOT_LADSPA),
                                   std::string(GLOAM_TEST_EMPTY_LADSPA), directory,
                                   std::string("/nonexistent/gloam/plugin.so"), std::string()}) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool loaded = host.load(path, 48000);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(loaded) << path;
        EXPECT_EQ(host.numPlugins(), before) << path;
        EXPECT_EQ(out + err, "") << path;
    }
    // A refused library is closed again.
    EXPECT_FALSE(isLoaded(GLOAM_TEST_NOT_LADSPA));
    EXPECT_FALSE(isLoaded(GLOAM_TEST_EMPTY_LADSPA));
}

TEST(PluginHost, PartlyCopiedLibrariesPipesAndDevicesAreSkipped) {
    // A library cut short used to be mapped anyway, and the first touch of a
    // page past its end killed the player with SIGBUS; a pipe blocked it.
    testsupport::ScopedWorkDir dir;
    std::ifstream in(GLOAM_TEST_LADSPA, std::ios::binary);
    const std::vector<char> whole{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GT(whole.size(), 4096u);
    std::vector<std::string> broken;
    for (const std::size_t length : {std::size_t{0}, std::size_t{4}, std::size_t{64}, std::size_t{200},
                                     whole.size() / 4, whole.size() / 2, whole.size() * 3 / 4, whole.size() - 1}) {
        // A name of its own each, since the loader keeps libraries by name,
        // and with a folder in it, which keeps the loader from searching.
        broken.push_back("./cut-" + std::to_string(length) + ".so");
        std::ofstream(broken.back(), std::ios::binary).write(whole.data(), static_cast<std::streamsize>(length));
    }
    ASSERT_EQ(::mkfifo("pipe.so", 0600), 0);
    broken.push_back("./pipe.so");
    std::filesystem::create_symlink("/dev/zero", "zero.so");
    broken.push_back("./zero.so");
    std::ofstream("whole.so", std::ios::binary).write(whole.data(), static_cast<std::streamsize>(whole.size()));

    PluginHost host;
    for (const std::string& path : broken) {
        EXPECT_FALSE(host.load(path, 48000)) << path;
    }
    EXPECT_EQ(host.numPlugins(), 0);
    EXPECT_TRUE(host.load("./whole.so", 48000));
    EXPECT_GT(host.numPlugins(), 0);
}

TEST(PluginHost, LibrariesStayLoadedUntilTheHostIsGone) {
    {
        PluginHost host;
        ASSERT_TRUE(host.load(GLOAM_TEST_LADSPA, 48000));
        EXPECT_TRUE(isLoaded(GLOAM_TEST_LADSPA));
    }
    EXPECT_FALSE(isLoaded(GLOAM_TEST_LADSPA));
}

}  // namespace
