// Values read as the class their type code names: a value of another class,
// or none, reads as nothing instead of going through a wrong cast.
#include "hostkit/Host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace MoldraDigitalDevice;
using namespace hostkit;

TEST(HostKitValues, As_EveryValueClass_OnlyItsOwnClass)
{
    IParameterValueBool flag;
    IParameterValueDouble number;
    IParameterValueString text;
    IParameterValueEnum item;
    IParameterValueAction action;
    IParameterValue* const all[] = {&flag, &number, &text, &item, &action};
    for (IParameterValue* value : all) {
        EXPECT_EQ(As<IParameterValueBool>(value), value == &flag ? &flag : nullptr);
        EXPECT_EQ(As<IParameterValueDouble>(value), value == &number ? &number : nullptr);
        EXPECT_EQ(As<IParameterValueString>(value), value == &text ? &text : nullptr);
        EXPECT_EQ(As<IParameterValueEnum>(value), value == &item ? &item : nullptr);
        EXPECT_EQ(As<IParameterValueAction>(value), value == &action ? &action : nullptr);
    }
    EXPECT_EQ(As<IParameterValueEnum>(nullptr), nullptr);
}

TEST(HostKitValues, TextNumberFlagOffered_ValuesOfEachClassAndNone_OnlyTheirOwnContent)
{
    IParameterValueBool flag;
    flag.SetValue(true);
    IParameterValueDouble number;
    number.SetValue(2.5);
    IParameterValueString text;
    text.SetValue("Pendra-600");
    IParameterValueEnum item;
    item.SetEnumValues({"500", "1000"});
    item.SetValue("1000");

    EXPECT_EQ(TextOf(&item), "1000");
    EXPECT_EQ(TextOf(&text), "Pendra-600");
    EXPECT_EQ(TextOf(&number), "");
    EXPECT_EQ(TextOf(nullptr), "");
    EXPECT_EQ(NumberOf(&number), 2.5);
    EXPECT_EQ(NumberOf(&flag), 0.0);
    EXPECT_TRUE(FlagOf(&flag));
    EXPECT_FALSE(FlagOf(&number));
    EXPECT_EQ(OfferedOf(&item), (std::vector<std::string>{"500", "1000"}));
    EXPECT_TRUE(OfferedOf(&text).empty());

    // A definition's starting values, by name: another class is none.
    Definition definition;
    definition.parameters.push_back(DefinedParameter{"SampleRate", "", "", "", false, CopyValue(item), 1});
    definition.parameters.push_back(DefinedParameter{"StandardDimension_X", "", "", "", true, CopyValue(number), 2});
    EXPECT_EQ(definition.Offered("SampleRate"), (std::vector<std::string>{"500", "1000"}));
    EXPECT_EQ(definition.Number("StandardDimension_X"), 2.5);
    EXPECT_EQ(definition.Number("SampleRate"), 0.0);
    EXPECT_TRUE(definition.Offered("StandardDimension_X").empty());
    EXPECT_EQ(definition.Value<IParameterValueDouble>("Missing"), nullptr);
}
