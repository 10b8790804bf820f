// Drive C of the Win32 layer mapped to a fresh temporary folder, with helpers
// to lay configuration files into C:\ZORVA\CFG.
#pragma once

#include <filesystem>
#include <string>

namespace ZORVA {
namespace test {

/// Maps drive C to a new temporary folder for its lifetime and removes the
/// folder afterwards. The CFG folder is not created until a file is written
/// (or CreateConfigFolder is called), so a missing folder is the default.
class ConfigDrive
{
public:
    ConfigDrive();
    ~ConfigDrive();
    ConfigDrive(const ConfigDrive&) = delete;
    ConfigDrive& operator=(const ConfigDrive&) = delete;

    /// C:\ZORVA\CFG as a POSIX folder.
    std::filesystem::path ConfigFolder() const;
    void CreateConfigFolder() const;
    /// Writes C:\ZORVA\CFG\<name> with exactly these bytes.
    void Write(const std::string& name, const std::string& bytes) const;
    /// Copies tests/config/fixtures/<fixture> to C:\ZORVA\CFG\<name>.
    void CopyFixture(const std::string& fixture, const std::string& name) const;

private:
    std::filesystem::path root_;
};

/// L"C:\\ZORVA\\CFG\\<name>".
std::wstring ConfigPath(const std::string& name);

/// Latin-1 view of a wide text, for readable failure output.
std::string Show(const std::wstring& text);

/// A reader's summary message as its error text holds it.
inline std::wstring Summary(const std::wstring& message)
{
    return L"Summary error in configuration file: \r\n" + message + L" ";
}

/// A reader's message about one line as its error text holds it.
inline std::wstring Semantic(const std::wstring& message, int line)
{
    return L"Semantic error (" + message + L") in configuration file at line " + std::to_wstring(line) + L" \r\n";
}

} // namespace test
} // namespace ZORVA
