#include "definitions/VSharedConfigDefinition.h"

#include "ExpectedDefinitions.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

using namespace ZORVA;
using namespace MoldraDigitalDevice;
using zorvahost::RecordingHost;

TEST(SharedConfigDefinition, Describe_AnyFlag_RegistersRateFirstAndBothActions)
{
    for (bool includeActions : {true, false}) {
        RecordingHost host;
        VSharedConfigDefinition definition;
        definition.Describe(&host, includeActions);
        EXPECT_EQ(host.Calls(), zorvatest::SharedConfigCalls()) << "includeActions " << includeActions;
    }
}

TEST(SharedConfigDefinition, Construct_RateList_ThirtyFourDescendingTextsDefaultFifth)
{
    VSharedConfigDefinition definition;
    const std::vector<std::string>& rates = definition.SampleRate.Value.EnumValues;
    ASSERT_EQ(rates.size(), 34u);
    EXPECT_EQ(rates.front(), "2000");
    EXPECT_EQ(rates.back(), "10");
    for (std::size_t i = 0; i < rates.size(); ++i)
        EXPECT_EQ(rates[i], std::to_string(StandardRates[i]));
    EXPECT_EQ(definition.SampleRate.Value.GetValue(), rates[4]);
    EXPECT_EQ(rates[4], "1000");
}

TEST(SharedConfigDefinition, Construct_Settings_IdsFlagsAndLimits)
{
    VSharedConfigDefinition definition;
    EXPECT_EQ(definition.SyncMode.Id, 0u);
    EXPECT_EQ(definition.SampleRate.Id, 1u);
    EXPECT_EQ(definition.DataThreshold.Id, 2u);
    EXPECT_EQ(definition.BroadcastZero.Id, 3u);
    EXPECT_EQ(definition.ScanForHardware.Id, 5u);
    EXPECT_EQ(definition.SyncMode.Value.EnumValues,
              (std::vector<std::string>{"Software trigger", "Hardware trigger", "Genlock"}));

    RecordingHost host;
    definition.Describe(&host, true);
    const zorvahost::RecordedDefinition recorded = host.Definitions().at(0);
    auto& threshold = static_cast<IParameterValueDouble&>(*recorded.Parameter("DataThreshold")->value);
    EXPECT_TRUE(threshold.LimitsSet);
    EXPECT_EQ(threshold.Minimum, 0.0);
    EXPECT_EQ(threshold.Maximum, 50.0);
    EXPECT_EQ(threshold.Value, 20.0);
    for (const zorvahost::RecordedParameter& parameter : recorded.parameters) {
        EXPECT_FALSE(parameter.value->GetFlagA()) << parameter.name;
        EXPECT_FALSE(parameter.value->GetFlagB()) << parameter.name;
        EXPECT_FALSE(parameter.value->GetFlagC()) << parameter.name;
        EXPECT_TRUE(parameter.definitionFlag) << parameter.name;
    }
    EXPECT_TRUE(recorded.outputs.empty());
    EXPECT_TRUE(recorded.syncPorts.empty());
}

TEST(SharedConfigDefinition, Copy_KeepsSettingsAndTexts)
{
    VSharedConfigDefinition original;
    original.SampleRate.Value.SetValue("500");
    VSharedConfigDefinition copy(original);
    EXPECT_EQ(copy.SampleRate.Value.GetValue(), "500");
    EXPECT_EQ(copy.Version, "V1.13");
    EXPECT_EQ(copy.Manufacturer, "ZORVA");
    EXPECT_EQ(copy.Name, "Digital device common settings");
}
