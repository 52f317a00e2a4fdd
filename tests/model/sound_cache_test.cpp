// Sharing opened sounds by mode and name.
#include "audio/Sound.h"
#include "model/Settings.h"
#include "model/SoundCache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FakeSound : public audio::Sound {
public:
    explicit FakeSound(int* alive) : alive_(alive) { ++*alive_; }
    ~FakeSound() override { --*alive_; }
    std::uint32_t lengthMs() const noexcept override { return 1000; }
    std::int64_t lengthFrames() const noexcept override { return 48000; }
    audio::SoundMode mode() const noexcept override { return audio::SoundMode::Stream; }
    std::unique_ptr<audio::SoundReader> openReader() override { return nullptr; }

private:
    int* alive_;
};

struct CountingOpener {
    std::vector<std::string> opened;
    int alive = 0;
    gloam::SoundCache cache{[this](const std::string& path, std::int32_t) -> std::unique_ptr<audio::Sound> {
        opened.push_back(path);
        if (path.find("missing") != std::string::npos) return nullptr;
        return std::make_unique<FakeSound>(&alive);
    }};
};

}  // namespace

TEST(SoundCache, SharesOneSoundPerModeAndName) {
    CountingOpener opener;
    auto* first = opener.cache.getSound(gloam::streamMode, "rain.ogg");
    auto* second = opener.cache.getSound(gloam::streamMode, "rain.ogg");
    auto* preload = opener.cache.getSound(gloam::preloadMode, "rain.ogg");
    auto* compressed = opener.cache.getSound(gloam::compressedMode, "rain.ogg");
    auto* upper = opener.cache.getSound(gloam::streamMode, "Rain.ogg");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, preload);
    EXPECT_NE(preload, compressed);
    EXPECT_NE(first, upper);
    EXPECT_EQ(opener.opened,
              (std::vector<std::string>{"sounds/rain.ogg", "sounds/rain.ogg", "sounds/rain.ogg", "sounds/Rain.ogg"}));
}

TEST(SoundCache, OwnStreamOpensAStreamPerRequest) {
    CountingOpener opener;
    auto* a = opener.cache.getSound(gloam::ownStreamMode, "wind.ogg");
    auto* b = opener.cache.getSound(gloam::ownStreamMode, "wind.ogg");
    auto* c = opener.cache.getSound(gloam::ownStreamMode, "wind.ogg");
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_EQ(opener.alive, 3);
    opener.cache.releaseAll();
    EXPECT_EQ(opener.alive, 0);
}

TEST(SoundCache, AFileThatCannotBeOpenedIsTriedOncePerModeUntilTheNextLoad) {
    // Twenty elements of a damaged file: opening it costs memory inside the
    // decoding libraries each time, so it is tried once per mode.
    CountingOpener opener;
    for (int element = 0; element < 20; ++element) {
        EXPECT_EQ(opener.cache.getSound(gloam::streamMode, "missing.ogg"), nullptr);
        EXPECT_EQ(opener.cache.getSound(gloam::ownStreamMode, "missing.ogg"), nullptr);
    }
    EXPECT_EQ(opener.cache.getSound(gloam::preloadMode, "missing.ogg"), nullptr);
    EXPECT_EQ(opener.opened.size(), 3u);
    EXPECT_EQ(opener.cache.size(), 0u);
    // The next load tries again: the file may have been mended meanwhile.
    opener.cache.releaseAll();
    EXPECT_EQ(opener.cache.getSound(gloam::streamMode, "missing.ogg"), nullptr);
    EXPECT_EQ(opener.opened.size(), 4u);
}

TEST(SoundCache, ReleaseAllEmptiesAndALaterRequestOpensAnew) {
    CountingOpener opener;
    opener.cache.getSound(gloam::preloadMode, "a.wav");
    opener.cache.getSound(gloam::compressedMode, "b.wav");
    EXPECT_EQ(opener.alive, 2);
    opener.cache.releaseAll();
    EXPECT_EQ(opener.alive, 0);
    EXPECT_EQ(opener.cache.size(), 0u);
    EXPECT_NE(opener.cache.getSound(gloam::preloadMode, "a.wav"), nullptr);
    EXPECT_EQ(opener.opened.size(), 3u);
}

TEST(SoundCache, BackslashesInNamesBecomeFolderSeparators) {
    CountingOpener opener;
    opener.cache.getSound(gloam::streamMode, "forest\\owl.ogg");
    EXPECT_EQ(opener.opened.back(), "sounds/forest/owl.ogg");
    // The name as written stays the key.
    opener.cache.getSound(gloam::streamMode, "forest\\owl.ogg");
    EXPECT_EQ(opener.opened.size(), 1u);
}
