// Verdicts on plug-in files, kept between runs in a small file.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace audio {

/// A map from text keys to text verdicts, read from and written back to one
/// file, so that a probe that was run once need not run again. The file is
/// only a cache: when it cannot be read or written, or holds something
/// else, the verdicts are kept in memory for this run and nothing fails.
/// Writing goes through a temporary file renamed over the old one, merged
/// with what other processes wrote meanwhile, so concurrent programs never
/// see half a file. Main thread only.
class PluginVerdictCache {
public:
    /// `file` empty: memory only.
    explicit PluginVerdictCache(std::string file);

    /// The verdict stored for `key`, from this run or an earlier one.
    std::optional<std::string> find(const std::string& key);
    /// Keeps `verdict` for `key`, here and in the file.
    void store(const std::string& key, const std::string& verdict);

    /// Entries kept at most; the oldest go first.
    static constexpr std::size_t kMaxEntries = 4096;

private:
    using Entries = std::vector<std::pair<std::string, std::string>>;
    void loadOnce();
    Entries readFile() const;
    void writeFile(const Entries& entries) const;

    std::string file_;
    bool loaded_ = false;
    std::map<std::string, std::string> verdicts_;
    Entries stored_;  ///< what this run added, in order, to merge into the file
};

}  // namespace audio
