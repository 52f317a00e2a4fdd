// Sequences under the Space key, and containers with silent children, as timelines.
#include "RenderTestSupport.h"

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

namespace {

class RenderContainers : public RenderSession {
protected:
    void SetUp() override {
        writeSine("sounds/long.wav", 10000);
        writeSine("sounds/short.wav", 1000);
    }
};

}  // namespace

TEST_F(RenderContainers, SpaceSkipsToTheNextItemWithACrossFade) {
    writeText("adventures/test.xml", R"(<a><scene><seq name="seq" autoStart="1">
        <sound name="A" src="long.wav" fadeOut="1000"/><sound name="B" src="long.wav" crossFade="500"/></seq></scene></a>)");
    const Rendered rendered = render("2000:space", 4);
    ASSERT_EQ(rendered.exitCode, 0);
    // A fades out over a second; B comes in for the last half of the fade.
    EXPECT_NEAR(timeOf(rendered.trace, "0/0/1\tB\tPlaying"), 2500, 25);
    EXPECT_NEAR(timeOf(rendered.trace, "0/0/0\tA\tClosing"), 3001, 25);
    EXPECT_GT(rendered.channelRms(0, 3.2, 3.9), 0.05);
}

TEST_F(RenderContainers, SpaceSkipsToTheNextItemWithoutACrossFade) {
    writeText("adventures/test.xml", R"(<a><scene><seq name="seq" autoStart="1">
        <sound name="A" src="long.wav" fadeOut="500"/><sound name="B" src="short.wav"/></seq></scene></a>)");
    const Rendered rendered = render("2000:space", 5);
    ASSERT_EQ(rendered.exitCode, 0);
    const int closed = timeOf(rendered.trace, "0/0/0\tA\tClosing");
    EXPECT_NEAR(closed, 2501, 25);
    EXPECT_EQ(timeOf(rendered.trace, "0/0/1\tB\tPlaying"), closed);
    EXPECT_NEAR(timeOf(rendered.trace, "0/0\tseq\tFinished"), 3501, 60);
}

TEST_F(RenderContainers, SpaceLeavesNestedSequencesAndOtherKindsAlone) {
    writeText("adventures/test.xml", R"(<a><scene><par name="par" autoStart="1"><seq name="inner">
        <sound src="long.wav" fadeOut="100"/><sound src="long.wav"/></seq></par>
        <sound name="bed" src="long.wav" autoStart="1" fadeOut="100"/><alt name="alt" autoStart="1"><sound src="long.wav"/></alt>
        </scene></a>)");
    const Rendered rendered = render("1000:space", 3);
    ASSERT_EQ(rendered.exitCode, 0);
    EXPECT_EQ(segment(rendered.trace, "\tkey\t32", "\n@@").find("\tstate\t"), std::string::npos);
}

TEST_F(RenderContainers, ChildrenWithoutContentNeverStallASequenceOrAnAlternative) {
    writeText("adventures/test.xml", R"(<a><scene>
        <seq name="seq" autoStart="1" loopCount="1"><sound src="gone.wav"/><sound name="S" src="short.wav"/><alt/>
            <sound src="gone.wav"/></seq>
        <alt name="alt" autoStart="1" loopCount="-1"><sound src="gone.wav"/><sound name="T" src="short.wav"/></alt>
        <par name="silent" autoStart="1"><sound src="gone.wav"/><seq/></par>
        </scene></a>)");
    const Rendered rendered = render("", 10);
    ASSERT_EQ(rendered.exitCode, 0);
    EXPECT_NEAR(timeOf(rendered.trace, "\tseq\tFinished"), 2000, 80);
    EXPECT_EQ(rendered.trace.find("\tsilent\t"), std::string::npos);
    int passes = 0;
    for (std::size_t at = rendered.trace.find("\tT\tPlaying"); at != std::string::npos;
         at = rendered.trace.find("\tT\tPlaying", at + 1)) {
        ++passes;
    }
    EXPECT_GE(passes, 8);
    EXPECT_GT(rendered.channelRms(0, 8.0, 10.0), 0.01);
}
