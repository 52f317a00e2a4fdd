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

/// The whole contents of a file; empty when it cannot be read.
std::string readText(const std::filesystem::path& file);

/// Links the plug-in library `library` into "plugins" of the working folder,
/// as a user would (the folder is created).
void linkPlugin(const std::filesystem::path& library);

/// How writeDamagedCopy spoils a file: everything from `at` on replaced by
/// zeros, as an interrupted copy leaves it, or 64 bytes from `at` inverted.
enum class Damage { ZeroTail, FlippedBytes };

/// Copies `original` to `copy` (folders are created): the same size, its
/// contents damaged at `at`, a fraction of the size.
void writeDamagedCopy(const std::filesystem::path& original, const std::filesystem::path& copy, Damage damage,
                      double at);

}  // namespace testsupport
