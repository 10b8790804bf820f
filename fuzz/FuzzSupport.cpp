#include "FuzzSupport.h"

#include "config/ConfigText.h"
#include "win32/posix/win32_control.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zorvafuzz {

namespace {

std::filesystem::path g_drive;

std::filesystem::path ConfigFolder() { return g_drive / "ZORVA" / "CFG"; }

void RemoveDrive()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_drive, ignored);
}

} // namespace

void UseTemporaryDrive()
{
    if (!g_drive.empty())
        return;
    // In memory where there is such a folder: every input is written to a file.
    std::error_code error;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "zorva-fuzz-XXXXXX").string();
    Require(mkdtemp(&pattern[0]) != nullptr, "cannot create a temporary folder");
    g_drive = pattern;
    std::filesystem::create_directories(ConfigFolder());
    ZorvaWin32_SetDriveDirectory('C', g_drive.c_str());
    std::atexit(RemoveDrive);
}

void WriteConfigFile(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(ConfigFolder() / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Require(static_cast<bool>(out), "cannot write a configuration file");
}

void RemoveConfigFile(const std::string& name)
{
    std::error_code ignored;
    std::filesystem::remove(ConfigFolder() / name, ignored);
}

void Require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

std::string Narrow(const std::wstring& text)
{
    std::string bytes;
    for (wchar_t c : text)
        bytes += static_cast<char>(static_cast<unsigned char>(static_cast<unsigned long>(c) & 0xFFu));
    return bytes;
}

ZORVA::ReaderResult ReadAsConfigFile(ZORVA::ConfigRead& reader, const std::string& name, const std::uint8_t* data,
                                     std::size_t size)
{
    UseTemporaryDrive();
    WriteConfigFile(name, data, size);
    std::wstring errorText;
    const ZORVA::ReaderResult result = reader.ReadConfigFile(ZORVA::WidenText("C:\\ZORVA\\CFG\\" + name), errorText);
    Require(result == ZORVA::ReaderResult::Read || result == ZORVA::ReaderResult::Failed,
            "the result is Read or Failed");
    Require((result == ZORVA::ReaderResult::Read) == errorText.empty(), "an error text exactly when the read fails");
    return result;
}

} // namespace zorvafuzz
