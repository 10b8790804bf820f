// Runs the built development host as a user would, from a shell, with its
// output captured into files, and reads back what it printed and wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zorvatest {

struct DevhostResult
{
    int exitCode = -1;
    std::string out; ///< standard output
    std::string err; ///< standard error
};

/// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// Writes `name` (may contain folders) with exactly these bytes; returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path path_;
};

/// Runs zorva-devhost (beside this test program) with `arguments` (each
/// quoted for the shell) and these environment variables set for it (an
/// empty value removes the variable). Output goes to files in `folder`.
DevhostResult RunDevhost(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                         const TempFolder& folder);

/// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

/// One CSV row of the capture file.
struct CsvRow
{
    std::string plate;
    std::int64_t sample = 0;
    double values[8] = {}; ///< Fx Fy Fz Mx My Mz CoPx CoPy
};

/// The rows of a capture CSV; `header` gets its first line.
std::vector<CsvRow> ReadCaptureCsv(const std::filesystem::path& path, std::string& header);

/// The lines of a text.
std::vector<std::string> Lines(const std::string& text);

/// The source tree: the examples, scenarios and traces the tests run.
inline const std::string kSource = ZORVA_SOURCE_DIR;

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace zorvatest
