// Temporary working folders and generated sound and text files, for the tests, the tools and the benches.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace gloam::files {

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

}  // namespace gloam::files
