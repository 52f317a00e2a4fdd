#include "app/AdventureFile.h"

#include "PlaybackWorld.h"
#include "model/Scene.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using gloam::mostAttributesOnOneElement;
using gloam::readAdventureFile;

TEST(AdventureFile, CountsAttributesPerElementPastQuotesCommentsCdataAndDeclarations) {
    EXPECT_EQ(mostAttributesOnOneElement(""), 0u);
    EXPECT_EQ(mostAttributesOnOneElement("<a><b/></a>"), 0u);
    EXPECT_EQ(mostAttributesOnOneElement(R"(<a x="1"><b y='=' z="p>q=r" w = "s"/></a>)"), 3u);
    EXPECT_EQ(mostAttributesOnOneElement(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                                         R"(<!DOCTYPE a><!-- <b p=1 q=2 r=3> --><a><![CDATA[<c s=1 t=2 u=3>]]></a>)"),
              0u);
    // Unclosed quotes and tags end the count instead of running on.
    EXPECT_EQ(mostAttributesOnOneElement(R"(<a x="1" y="2)"), 2u);
    EXPECT_EQ(mostAttributesOnOneElement(R"(<a x=1 y=2 z=3)"), 3u);
}

TEST(AdventureFile, OnlyRegularFilesAreReadAndOpeningNeverWaits) {
    testsupport::PlaybackWorld world;
    world.load(R"(<a><scene name="kept"/></a>)");
    testsupport::writeText("adventures/good.xml", R"(<a><scene name="good"/></a>)");
    fs::create_symlink("good.xml", "adventures/link.xml");
    fs::create_directory("adventures/folder.xml");
    ASSERT_EQ(::mkfifo("adventures/fifo.xml", 0600), 0);

    tinyxml2::XMLDocument document;
    EXPECT_TRUE(readAdventureFile("adventures/good.xml", document));
    EXPECT_TRUE(readAdventureFile("adventures/link.xml", document));
    EXPECT_STREQ(document.RootElement()->FirstChildElement("scene")->Attribute("name"), "good");
    EXPECT_FALSE(readAdventureFile("adventures/folder.xml", document));
    EXPECT_FALSE(readAdventureFile("adventures/missing.xml", document));
    // No writer will ever come: opening it the usual way would wait for good.
    EXPECT_FALSE(readAdventureFile("adventures/fifo.xml", document));

    world.adventure.load("adventures/fifo.xml");
    ASSERT_EQ(world.adventure.scenes.size(), 1u);
    EXPECT_EQ(world.scene().name, "kept");
}

}  // namespace
