/// The development host's command line: one table of commands, each with its
/// table of options, from which the parsing, the checks, every help text and
/// the README's option lists follow (CommandLine.cpp says how to add one).
#pragma once

#include "contract/SyncMode.h"

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

enum class ActionKind
{
    Rescan, ///< the ScanForHardware action of the shared device
    Zero,   ///< the BroadcastZero action of the shared device
    Blink,  ///< the BlinkAction of one plate (target: instance name or position)
    Unplug, ///< simulated bench: pull a unit's cable (target: unit name or position)
    Plug,   ///< simulated bench: plug it back
    Lose,   ///< simulated bench: the library loses its next blocks (target: how many)
    Repeat, ///< simulated bench: its next block comes again (target: how many more times)
    Fail    ///< simulated bench: its next transfers fail (target: how many)
};

/// One `--at SECONDS:ACTION[=TARGET]`.
struct TimedAction
{
    double seconds = 0.0; ///< from the start of the capture
    ActionKind kind = ActionKind::Rescan;
    std::string target;
    std::string text; ///< as the user wrote it, for messages
};

/// `--weight PLATE=KG[@X,Y]`: a known mass the user puts on a plate.
struct WeightSpec
{
    std::string plate; ///< instance name or position from 0
    double kg = 0.0;
    bool atGiven = false;
    double x = 0.0, y = 0.0; ///< metres from the plate's centre, plate axes
    std::string text;        ///< as written, for messages
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

/// A time in seconds written as a plain decimal number ("2", "0.5"); false
/// for anything else (signs, exponents, inf, trailing text).
bool ParseSeconds(const std::string& text, double& seconds);

} // namespace zorvahost
