// The plugin's named codes: the integers the host, the USB library's results
// and the configuration readers' callers see, and the names a failing test
// prints for them.
#include "config/ReaderResult.h"
#include "contract/SyncMode.h"
#include "devices/DeviceState.h"
#include "driver/DetectionStatus.h"
#include "contract/Log.h"

#include <gtest/gtest.h>

#include <string>

using namespace ZORVA;

namespace {

struct CodeCase
{
    std::string printed; ///< as GoogleTest prints the value
    int value;
    const char* name;
    int expected;
};

template <typename Code>
CodeCase Case(Code code, const char* name, int expected)
{
    return CodeCase{::testing::PrintToString(code), static_cast<int>(code), name, expected};
}

} // namespace

TEST(Codes, Print_EveryEnumerator_ItsNameAndItsInteger)
{
    const CodeCase cases[] = {
        Case(SyncMode::SoftwareTrigger, "SoftwareTrigger", 0),
        Case(SyncMode::HardwareTrigger, "HardwareTrigger", 1),
        Case(SyncMode::Genlock, "Genlock", 2),
        Case(static_cast<SyncMode>(7), "SyncMode(7)", 7),
        Case(DeviceState::Armed, "Armed", 0),
        Case(DeviceState::Acquiring, "Acquiring", 1),
        Case(DeviceState::Stopped, "Stopped", 2),
        Case(static_cast<DeviceState>(-1), "DeviceState(-1)", -1),
        Case(LogLevel::Trace, "Trace", 0),
        Case(LogLevel::Information, "Information", 1),
        Case(LogLevel::Warning, "Warning", 2),
        Case(LogLevel::DetectionFailed, "DetectionFailed", 3),
        Case(static_cast<LogLevel>(4), "LogLevel(4)", 4),
        Case(DetectionStatus::SetupUnchanged, "SetupUnchanged", 0),
        Case(DetectionStatus::Started, "Started", 1),
        Case(DetectionStatus::TimedOut, "TimedOut", 2),
        Case(static_cast<DetectionStatus>(3), "DetectionStatus(3)", 3),
        Case(ReaderResult::Failed, "Failed", -1),
        Case(ReaderResult::NotFound, "NotFound", 0),
        Case(ReaderResult::Read, "Read", 1),
        Case(static_cast<ReaderResult>(2), "ReaderResult(2)", 2),
    };
    for (const CodeCase& c : cases) {
        EXPECT_EQ(c.printed, c.name);
        EXPECT_EQ(c.value, c.expected) << c.name;
    }
}

TEST(SyncModeTexts, SyncModeFromText_EveryModesText_ThatModeInTheSettingsOrder)
{
    const std::vector<std::string> texts = SyncModeTexts();
    ASSERT_EQ(texts, (std::vector<std::string>{"Software trigger", "Hardware trigger", "Genlock"}));
    for (SyncMode mode : {SyncMode::SoftwareTrigger, SyncMode::HardwareTrigger, SyncMode::Genlock}) {
        EXPECT_EQ(SyncModeText(mode), texts.at(static_cast<std::size_t>(mode)));
        SyncMode read = static_cast<SyncMode>(-1);
        EXPECT_TRUE(SyncModeFromText(SyncModeText(mode), read));
        EXPECT_EQ(read, mode);
    }
    EXPECT_STREQ(SyncModeText(static_cast<SyncMode>(3)), "");
}

TEST(SyncModeTexts, SyncModeFromText_NoModesWholeText_FalseAndModeKept)
{
    const std::string texts[] = {
        "",           "genlock", "Genlock ", " Genlock", "Software", "Hardware trigger\r", std::string("Genlock\0", 8),
        "SyncMode(2)"};
    for (const std::string& text : texts) {
        SyncMode mode = SyncMode::HardwareTrigger;
        EXPECT_FALSE(SyncModeFromText(text, mode)) << '"' << text << '"';
        EXPECT_EQ(mode, SyncMode::HardwareTrigger);
    }
}

TEST(SyncModeTexts, SyncModeFromWord_EveryModesWord_ThatModeAndNoOtherText)
{
    std::vector<std::string> words;
    for (SyncMode mode : SyncModes()) {
        words.push_back(SyncModeWord(mode));
        SyncMode read = static_cast<SyncMode>(-1);
        EXPECT_TRUE(SyncModeFromWord(SyncModeWord(mode), read));
        EXPECT_EQ(read, mode);
    }
    // The words a command line has always taken, in the setting's order.
    EXPECT_EQ(words, (std::vector<std::string>{"software", "hardware", "genlock"}));
    for (const char* other : {"", "Genlock", "Software trigger", "soft", "genlock "}) {
        SyncMode mode = SyncMode::HardwareTrigger;
        EXPECT_FALSE(SyncModeFromWord(other, mode)) << '"' << other << '"';
        EXPECT_EQ(mode, SyncMode::HardwareTrigger);
    }
    EXPECT_STREQ(SyncModeWord(static_cast<SyncMode>(3)), "");
}
