// File opening of the POSIX Win32 layer: drive mapping and Win32 error codes.
#include "win32/ZorvaWin32.h"
#include "win32/posix/win32_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <unistd.h>

namespace {

class Win32Files : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zorva-drive-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        drive = pattern;
        ZorvaWin32_SetDriveDirectory('C', drive.c_str());
        ASSERT_EQ(mkdir((drive + "/ZORVA").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((drive + "/ZORVA/CFG").c_str(), 0755), 0);
    }
    void TearDown() override
    {
        ZorvaWin32_SetDriveDirectory('C', nullptr);
        std::system(("rm -rf '" + drive + "'").c_str());
    }

    HANDLE Open(const char* path)
    {
        return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::string drive;
};

} // namespace

TEST_F(Win32Files, CreateFileA_DrivePath_OpensMappedFileAndReadsBytes)
{
    std::ofstream(drive + "/ZORVA/CFG/Strivo.cfg", std::ios::binary) << "ab\r\n\xff";
    HANDLE file = Open("C:\\ZORVA\\CFG\\Strivo.cfg");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16];
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "ab\r\n\xff");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u) << "end of file";
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Win32Files, CreateFileA_Failures_GiveWindowsErrorCodes)
{
    struct Case
    {
        const char* path;
        DWORD error;
    };
    ASSERT_EQ(mkdir((drive + "/ZORVA/CFG/Folder.cfg").c_str(), 0755), 0);
    for (const Case& c : {Case{"C:\\ZORVA\\CFG\\Missing.cfg", ERROR_FILE_NOT_FOUND},
                          Case{"C:\\ZORVA\\NOCFG\\Missing.cfg", ERROR_PATH_NOT_FOUND},
                          Case{"C:\\ZORVA\\CFG\\Folder.cfg", ERROR_ACCESS_DENIED}}) {
        SetLastError(0);
        EXPECT_EQ(Open(c.path), INVALID_HANDLE_VALUE) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
}

TEST_F(Win32Files, GetFileType_RegularFileDeviceAndPipe_TypeOfEach)
{
    std::ofstream(drive + "/ZORVA/CFG/Strivo.cfg") << "x";
    ASSERT_EQ(symlink("/dev/zero", (drive + "/ZORVA/CFG/Zero.cfg").c_str()), 0);
    ASSERT_EQ(mkfifo((drive + "/ZORVA/CFG/Pipe.cfg").c_str(), 0600), 0);
    // Regression: open() of a named pipe waited for a writer, where
    // CreateFileA returns at once. End the program rather than hang.
    alarm(60);
    for (const auto& c : {std::make_pair("C:\\ZORVA\\CFG\\Strivo.cfg", FILE_TYPE_DISK),
                          std::make_pair("C:\\ZORVA\\CFG\\Zero.cfg", FILE_TYPE_CHAR),
                          std::make_pair("C:\\ZORVA\\CFG\\Pipe.cfg", FILE_TYPE_PIPE)}) {
        HANDLE file = Open(c.first);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << c.first;
        EXPECT_EQ(GetFileType(file), c.second) << c.first;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
        EXPECT_TRUE(CloseHandle(file));
    }
    alarm(0);
    SetLastError(0);
    EXPECT_EQ(GetFileType(INVALID_HANDLE_VALUE), FILE_TYPE_UNKNOWN);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Win32Files, MapPath_DriveLetter_UsesOverrideThenEnvironment)
{
    char mapped[256];
    ZorvaWin32_MapPath("c:\\ZORVA\\CFG\\x.cfg", mapped, sizeof mapped);
    EXPECT_EQ(std::string(mapped), drive + "/ZORVA/CFG/x.cfg");

    ZorvaWin32_SetDriveDirectory('C', nullptr);
    setenv("ZORVA_DRIVE_C", "/lab/drive", 1);
    ZorvaWin32_MapPath("C:\\ZORVA\\CFG\\x.cfg", mapped, sizeof mapped);
    EXPECT_EQ(std::string(mapped), "/lab/drive/ZORVA/CFG/x.cfg");
    unsetenv("ZORVA_DRIVE_C");

    char small[8];
    const std::size_t needed = ZorvaWin32_MapPath("relative\\name.cfg", small, sizeof small);
    EXPECT_EQ(needed, std::string("relative/name.cfg").size() + 1);
    EXPECT_EQ(std::string(small), "relativ") << "cut, still terminated";
}
