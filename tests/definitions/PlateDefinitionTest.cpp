#include "definitions/VZORVAGenericPlateDefinition.h"

#include "ExpectedDefinitions.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

using namespace ZORVA;
using zorvahost::RecordingHost;
using zorvatest::PlateCalls;

TEST(PlateDefinition, Describe_GenericPlate_MakesEveryCallInOrder)
{
    RecordingHost host;
    VZORVAGenericPlateDefinition definition;
    definition.Describe(&host, true);
    EXPECT_EQ(host.Calls(), PlateCalls("Force plate", 0.5, 0.5, true));
    EXPECT_EQ(host.Results().Created(), 0);
}

TEST(PlateDefinition, Describe_WithoutActions_LeavesOutOnlyBlink)
{
    RecordingHost host;
    VZORVA_Brisen_PlateDefinition definition;
    definition.Describe(&host, false);
    EXPECT_EQ(host.Calls(), PlateCalls("Brisen", 0.498, 0.498, false));
    ASSERT_EQ(host.Definitions().size(), 1u);
    EXPECT_EQ(host.Definitions()[0].parameters.size(), 11u); // Connected, 2 dimensions, 8 stored
}

TEST(PlateDefinition, CreateStandardPlateDefinition_EveryModel_HasItsNameAndSize)
{
    const auto& models = zorvatest::StandardModels();
    ASSERT_EQ(models.size(), static_cast<std::size_t>(StandardPlateModelCount));
    for (int index = 1; index <= StandardPlateModelCount; ++index) {
        SCOPED_TRACE(index);
        std::unique_ptr<VZORVAGenericPlateDefinition> definition = CreateStandardPlateDefinition(index);
        ASSERT_NE(definition, nullptr);
        const zorvatest::PlateModel& model = models[static_cast<std::size_t>(index - 1)];
        EXPECT_EQ(definition->Name, model.name);
        EXPECT_EQ(definition->DimensionX, model.x);
        EXPECT_EQ(definition->DimensionY, model.y);
        EXPECT_EQ(definition->Version, "   ");
        EXPECT_EQ(StandardPlateModels[index - 1].actions, model.actions);
        RecordingHost host;
        definition->Describe(&host, true);
        EXPECT_EQ(host.Calls(), PlateCalls(model.name, model.x, model.y, true));
    }
    EXPECT_EQ(CreateStandardPlateDefinition(0), nullptr);
    EXPECT_EQ(CreateStandardPlateDefinition(20), nullptr);
}

TEST(PlateDefinition, Describe_Copy_DescribesLikeTheOriginal)
{
    VZORVA_Rimsa_PlateDefinition original;
    original.PlatformSerial.Value.SetValue("P-77");
    original.ParameterA.Value.SetValue(0.0254);
    VZORVAGenericPlateDefinition copy(original);
    RecordingHost first, second;
    original.Describe(&first, true);
    copy.Describe(&second, true);
    EXPECT_EQ(first.Calls(), second.Calls());
}

TEST(PlateDefinition, Describe_StoredParameters_HostKeepsExactValues)
{
    RecordingHost host;
    VZORVA_Pendra_PlateDefinition definition;
    definition.Describe(&host, true);
    const zorvahost::RecordedDefinition recorded = host.Definitions().at(0);
    const zorvahost::RecordedParameter* x = recorded.Parameter("StandardDimension_X");
    ASSERT_NE(x, nullptr);
    auto& value = static_cast<MoldraDigitalDevice::IParameterValueDouble&>(*x->value);
    EXPECT_EQ(value.Value, 0.4);
    EXPECT_EQ(value.Minimum, -DBL_MAX);
    EXPECT_EQ(value.Maximum, DBL_MAX);
    EXPECT_FALSE(value.LimitsSet);
    EXPECT_EQ(recorded.outputs.size(), 3u);
    EXPECT_EQ(recorded.syncPorts, std::vector<std::string>{"Sync Port"});
    EXPECT_TRUE(recorded.ended);
}

// ---------------------------------------------------------------- host failures

namespace {

struct FailureCase
{
    const char* name;
    const char* failingCall;
    std::vector<std::string> skipped; ///< calls that must not be made
};

class PlateDescribeFailure : public ::testing::TestWithParam<FailureCase>
{};

std::vector<std::string> Without(std::vector<std::string> calls, const std::vector<std::string>& skipped)
{
    for (const std::string& s : skipped) {
        for (auto it = calls.begin(); it != calls.end(); ++it) {
            if (it->compare(0, s.size(), s) == 0) {
                calls.erase(it);
                break;
            }
        }
    }
    return calls;
}

} // namespace

TEST_P(PlateDescribeFailure, Describe_HostFailsOneCall_SkipsOnlyTheRestOfThatGroup)
{
    const FailureCase& c = GetParam();
    RecordingHost host;
    host.FailCallsStartingWith(c.failingCall, "refused");
    VZORVA_Pendra_PlateDefinition definition;
    definition.Describe(&host, true);
    EXPECT_EQ(host.Calls(), Without(PlateCalls("Pendra", 0.4, 0.6, true), c.skipped));
    EXPECT_EQ(host.Results().Outstanding(), 0) << "every failure result is released";
    EXPECT_EQ(host.Results().OverReleased(), 0);
    EXPECT_GE(host.Results().Created(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, PlateDescribeFailure,
    ::testing::Values(
        FailureCase{"ForceOutput",
                    "AddOutput(\"Force\", 13)",
                    {"AddChannel(\"Fx\")", "AddChannel(\"Fy\")", "AddChannel(\"Fz\")"}},
        FailureCase{"FyChannel", "AddChannel(\"Fy\")", {"AddChannel(\"Fz\")"}},
        FailureCase{
            "CoPOutput", "AddOutput(\"CoP\", 1)", {"AddChannel(\"Cx\")", "AddChannel(\"Cy\")", "AddChannel(\"Cz\")"}},
        FailureCase{"LastMomentChannel", "AddChannel(\"Mz\")", {}},
        FailureCase{"DimensionX", "AddParameter(\"StandardDimension_X\"", {"AddParameter(\"StandardDimension_Y\""}},
        FailureCase{"DimensionY", "AddParameter(\"StandardDimension_Y\"", {}},
        FailureCase{"Begin", "BeginDefinition(", {}}, FailureCase{"Connected", "AddParameter(\"Connected\"", {}},
        FailureCase{"SyncPort", "AddSyncPort(", {}}, FailureCase{"End", "EndDefinition(", {}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(PlateDefinition, Describe_EveryCallFails_StillMakesTheUngroupedCalls)
{
    RecordingHost host;
    host.FailCallsStartingWith("", "refused");
    VZORVAGenericPlateDefinition definition;
    definition.Describe(&host, true);
    const std::vector<std::string> expected = {PlateCalls("Force plate", 0.5, 0.5, true)[0],
                                               PlateCalls("Force plate", 0.5, 0.5, true)[1],
                                               "AddOutput(\"Force\", 13)",
                                               "AddOutput(\"Moment\", 14)",
                                               "AddOutput(\"CoP\", 1)",
                                               PlateCalls("Force plate", 0.5, 0.5, true)[14]};
    const std::vector<std::string> calls = host.Calls();
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6), expected);
    EXPECT_EQ(calls.size(), 6u + 8u + 1u + 2u); // 8 stored parameters, blink, sync port, end
    EXPECT_EQ(host.Results().Outstanding(), 0);
}

TEST(PlateDefinition, Describe_NullRegistry_DoesNothing)
{
    VZORVAGenericPlateDefinition definition;
    definition.Describe(nullptr, true);
}
