// The platform layer's reading of a module's version from its file (the
// version resource on Windows, the ELF note elsewhere) on files that state
// none or are damaged: each is refused with a reason, none read out of bounds.
#include "DevhostRun.h"
#include "ZorvaVersion.h"
#include "platform/Program.h"
#include "platform/FileVersion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace zorvatest;
using zorvaplatform::ProgramDirectory;
using zorvaplatform::ReadFileVersion;

namespace {

void ExpectRefused(const std::string& path, const char* what)
{
    std::string version, error;
    EXPECT_FALSE(ReadFileVersion(path, version, error)) << what << " read as version \"" << version << "\"";
    EXPECT_NE(error.find(path), std::string::npos) << what << ": \"" << error << "\" does not name the file";
}

} // namespace

TEST(DevhostPlatform, ReadFileVersion_FilesWithoutVersion_RefusedNamingTheFile)
{
    TempFolder folder;
    const std::string plugin = ReadFile(ProgramDirectory() + ZORVA_PLUGIN_FILE);
    ASSERT_GT(plugin.size(), 4096u);
    ExpectRefused(ProgramDirectory() + ZORVA_USB_FILE, "the USB library, which states no version");
    ExpectRefused(folder.Write("text.mdd", "not a module\n").string(), "a text file");
    ExpectRefused(folder.Write("cut.mdd", plugin.substr(0, 64)).string(), "the plugin cut after 64 bytes");
    ExpectRefused((folder.Path() / "missing.mdd").string(), "a missing file");
}

TEST(DevhostPlatform, ReadFileVersion_NoteSizeBeyondItsSegment_Refused)
{
    std::string plugin = ReadFile(ProgramDirectory() + ZORVA_PLUGIN_FILE);
    // The note's owner, padded to four bytes, then its description.
    const std::size_t owner = plugin.find(std::string("ZORVA\0\0\0", 8) + ZORVA_VERSION_TEXT);
    if (owner == std::string::npos)
        GTEST_SKIP() << "no ELF version note: the Windows build has a version resource";
    ASSERT_GE(owner, 12u);
    const std::uint32_t huge = 0x7ffffff0;
    std::memcpy(&plugin[owner - 8], &huge, sizeof huge); // n_descsz
    TempFolder folder;
    ExpectRefused(folder.Write("damaged.mdd", plugin).string(), "a note larger than its segment");
}
