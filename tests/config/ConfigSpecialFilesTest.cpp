// Configuration paths that name something other than a regular file: a
// device that never ends, an empty device, a named pipe without a writer.
// POSIX only (Windows has no such nodes under C:\ZORVA\CFG).
#include "ConfigTestSupport.h"

#include "config/CComboRead.h"
#include "config/StrivoRead.h"
#include "config/TreadmillSupportRead.h"
#include "definitions/CustomDefinitions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ZORVA {
namespace {

enum class Node
{
    DevZero,
    DevNull,
    NamedPipe
};

struct SpecialCase
{
    const char* name;
    Node node;
};

std::ostream& operator<<(std::ostream& out, const SpecialCase& c) { return out << c.name; }

class ConfigSpecialFileTest : public ::testing::TestWithParam<SpecialCase>
{
protected:
    void SetUp() override
    {
        drive.CreateConfigFolder();
        for (const char* file : {"TreadmillSupport.cfg", "CombinationPlatform.cfg", "Strivo.cfg"}) {
            const std::filesystem::path path = drive.ConfigFolder() / file;
            switch (GetParam().node) {
            case Node::DevZero: std::filesystem::create_symlink("/dev/zero", path); break;
            case Node::DevNull: std::filesystem::create_symlink("/dev/null", path); break;
            case Node::NamedPipe: ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); break;
            }
        }
        // Before the fix the reads below never returned (a pipe without a
        // writer blocks in open, /dev/zero never ends): end the test program
        // instead of hanging. Nothing here waits when the reads behave.
        alarm(60);
    }
    void TearDown() override
    {
        alarm(0);
        ReleaseCustomDefinitions();
    }

    test::ConfigDrive drive;
};

// Regression: a configuration path that is a symlink to /dev/zero looped
// forever (or grew one line until memory ran out), and a named pipe blocked
// Initialise in open.
TEST_P(ConfigSpecialFileTest, AllReaders_NotARegularFile_ReadError)
{
    const std::wstring expected = L"Cannot open configuration file: not a regular file";
    std::wstring errorText;
    CComboRead combo;
    EXPECT_EQ(combo.ReadConfigFile(test::ConfigPath("CombinationPlatform.cfg"), errorText), ReaderResult::Failed);
    EXPECT_EQ(errorText, expected);
    StrivoRead strivo;
    EXPECT_EQ(strivo.ReadConfigFile(test::ConfigPath("Strivo.cfg"), errorText), ReaderResult::Failed);
    EXPECT_EQ(errorText, expected);
    TreadmillSupportRecord record;
    int plates = 0;
    EXPECT_EQ(ReadTreadmillSupport(plates, test::ConfigPath("TreadmillSupport.cfg"), record, errorText),
              ReaderResult::Failed);
    EXPECT_EQ(errorText, expected);

    BuildCustomDefinitions(nullptr);
    EXPECT_EQ(customDefinitionCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigSpecialFileTest,
                         ::testing::Values(SpecialCase{"SymlinkToDevZero", Node::DevZero},
                                           SpecialCase{"SymlinkToDevNull", Node::DevNull},
                                           SpecialCase{"NamedPipeWithoutWriter", Node::NamedPipe}),
                         [](const ::testing::TestParamInfo<SpecialCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace ZORVA
