/// The development host's command line: one table of commands, each with its
/// table of options, from which the parsing, the checks, every help text and
/// the README's option lists follow (CommandLine.cpp says how to add one).
#pragma once

#include "contract/SyncMode.h"
#include "devhost/engine/capture/Actions.h"
#include "devhost/engine/selftest/SelfTestOptions.h"

#include <optional>
#include <string>
#include <vector>

namespace zorvahost {

/// Exit codes of every command.
enum ExitCode
{
    ExitSuccess = 0, ///< the job was done
    ExitFailure = 1, ///< the job failed (plugin, hardware, files, configuration errors)
    ExitUsage = 2    ///< the command line was wrong; nothing was done
};

enum class Command
{
    Capture,
    Definitions,
    CheckConfig,
    Detect,
    Replay,    ///< a capture (or detection) on a field trace, held against it
    TraceInfo, ///< what a field trace holds
    SelfTest,
    Live,    ///< the session with the page that shows it
    Version, ///< `--version`, written as an option
    Help
};

/// What the command line asked for; each option's field is set by its row.
struct Options
{
    Command command = Command::Capture;
    /// `--help` after a command, or the command of `help COMMAND`.
    bool help = false;
    /// `--version [--plugin PATH]`: the program's and the plugin's versions (command Version).
    bool version = false;
    std::string plugin; ///< empty: the plugin beside the program
    bool verbose = false;
    bool full = false; ///< definitions: every parameter
    double seconds = 3.0;
    /// Empty: the shared device's setting as the plugin registered it.
    std::optional<ZORVA::SyncMode> mode;
    std::string rate; ///< empty: unchanged; else decimal datasets per second
    bool thresholdSet = false;
    double threshold = 0.0; ///< newtons
    std::string csvPath;
    std::string plotPath;
    std::vector<TimedAction> actions; ///< sorted by time, in command-line order for equal times
    /// `--record-trace FILE`: the USB library's calls are recorded into it.
    std::string recordTrace;
    /// The FILE of `replay FILE` and `trace-info FILE`.
    std::string traceFile;
    std::string reportDir;           ///< selftest: empty: no report files
    std::vector<WeightSpec> weights; ///< selftest
    std::vector<unsigned int> rates; ///< selftest: empty: every rate the units support
    bool hardwareTrigger = false;    ///< selftest
    bool portSet = false;            ///< live: --port given
    int port = 0;                    ///< live: 0 a free one
    std::string listen;              ///< live: empty: the loopback address
    bool open = false;               ///< live: start the system's browser
};

struct ParseResult
{
    bool ok = false;
    std::string error; ///< what is wrong, when not ok
    Options options;
};

/// Reads the arguments after the program name. The first argument names the
/// command unless it starts with '-' (then: capture); `--version` anywhere
/// makes the command Version.
ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

/// Runs the command of parsed options (its help, when asked); its exit code.
int RunCommand(const Options& options);

/// "capture", "definitions", ...
const char* CommandName(Command command);
/// The help text of a command; Command::Help gives the overview.
std::string HelpText(Command command);
/// The options of a command as the README lists them (four blanks before
/// each line); empty for a command without options.
std::string ReadmeOptionList(Command command);
/// The commands that have options, in the table's order.
std::vector<Command> CommandsWithOptions();

/// The arguments that give a session its shape, as they would be typed:
/// the command and its --seconds, --mode, --rate and --threshold (not the
/// actions, the files or the plugin). Parsed back by ParseCommandLine.
std::vector<std::string> SessionArguments(const Options& options);

} // namespace zorvahost
