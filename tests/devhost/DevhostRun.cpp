#include "DevhostRun.h"

#include "TestEnvironment.h"
#include "platform/Program.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#if !defined(_WIN32)
#    include <sys/wait.h>
#endif

namespace zorvatest {

namespace {

std::string Quote(const std::string& text)
{
    // Double quotes serve both sh and cmd for the texts the tests pass (no $, `, \ or ").
    return "\"" + text + "\"";
}

int ExitCodeOf(int status)
{
#if defined(_WIN32)
    return status;
#else
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

} // namespace

TempFolder::TempFolder()
{
    static std::atomic<int> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("zorva-devhost-test-" + std::to_string(now) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempFolder::Write(const std::string& name, const std::string& bytes) const
{
    const std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

DevhostResult RunDevhost(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                         const TempFolder& folder)
{
    std::string command = Quote(zorvaplatform::ProgramDirectory() + ZORVA_DEVHOST_FILE);
    for (const std::string& argument : arguments)
        command += " " + Quote(argument);
    const std::filesystem::path out = folder.Path() / "stdout.txt";
    const std::filesystem::path err = folder.Path() / "stderr.txt";
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
#if defined(_WIN32)
    // cmd /c strips the first and last quote of a line that starts with one.
    command = "\"" + command + "\"";
#endif

    std::map<std::string, std::string> saved;
    for (const auto& variable : env) {
        const char* old = std::getenv(variable.first.c_str());
        saved[variable.first] = old ? old : "";
        SetEnvironment(variable.first.c_str(), variable.second.empty() ? nullptr : variable.second.c_str());
    }
    DevhostResult result;
    result.exitCode = ExitCodeOf(std::system(command.c_str()));
    for (const auto& variable : saved)
        SetEnvironment(variable.first.c_str(), variable.second.empty() ? nullptr : variable.second.c_str());
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<CsvRow> ReadCaptureCsv(const std::filesystem::path& path, std::string& header)
{
    std::vector<CsvRow> rows;
    const std::vector<std::string> lines = Lines(ReadFile(path));
    header = lines.empty() ? std::string() : lines[0];
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> fields;
        std::istringstream in(lines[i]);
        std::string field;
        while (std::getline(in, field, ','))
            fields.push_back(field);
        if (fields.size() != 11)
            continue;
        CsvRow row;
        row.plate = fields[0];
        row.sample = std::stoll(fields[1]);
        for (int v = 0; v < 8; ++v)
            row.values[v] = std::stod(fields[3 + v]);
        rows.push_back(row);
    }
    return rows;
}

} // namespace zorvatest
