// Temporary working folders and generated sound files for tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

/// A fresh temporary folder, removed with everything in it on destruction.
/// The working directory stays where it is (for a child process's folder).
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    /// The path of `name` inside the folder, as text.
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    /// Writes `text` to `name` inside the folder (parent folders are created).
    void write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

/// A fresh temporary folder that is the working directory while it lives.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    const std::filesystem::path& path() const { return folder_.path(); }

private:
    std::filesystem::path previous_;
    TempFolder folder_;
};

/// `numFrames` of a sine, mono.
std::vector<float> sine(std::int64_t numFrames, double frequency, int sampleRate, double amplitude = 0.5);

/// Writes interleaved samples with libsndfile in `format` (SF_FORMAT_*),
/// parent folders created; false when the file cannot be written whole.
bool writeSound(const std::filesystem::path& file, int format, int sampleRate, int channels,
                const std::vector<float>& interleaved);

/// Writes a mono 16-bit WAV sine of exactly `lengthMs` at `sampleRate`
/// (parent folders are created).
void writeSine(const std::filesystem::path& file, int lengthMs, int sampleRate = 8000,
               double frequency = 440.0, double amplitude = 0.5);

/// Writes a text file (parent folders are created).
void writeText(const std::filesystem::path& file, const std::string& text);

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
