#include "ConfigTestSupport.h"

#include "config/ConfigText.h"
#include "win32/posix/win32_control.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace ZORVA {
namespace test {

ConfigDrive::ConfigDrive()
{
    // A folder of our own: create_directory fails when the name is taken.
    std::random_device random;
    for (int attempt = 0; root_.empty(); ++attempt) {
        if (attempt == 100)
            throw std::runtime_error("cannot create a temporary folder");
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / ("zorva-config-" + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
            root_ = candidate;
    }
    ZorvaWin32_SetDriveDirectory('C', root_.string().c_str());
}

ConfigDrive::~ConfigDrive()
{
    ZorvaWin32_SetDriveDirectory('C', nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path ConfigDrive::ConfigFolder() const { return root_ / "ZORVA" / "CFG"; }

void ConfigDrive::CreateConfigFolder() const { std::filesystem::create_directories(ConfigFolder()); }

void ConfigDrive::Write(const std::string& name, const std::string& bytes) const
{
    CreateConfigFolder();
    std::ofstream out(ConfigFolder() / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + name);
}

void ConfigDrive::CopyFixture(const std::string& fixture, const std::string& name) const
{
    CreateConfigFolder();
    std::filesystem::copy_file(std::filesystem::path(ZORVA_CONFIG_FIXTURES) / fixture, ConfigFolder() / name,
                               std::filesystem::copy_options::overwrite_existing);
}

std::wstring ConfigPath(const std::string& name) { return L"C:\\ZORVA\\CFG\\" + WidenText(name); }

std::string Show(const std::wstring& text) { return NarrowText(text); }

} // namespace test
} // namespace ZORVA
