// Reading, merging and writing the plug-in verdict file.
#include "audio/PluginVerdictCache.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

namespace audio {

namespace {

constexpr const char* kHeader = "gloam plug-in verdicts 1";

std::string escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

}  // namespace

PluginVerdictCache::PluginVerdictCache(std::string file) : file_(std::move(file)) {}

void PluginVerdictCache::loadOnce() {
    if (loaded_) return;
    loaded_ = true;
    for (auto& [key, verdict] : readFile()) verdicts_[key] = verdict;
}

std::optional<std::string> PluginVerdictCache::find(const std::string& key) {
    loadOnce();
    const auto found = verdicts_.find(key);
    if (found == verdicts_.end()) return std::nullopt;
    return found->second;
}

void PluginVerdictCache::store(const std::string& key, const std::string& verdict) {
    loadOnce();
    verdicts_[key] = verdict;
    stored_.emplace_back(key, verdict);
    if (stored_.size() > kMaxEntries) stored_.erase(stored_.begin());
    if (file_.empty()) return;
    // What other programs stored meanwhile stays; this run's verdicts win.
    Entries merged = readFile();
    std::set<std::string> ours;
    for (const auto& entry : stored_) ours.insert(entry.first);
    std::erase_if(merged, [&ours](const auto& entry) { return ours.count(entry.first) > 0; });
    merged.insert(merged.end(), stored_.begin(), stored_.end());
    if (merged.size() > kMaxEntries) merged.erase(merged.begin(), merged.end() - static_cast<std::ptrdiff_t>(kMaxEntries));
    writeFile(merged);
}

PluginVerdictCache::Entries PluginVerdictCache::readFile() const {
    Entries entries;
    if (file_.empty()) return entries;
    std::ifstream in(file_, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || line != kHeader) return entries;
    std::map<std::string, std::size_t> at;
    while (std::getline(in, line) && entries.size() < 2 * kMaxEntries) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::optional<std::string> key = unescape(line.substr(0, tab));
        const std::optional<std::string> verdict = unescape(line.substr(tab + 1));
        if (!key || !verdict) continue;
        if (const auto found = at.find(*key); found != at.end()) {
            entries[found->second].second = *verdict;
        } else {
            at[*key] = entries.size();
            entries.emplace_back(*key, *verdict);
        }
    }
    return entries;
}

void PluginVerdictCache::writeFile(const Entries& entries) const {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target(file_);
    fs::create_directories(target.parent_path(), error);
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return;
    std::ostringstream text;
    text << kHeader << '\n';
    for (const auto& [key, verdict] : entries) text << escape(key) << '\t' << escape(verdict) << '\n';
    const std::string bytes = text.str();
    bool written = true;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            written = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), file_.c_str()) != 0) ::unlink(temporary.c_str());
}

}  // namespace audio
