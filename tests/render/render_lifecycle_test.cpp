// Whole renders of the element life cycle at its edges: silent children,
// stale fade-outs, keys at time 0 and absurd loop counts.
#include "RenderTestSupport.h"

using namespace rendertest;
using testsupport::writeSine;
using testsupport::writeText;

TEST_F(RenderSession, ElementKeyAtTimeZeroStopsAnElementWithoutFadeOut) {
    writeSine("sounds/bed.wav", 10000);
    writeText("adventures/test.xml", R"(<a><scene><sound name="bed" src="bed.wav" autoStart="1"/></scene></a>)");
    const Rendered rendered = render("0:0", 2);
    ASSERT_EQ(rendered.exitCode, 0) << rendered.messages;
    EXPECT_NE(timeOf(rendered.trace, "\tbed\tClosing"), -1) << rendered.trace;
    EXPECT_LE(timeOf(rendered.trace, "\tbed\tClosing"), 21);
    EXPECT_LT(rms(rendered, 0, 0.1, 2.0), 1e-6);
}
