// Effect filters: finding the plug-in, reading the parameters, and what is skipped.
#include "PlaybackWorld.h"
#include "audio/Dsp.h"
#include "model/Scene.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

using gloam::SettingContainer;
using testsupport::PlaybackWorld;

namespace {

/// Every parameter of the node's filter `index`, in order.
std::vector<float> parameters(const SettingContainer& node, std::size_t index) {
    std::vector<float> values;
    const audio::Dsp& dsp = *node.filters.at(index);
    for (int i = 0; i < dsp.numParameters(); ++i) values.push_back(dsp.parameter(i));
    return values;
}

/// The test plug-ins loaded before the adventure, so that filters find them.
/// The engine runs at 8000 Hz: gloam_hints' "Cutoff" reaches 4000 and its
/// "Rate" starts at 80.
class Filters : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(world.audio.loadPlugin(GLOAM_TEST_LADSPA)); }

    PlaybackWorld world;
};

}  // namespace

TEST_F(Filters, ParametersFollowTheAttributeOrderWhateverTheAttributeNames) {
    world.load(R"(<a><scene>
        <filter name="gloam_hints" Frequency="100" Cutoff="880" Pitch="-3.25" z="500"/>
    </scene></a>)");
    const SettingContainer& scene = world.scene();
    ASSERT_EQ(scene.filters.size(), 1u);
    const std::vector<float> values = parameters(scene, 0);
    ASSERT_EQ(values.size(), 12u);
    EXPECT_FLOAT_EQ(values[0], 100.0f);   // Cutoff
    EXPECT_FLOAT_EQ(values[1], 880.0f);   // Pitch
    EXPECT_FLOAT_EQ(values[2], -3.25f);   // Free
    EXPECT_FLOAT_EQ(values[3], 500.0f);   // Frequency
    // Parameters without an attribute keep the plug-in's defaults.
    const audio::Dsp& dsp = *scene.filters[0];
    for (int i = 4; i < 12; ++i) {
        EXPECT_EQ(values[std::size_t(i)], dsp.parameterInfo(i).defaultValue) << "parameter " << i;
    }
    EXPECT_FLOAT_EQ(values[5], 7.5f);    // Depth: high default of [0, 10]
    EXPECT_FLOAT_EQ(values[10], 100.0f);  // Count
}

TEST_F(Filters, ValuesOutsideAParametersRangeAreBroughtToItsNearestEnd) {
    world.load(R"(<a><scene>
        <filter name="gloam_hints" a="5000" b="3" c="-1e30" d="5000" e="1" f="11" g="-2" h="9"
            i="2.5" j="0" k="1e30" l="1"/>
        <filter name="gloam_gain_mono" Gain="-1"/>
        <filter name="gloam_gain_mono" Gain="4.5"/>
    </scene></a>)");
    const SettingContainer& scene = world.scene();
    ASSERT_EQ(scene.filters.size(), 3u);
    const std::vector<float> expected = {
        4000.0f,  // Cutoff: half the sample rate at most
        20.0f,    // Pitch: 20 at least
        -1e30f,   // Free: no bounds
        1000.0f,  // Frequency: [10, 1000]
        2.0f,     // Offset: [2, 4]
        10.0f,    // Depth: [0, 10]
        -1.0f,    // Floor: [-1, 1]
        8.0f,     // Ceiling: [0, 8]
        2.5f,     // Steps: an integer port, but the value is used as given
        -5.0f,    // Limit: -5 at most
        1e30f,    // Count: no bounds
        80.0f,    // Rate: a hundredth of the sample rate at least
    };
    EXPECT_EQ(parameters(scene, 0), expected);
    EXPECT_EQ(parameters(scene, 1), std::vector<float>{0.0f});
    EXPECT_EQ(parameters(scene, 2), std::vector<float>{4.0f});
}

TEST_F(Filters, TextIsReadForItsLeadingNumberAndNoNumberIsZeroThenClamped) {
    world.load(R"(<a><scene>
        <filter name="gloam_hints" a="abc" b="" c=" 12abc" d="7.5e1x" e="nan" f="inf" g="-0.5.5"/>
    </scene></a>)");
    const std::vector<float> values = parameters(world.scene(), 0);
    ASSERT_EQ(values.size(), 12u);
    EXPECT_EQ(values[0], 0.0f);        // Cutoff: 0 lies inside [0, 4000]
    EXPECT_EQ(values[1], 20.0f);       // Pitch: 0 raised to 20
    EXPECT_EQ(values[2], 12.0f);       // Free
    EXPECT_EQ(values[3], 75.0f);       // Frequency
    EXPECT_EQ(values[4], 2.0f);        // Offset: NaN taken as 0, raised to 2
    EXPECT_EQ(values[5], 10.0f);       // Depth: infinity lowered to 10
    EXPECT_EQ(values[6], -0.5f);       // Floor
}

TEST_F(Filters, AttributesBeyondTheLastParameterAreIgnored) {
    world.load(R"(<a><scene>
        <filter name="gloam_gain_mono" Gain="2" extra="3" more="0.5"/>
        <filter name="gloam_swap_stereo" x="1" y="2"/>
    </scene></a>)");
    const SettingContainer& scene = world.scene();
    ASSERT_EQ(scene.filters.size(), 2u);
    EXPECT_EQ(parameters(scene, 0), std::vector<float>{2.0f});
    EXPECT_TRUE(parameters(scene, 1).empty());
}

TEST_F(Filters, AFirstAttributeOtherThanNameGivesNoParameterAndNameIsReadAsAValue) {
    world.load(R"(<a><scene>
        <filter first="700" name="gloam_hints" second="5000"/>
        <filter x="1" y="3000" name="gloam_hints"/>
    </scene></a>)");
    const SettingContainer& scene = world.scene();
    ASSERT_EQ(scene.filters.size(), 2u);
    // "first" is skipped as if it were the name; "name" gives Cutoff 0.
    const std::vector<float> one = parameters(scene, 0);
    EXPECT_EQ(one[0], 0.0f);
    EXPECT_EQ(one[1], 5000.0f);
    // Here "name" is read for Pitch: 0, raised to its minimum of 20.
    const std::vector<float> two = parameters(scene, 1);
    EXPECT_EQ(two[0], 3000.0f);
    EXPECT_EQ(two[1], 20.0f);
    EXPECT_EQ(two[2], scene.filters[1]->parameterInfo(2).defaultValue);
}

TEST_F(Filters, OnlyElementsNamedFilterAreFiltersAndTheyAreNoElements) {
    world.load(R"(<a><scene>
        <filter name="gloam_gain_mono" g="2"/>
        <filters name="gloam_gain_mono" g="3"/>
        <Filter name="gloam_gain_mono" g="3"/>
        <sound name="s" src="none.wav"><filter name="gloam_gain_mono" g="0.5"/></sound>
        <filter name="gloam_gain_mono" g="1.5"/>
        <par name="p"/>
        <note name="gloam_gain_mono" g="3"/>
    </scene></a>)");
    const SettingContainer& scene = world.scene();
    ASSERT_EQ(scene.filters.size(), 2u);
    EXPECT_EQ(parameters(scene, 0), std::vector<float>{2.0f});
    EXPECT_EQ(parameters(scene, 1), std::vector<float>{1.5f});
    ASSERT_EQ(scene.children.size(), 2u);
    EXPECT_EQ(scene.children[0]->name, "s");
    EXPECT_EQ(scene.children[1]->name, "p");
    ASSERT_EQ(world.element("s").filters.size(), 1u);
    EXPECT_EQ(parameters(world.element("s"), 0), std::vector<float>{0.5f});
}

TEST_F(Filters, UnknownNamesAndFiltersWithoutANameAreSkipped) {
    world.load(R"(<a><scene>
        <filter g="2"/>
        <filter name="no_such_plugin" g="2"/>
        <filter name="GLOAM_GAIN_MONO" g="2"/>
        <filter name="gloam_gain_mono " g="2"/>
        <filter name="" g="2"/>
        <filter name="gloam_gain_mono" g="3"/>
    </scene></a>)");
    ASSERT_EQ(world.scene().filters.size(), 1u);
    EXPECT_EQ(parameters(world.scene(), 0), std::vector<float>{3.0f});
}

TEST_F(Filters, ANameLongerThan32CharactersNeverMatches) {
    // The label is "gloam_descriptor_without_a_run_function"; the engine
    // reports its first 32 characters, and only those match.
    world.load(R"(<a><scene>
        <filter name="gloam_descriptor_without_a_run_function"/>
        <filter name="gloam_descriptor_without_a_run_fu"/>
        <filter name="gloam_descriptor_without_a_run_f"/>
    </scene></a>)");
    EXPECT_EQ(world.scene().filters.size(), 1u);
}

TEST_F(Filters, TwoFiltersOfOnePlugInAreTwoEffectsWhoseGainsMultiply) {
    testsupport::writeSine("sounds/tone.wav", 5000, 8000, 440.0, 0.2);
    world.load(R"(<a>
        <scene><filter name="gloam_gain_mono" g="2"/><filter name="gloam_gain_mono" g="0.25"/>
            <sound src="tone.wav" autoStart="1"/></scene>
        <scene><sound src="tone.wav" autoStart="1"/></scene>
    </a>)");
    auto& wet = world.scene(0);
    ASSERT_EQ(wet.filters.size(), 2u);
    EXPECT_NE(wet.filters[0]->id(), wet.filters[1]->id());
    EXPECT_EQ(parameters(wet, 0), std::vector<float>{2.0f});
    EXPECT_EQ(parameters(wet, 1), std::vector<float>{0.25f});

    world.runFor(200);
    world.takeRms();
    world.runFor(1000);
    const double filtered = world.takeRms();

    wet.deselect(world.moment());
    world.scene(1).select(world.moment());
    world.runFor(200);
    world.takeRms();
    world.runFor(1000);
    const double plain = world.takeRms();

    ASSERT_GT(plain, 0.05);
    // 2 x 0.25: not the last gain alone (0.25), nor the first (2), nor a sum.
    EXPECT_NEAR(filtered / plain, 0.5, 0.01);
}

TEST_F(Filters, OnlyAsManyFiltersAreMadeAsAGroupCanRunTheFirstOnesInOrder) {
    // A group runs 16 effects; every one beyond used to be made all the same.
    std::string xml = R"(<a><scene><filter name="no_such_plugin"/>)";
    for (int i = 1; i <= 20; ++i) {
        xml += R"(<filter name="gloam_gain_mono" g=")" + std::to_string(i) + R"(e-2"/><filter g="1"/>)";
    }
    world.load(xml + "</scene></a>");
    const SettingContainer& scene = world.scene();
    ASSERT_EQ(scene.filters.size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(parameters(scene, i)[0], static_cast<float>(i + 1) * 0.01f) << "filter " << i;
    }
}

TEST(FiltersWithoutPlugIns, EveryFilterIsIgnoredAndTheSoundStillPlays) {
    PlaybackWorld world;
    testsupport::writeSine("sounds/tone.wav", 2000, 8000, 440.0, 0.2);
    world.load(R"(<a><scene><filter name="gloam_gain_mono" g="0"/><filter name="amp" g="-70"/>
        <sound name="s" src="tone.wav" autoStart="1"><filter name="gloam_gain_mono" g="0"/></sound>
    </scene></a>)");
    EXPECT_TRUE(world.scene().filters.empty());
    EXPECT_TRUE(world.element("s").filters.empty());
    world.runFor(1000);
    EXPECT_GT(world.takeRms(), 0.05);
}
