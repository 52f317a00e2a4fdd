// Test-only file helpers, on top of the shared temporary folders and sound writers.
#pragma once

#include "WorkFiles.h"

#include <filesystem>

namespace testsupport {

using gloam::files::ScopedWorkDir;
using gloam::files::sine;
using gloam::files::TempFolder;
using gloam::files::writeSine;
using gloam::files::writeSound;
using gloam::files::writeText;

/// Links the plug-in library `library` into "plugins" of the working folder,
/// as a user would (the folder is created).
void linkPlugin(const std::filesystem::path& library);

}  // namespace testsupport
