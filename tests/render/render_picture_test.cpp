// What a render reports: the fade-out in the trace, the timeline picture, the summary.
#include "RenderTestSupport.h"

#include "TimelineSvg.h"

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

namespace {

using testsupport::TimelineSvg;

std::unique_ptr<TimelineSvg> readPicture(const std::string& file) {
    std::string error;
    auto picture = TimelineSvg::parse(readFile(file), error);
    EXPECT_TRUE(picture) << error;
    return picture;
}

}  // namespace

TEST_F(RenderSession, TimelinePictureDrawsWaitingFadesAndClosingWhereTheTraceHasThem) {
    writeSine("sounds/tone.wav", 20000);
    writeText("adventures/test.xml", R"(<a><scene name="Hall">
        <sound name="Swell" key="s" src="tone.wav" startDelay="2000" fadeIn="4000" fadeOut="3000" closeDelay="1000"/>
        <sound name="Never" key="n" src="tone.wav"/>
        </scene></a>)");
    RenderOptions options = testOptions("10000:s,20000:s", 30);
    options.timeline = "picture.svg";
    const Rendered rendered = render(options);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;

    // The trace says when the fade-out begins and how long it lasts; the
    // element closes when it is over.
    EXPECT_TRUE(hasLine(rendered.trace, "20000\tfade-out\t0/0\tSwell\t3000")) << rendered.trace;
    EXPECT_EQ(timeOf(rendered.trace, "0/0\tSwell\tClosing"), 23000);

    const auto picture = readPicture("picture.svg");
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->lanePaths(), std::vector<std::string>{"0/0"}) << "an element that never left Idle gets no lane";

    // Waiting: a line from the key to the end of the start delay.
    const std::vector<double> waiting = TimelineSvg::numbers(picture->shape("0/0", "w"));
    ASSERT_EQ(waiting.size(), 3u);
    EXPECT_NEAR(waiting[0], picture->x(10000), 0.1);
    EXPECT_NEAR(waiting[2], picture->x(12000), 0.1);

    // Playing: from the bottom up to full height over the fade-in, and down
    // again over the fade-out, as one outline of (x, y) points.
    const std::vector<double> playing = TimelineSvg::numbers(picture->shape("0/0", "p"));
    ASSERT_GE(playing.size(), 8u);
    std::vector<std::pair<double, double>> outline;
    for (std::size_t i = 0; i + 1 < playing.size(); i += 2) outline.emplace_back(playing[i], playing[i + 1]);
    auto heightAt = [&](double ms) {
        for (const auto& [px, py] : outline) {
            if (std::abs(px - picture->x(ms)) < 0.2) return 15.0 - py;
        }
        return -1.0;
    };
    EXPECT_DOUBLE_EQ(heightAt(12000), 0.0) << picture->shape("0/0", "p");
    EXPECT_DOUBLE_EQ(heightAt(16000), 12.0) << "full height where the fade-in ends";
    EXPECT_DOUBLE_EQ(heightAt(20000), 12.0) << "full height where the fade-out begins";
    EXPECT_NEAR(outline.back().first, picture->x(23000), 0.1);
    EXPECT_DOUBLE_EQ(15.0 - outline.back().second, 0.0);

    // Closing: a band for the close delay.
    const std::vector<double> closing = TimelineSvg::numbers(picture->shape("0/0", "c"));
    ASSERT_GE(closing.size(), 3u);
    EXPECT_NEAR(closing[0], picture->x(23000), 0.1);
    EXPECT_NEAR(closing[2], picture->x(24000), 0.1);
}

TEST_F(RenderSession, TimelinePictureMergesWhatIsCloserThanAPixel) {
    writeSine("sounds/blip.wav", 50);
    writeText("adventures/test.xml",
              R"(<a><scene><sound name="Blip" src="blip.wav" autoStart="1" loopCount="-1" loopDelay="100"/></scene></a>)");
    RenderOptions options = testOptions("", 120);
    options.timeline = "picture.svg";
    const Rendered rendered = render(options);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    std::size_t passes = 0;
    for (auto at = rendered.trace.find("Blip\tPlaying"); at != std::string::npos; at = rendered.trace.find("Blip\tPlaying", at + 1)) {
        ++passes;
    }
    EXPECT_GT(passes, 700u);

    const std::string svg = readFile("picture.svg");
    const auto picture = readPicture("picture.svg");
    ASSERT_TRUE(picture);
    // Blips every 150 ms on a scale of 150 ms a pixel: one band, not 800.
    const std::string playing = picture->shape("0/0", "p");
    EXPECT_EQ(std::count(playing.begin(), playing.end(), 'M'), 1) << playing.substr(0, 300);
    EXPECT_LT(svg.size(), 30000u);
}

TEST_F(RenderSession, ReportGivesLengthPeakClippingAndFiles) {
    writeSine("sounds/tone.wav", 4000);
    writeText("adventures/test.xml",
              R"(<a><scene><sound src="tone.wav" autoStart="1" volume="0.25"/><sound key="l" src="tone.wav" volume="3"/></scene></a>)");
    RenderOptions options = testOptions("2000:l", 1.5);
    gloam::render::RenderReport quiet;
    ASSERT_EQ(runRender(options, std::cerr, &quiet), 0);
    EXPECT_EQ(quiet.renderedMs, 1500);
    EXPECT_EQ(quiet.clippedSamples, 0u);
    // writeSine's amplitude 0.5 at a quarter, centred: -18 dBFS on each side, give or take the pan law.
    EXPECT_EQ(gloam::render::summaryLine(quiet).find("gloam-render: rendered 0:01.500, peak -"), 0u)
        << gloam::render::summaryLine(quiet);
    EXPECT_NE(gloam::render::summaryLine(quiet).find(", no clipped samples; wrote out.wav, trace.tsv, screens.txt"),
              std::string::npos)
        << gloam::render::summaryLine(quiet);

    options.seconds = 3;
    gloam::render::RenderReport loud;
    ASSERT_EQ(runRender(options, std::cerr, &loud), 0);
    const Rendered heard = render(options);
    std::size_t over = 0;
    for (float sample : heard.samples) over += std::abs(sample) > 1.0f ? 1 : 0;
    EXPECT_GT(over, 1000u);
    EXPECT_EQ(loud.clippedSamples, over) << "every sample beyond full scale is counted, no other";
    EXPECT_NEAR(loud.peak, heard.peak(), 1e-6);
    EXPECT_NE(gloam::render::summaryLine(loud).find(" samples clipped (the mix is louder than full scale)"), std::string::npos)
        << gloam::render::summaryLine(loud);
}
