// What every test program sets up before its first test: where plug-ins are tried, and where verdicts go.
#include <cstdlib>

namespace {

/// Test programs do not live beside the plug-in probe, so they name it; and
/// the verdicts of the plug-ins they try go to the build folder, never to
/// the user's own cache. Programs the tests start inherit both.
bool setUp() {
    ::setenv("GLOAM_PLUGIN_PROBE", GLOAM_PLUGIN_PROBE_PATH, 0);
    ::setenv("XDG_CACHE_HOME", GLOAM_TEST_CACHE_HOME, 1);
    return true;
}

}  // namespace

/// Pulled in by name (see CMakeLists.txt), so its initialiser runs in every test program.
extern "C" const bool gloam_test_environment = setUp();
