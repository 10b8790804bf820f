// The command line as tables. To add an option: a row in kOptions (its name,
// value, and how it sets its field of Options), then a row in the option table
// of each command that takes it (with that command's help text for it). To add
// a command: its enumerator, its Run function (Commands.h), its option table
// and a row in CommandTable(). Parsing, the checks, the help texts and the README's
// option lists (a test compares them) all follow from these tables.
#include "devhost/program/CommandLine.h"

#include "devhost/program/Commands.h"
#include "devhost/engine/Text.h"

#include <algorithm>
#include <cstdio>

namespace zorvahost {

namespace {

// ---------------------------------------------------------------- options

enum class ValueKind
{
    None,  ///< a flag
    Value, ///< "needs a value"
    File   ///< "needs a file name", also when the value is empty
};

/// One option: how it is written and what it does to Options.
struct OptionSpec
{
    const char* name; ///< "--seconds"
    ValueKind kind;
    const char* value; ///< the value's placeholder in help texts ("S"); "" for a flag
    /// The value as a usage line shows it; null: `value`.
    std::string (*usageValue)();
    bool repeats; ///< may be given more than once ("[--at ...]...")
    /// Takes the value (empty for a flag); false with `error` when it is wrong.
    bool (*apply)(const std::string& value, Options& options, std::string& error);
};

bool ApplyPlugin(const std::string& value, Options& options, std::string&)
{
    options.plugin = value;
    return true;
}

bool ApplyVerbose(const std::string&, Options& options, std::string&)
{
    options.verbose = true;
    return true;
}

bool ApplyFull(const std::string&, Options& options, std::string&)
{
    options.full = true;
    return true;
}

bool ApplySeconds(const std::string& value, Options& options, std::string& error)
{
    if (!ParseSeconds(value, options.seconds) || options.seconds <= 0.0) {
        error = "--seconds " + value + ": give the capture length in seconds, more than 0";
        return false;
    }
    return true;
}

std::string ModeWords(const char* separator, const char* last)
{
    const std::vector<ZORVA::SyncMode> modes = ZORVA::SyncModes();
    std::string words;
    for (std::size_t i = 0; i < modes.size(); ++i)
        words += (i == 0 ? "" : i + 1 == modes.size() ? last : separator) + std::string(ZORVA::SyncModeWord(modes[i]));
    return words;
}

std::string ModeUsage() { return ModeWords("|", "|"); }

bool ApplyMode(const std::string& value, Options& options, std::string& error)
{
    ZORVA::SyncMode mode;
    if (!ZORVA::SyncModeFromWord(value, mode)) {
        error = "--mode " + value + ": choose " + ModeWords(", ", " or ");
        return false;
    }
    options.mode = mode;
    return true;
}

bool ApplyRate(const std::string& value, Options& options, std::string& error)
{
    int rate = 0;
    if (!ParseInteger(value, rate) || rate < 1 || rate > 100000) {
        error = "--rate " + value + ": give the acquisition rate in datasets per second, for example 1000";
        return false;
    }
    // As the setting holds it: a plain decimal text without leading zeros.
    options.rate = std::to_string(rate);
    return true;
}

bool ApplyThreshold(const std::string& value, Options& options, std::string& error)
{
    if (!ParseNumber(value, NumberForm{true, false}, options.threshold)) {
        error = "--threshold " + value + ": give the Fz threshold in newtons, for example 20";
        return false;
    }
    options.thresholdSet = true;
    return true;
}

bool ApplyCsv(const std::string& value, Options& options, std::string&)
{
    options.csvPath = value;
    return true;
}

bool ApplyPlot(const std::string& value, Options& options, std::string&)
{
    options.plotPath = value;
    return true;
}

bool ApplyAt(const std::string& text, Options& options, std::string& error)
{
    TimedAction action;
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        error = "--at " + text + ": write SECONDS:ACTION, for example --at 2.0:rescan";
        return false;
    }
    if (!ParseSeconds(text.substr(0, colon), action.seconds)) {
        error = "--at " + text + ": \"" + text.substr(0, colon) +
                "\" is not a time in seconds from the start of the capture (for example 2 or 2.5)";
        return false;
    }
    const std::string what = text.substr(colon + 1);
    const std::size_t equals = what.find('=');
    const std::string name = what.substr(0, equals);
    action.target = equals == std::string::npos ? std::string() : what.substr(equals + 1);
    action.text = text;
    const ActionSpec* spec = FindAction(name);
    if (!spec) {
        error = "--at " + text + ": unknown action \"" + name + "\"; the actions are " + ActionList();
        return false;
    }
    action.kind = spec->kind;
    if (spec->NeedsTarget() && action.target.empty()) {
        error = "--at " + text + ": write " + spec->targetHelp;
        return false;
    }
    if (!spec->NeedsTarget() && equals != std::string::npos) {
        error = "--at " + text + ": " + spec->name + " takes no argument";
        return false;
    }
    int count = 0;
    if (spec->Counted() && (!ParseInteger(action.target, count) || count < 1 || count > 1000)) {
        error = "--at " + text + ": write " + spec->targetHelp;
        return false;
    }
    options.actions.push_back(action);
    return true;
}

bool ApplyRecordTrace(const std::string& value, Options& options, std::string&)
{
    options.recordTrace = value;
    return true;
}

bool ApplyReport(const std::string& value, Options& options, std::string&)
{
    options.reportDir = value;
    return true;
}

bool ApplyRates(const std::string& value, Options& options, std::string& error)
{
    options.rates.clear();
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = value.find(',', from);
        const std::string text = value.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        int rate = 0;
        if (!ParseInteger(text, rate) || rate < 1 || rate > 100000) {
            error = "--rates " + value +
                    ": give acquisition rates in datasets per second, separated by commas, "
                    "for example 1000,500";
            return false;
        }
        if (std::find(options.rates.begin(), options.rates.end(), static_cast<unsigned int>(rate)) ==
            options.rates.end())
            options.rates.push_back(static_cast<unsigned int>(rate));
        if (comma == std::string::npos)
            return true;
        from = comma + 1;
    }
}

bool ApplyWeight(const std::string& text, Options& options, std::string& error)
{
    // PLATE=KG or PLATE=KG@X,Y
    WeightSpec weight;
    weight.text = text;
    const std::size_t equals = text.rfind('=');
    const std::size_t at = text.find('@', equals == std::string::npos ? 0 : equals);
    const std::string mass = equals == std::string::npos
                                 ? std::string()
                                 : text.substr(equals + 1, at == std::string::npos ? at : at - equals - 1);
    weight.plate = equals == std::string::npos ? std::string() : text.substr(0, equals);
    if (weight.plate.empty() || !ParseNumber(mass, NumberForm{true, false}, weight.kg) || weight.kg <= 0.0) {
        error = "--weight " + text +
                ": write PLATE=KG or PLATE=KG@X,Y (a plate's instance name or position from 0, "
                "the mass in kilograms, where it stands in metres from the plate's centre), "
                "for example 0=20 or 0=20@0.1,-0.05";
        return false;
    }
    if (at != std::string::npos) {
        const std::string point = text.substr(at + 1);
        const std::size_t comma = point.find(',');
        const NumberForm signedDecimal{true, true};
        if (comma == std::string::npos || !ParseNumber(point.substr(0, comma), signedDecimal, weight.x) ||
            !ParseNumber(point.substr(comma + 1), signedDecimal, weight.y)) {
            error = "--weight " + text +
                    ": write where the weight stands as @X,Y in metres from the plate's "
                    "centre, for example @0.1,-0.05";
            return false;
        }
        weight.atGiven = true;
    }
    for (const WeightSpec& other : options.weights) {
        if (other.plate == weight.plate) {
            error = "--weight " + text + ": one weight a plate (" + other.text + " already)";
            return false;
        }
    }
    options.weights.push_back(weight);
    return true;
}

bool ApplyHardwareTrigger(const std::string&, Options& options, std::string&)
{
    options.hardwareTrigger = true;
    return true;
}

bool ApplyPort(const std::string& value, Options& options, std::string& error)
{
    int port = 0;
    if (!ParseInteger(value, port) || port > 65535) {
        error = "--port " + value + ": give a TCP port, 1 to 65535 (0: a free one)";
        return false;
    }
    options.port = port;
    options.portSet = true;
    return true;
}

bool ApplyListen(const std::string& value, Options& options, std::string&)
{
    options.listen = value;
    return true;
}

bool ApplyOpen(const std::string&, Options& options, std::string&)
{
    options.open = true;
    return true;
}

const OptionSpec kPlugin{"--plugin", ValueKind::File, "PATH", nullptr, false, ApplyPlugin};
const OptionSpec kVerbose{"--verbose", ValueKind::None, "", nullptr, false, ApplyVerbose};
const OptionSpec kFull{"--full", ValueKind::None, "", nullptr, false, ApplyFull};
const OptionSpec kSeconds{"--seconds", ValueKind::Value, "S", nullptr, false, ApplySeconds};
const OptionSpec kMode{"--mode", ValueKind::Value, "MODE", ModeUsage, false, ApplyMode};
const OptionSpec kRate{"--rate", ValueKind::Value, "N", nullptr, false, ApplyRate};
const OptionSpec kThreshold{"--threshold", ValueKind::Value, "NEWTONS", nullptr, false, ApplyThreshold};
const OptionSpec kCsv{"--csv", ValueKind::File, "FILE", nullptr, false, ApplyCsv};
const OptionSpec kPlot{"--plot", ValueKind::File, "FILE.png", nullptr, false, ApplyPlot};
const OptionSpec kAt{"--at", ValueKind::Value, "SECONDS:ACTION", nullptr, true, ApplyAt};
const OptionSpec kRecordTrace{"--record-trace", ValueKind::File, "FILE", nullptr, false, ApplyRecordTrace};

const OptionSpec kReport{"--report", ValueKind::File, "DIR", nullptr, false, ApplyReport};
const OptionSpec kWeight{"--weight", ValueKind::Value, "PLATE=KG", nullptr, true, ApplyWeight};
const OptionSpec kRates{"--rates", ValueKind::Value, "LIST", nullptr, false, ApplyRates};
const OptionSpec kHardwareTrigger{"--hardware-trigger", ValueKind::None, "", nullptr, false, ApplyHardwareTrigger};

const OptionSpec kPort{"--port", ValueKind::Value, "N", nullptr, false, ApplyPort};
const OptionSpec kListen{"--listen", ValueKind::Value, "ADDRESS", nullptr, false, ApplyListen};
const OptionSpec kOpen{"--open", ValueKind::None, "", nullptr, false, ApplyOpen};

const OptionSpec* const kOptions[] = {
    &kPlugin, &kVerbose, &kFull,  &kSeconds,         &kMode,        &kRate, &kThreshold, &kCsv, &kPlot, &kAt,
    &kReport, &kWeight,  &kRates, &kHardwareTrigger, &kRecordTrace, &kPort, &kListen,    &kOpen};

// ---------------------------------------------------------------- commands

/// An option as one command takes it.
struct OptionRow
{
    const OptionSpec* option;
    /// This command's help text for it; lines after the first are indented to the column.
    std::string help;
    /// The usage line breaks before this option.
    bool usageBreak = false;
};

struct CommandSpec
{
    Command command;
    const char* name;     ///< as typed; for Version, the option that asks for it
    bool optionForm;      ///< written as an option (`--version`), anywhere on the line
    const char* usage;    ///< the command in its usage line: "[capture]", "definitions"
    const char* overview; ///< its line(s) in the overview
    const char* description;
    std::vector<OptionRow> options;
    std::size_t helpColumn; ///< where the options' help texts start
    const char* epilogue;   ///< after the options: examples, exit codes
    int (*run)(const Options& options);
    /// Checks that need all options; false with `error` saying what is wrong.
    bool (*check)(Options& options, std::string& error);
    /// The one argument that is not an option ("FILE", into Options::traceFile);
    /// null for a command without one.
    const char* operand = nullptr;
};

bool CheckCapture(Options& options, std::string& error)
{
    std::stable_sort(options.actions.begin(), options.actions.end(),
                     [](const TimedAction& a, const TimedAction& b) { return a.seconds < b.seconds; });
    for (const TimedAction& action : options.actions) {
        if (action.seconds >= options.seconds) {
            error = "--at " + action.text + ": the capture ends at " + Short(options.seconds) +
                    " s; give a longer --seconds or an earlier time";
            return false;
        }
    }
    return true;
}

std::string ModeHelp()
{
    std::string text = "synchronisation: ";
    const std::vector<ZORVA::SyncMode> modes = ZORVA::SyncModes();
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const std::string note = ZORVA::SyncModeNote(modes[i]);
        // The first mode and its note fill the first line.
        const char* separator = i == 0 ? "" : i + 1 == modes.size() ? " or " : i == 1 ? ",\n" : ", ";
        text += separator + std::string(ZORVA::SyncModeWord(modes[i])) + (note.empty() ? "" : " (" + note + ")");
    }
    return text;
}

const std::vector<CommandSpec>& CommandTable()
{
    static const std::vector<CommandSpec> commands = {
        {Command::Capture,
         "capture",
         false,
         "[capture]",
         "(the default) detect, arm, record and summarise; --csv and --plot save\n"
         "the data; --at triggers rescans, zeroing, blinking, unplugging",
         "Loads the plugin like a motion-capture host, detects the plates, arms every device,\n"
         "records for S seconds and prints a summary per plate. On a terminal a progress line\n"
         "shows the elapsed time, the blocks received and the current Fz of each plate.\n",
         {
             {&kSeconds, "capture length (default 3)"},
             {&kMode, ModeHelp()},
             {&kRate, "acquisition rate, datasets per second (one the setting offers;\n"
                      "the plugin adjusts it to what every unit supports)"},
             {&kThreshold, "Fz threshold: samples at or below it read as zeros", true},
             {&kCsv, "every sample: plate, sample, time_s, Fx_N Fy_N Fz_N,\n"
                     "Mx_Nm My_Nm Mz_Nm, CoPx_m CoPy_m (comma-separated, one header line),\n"
                     "written as the plates deliver them"},
             {&kPlot, "Fz of every plate over time and each plate's centre-of-pressure\n"
                      "path over its outline (needs Python 3 with matplotlib; set\n"
                      "ZORVA_PYTHON to choose the interpreter)"},
             {&kAt, ActionsHelp(), true},
             {&kRecordTrace, "record the USB library's calls into a field trace (replay FILE\n"
                             "replays it): the recording library stands in front of the one\n"
                             "the plugin loads"},
             {&kPlugin, "another ZORVAplugin.mdd"},
             {&kVerbose, "every log line as it comes, USB-library calls included"},
         },
         23,
         "\n"
         "Example: zorva-devhost capture --seconds 8 --at 2:zero --at 3:unplug=1 --at 5.5:plug=1\n"
         "         --csv plates.csv --plot plates.png\n"
         "\n"
         "Exit code 1 when no plate could be armed, or the CSV or the plot could not be written.\n",
         RunCapture,
         CheckCapture},
        {Command::Definitions,
         "definitions",
         false,
         "definitions",
         "the device definitions the plugin registers",
         "Loads the plugin, lets it register its device definitions and prints them as a table:\n"
         "manufacturer / name, device type, size (X x Y, metres) and outputs. Custom plates from\n"
         "the configuration files are marked with the file they came from.\n",
         {
             {&kFull, "every parameter with its id, group and value, the outputs' channels\n"
                      "and the sync ports"},
             {&kPlugin, "another ZORVAplugin.mdd (default: the one beside this program)"},
             {&kVerbose, "the plugin's log lines too"},
         },
         18,
         "",
         RunDefinitions,
         nullptr},
        {Command::CheckConfig,
         "check-config",
         false,
         "check-config",
         "the configuration files as the plugin reads them, with every error and warning",
         "Reads the three configuration files exactly as the plugin reads them and prints, per\n"
         "file, its path, the read result, every error line, the custom plates it gives (name,\n"
         "size, and the line it comes from) and a warning with its line for every plate the\n"
         "plugin leaves out (an empty name, a NUL in it, the name of one of the plugin's own\n"
         "definitions, a size that is not a finite number) and every name an earlier plate has\n"
         "too (both stay; detection takes the later one). The plugin shows no error: a file\n"
         "with any error simply gives no custom plate. It logs each warning at level 2.\n"
         "\n"
         "Files: C:\\ZORVA\\CFG\\TreadmillSupport.cfg, CombinationPlatform.cfg and Strivo.cfg\n"
         "(off Windows, drive C is the folder $ZORVA_DRIVE_C, default ~/.zorva/drive_c).\n"
         "\n"
         "Exit code 1 when a file that exists has errors (or cannot be read), else 0, also\n"
         "with warnings.\n",
         {},
         0,
         "",
         RunCheckConfig,
         nullptr},
        {Command::Detect,
         "detect",
         false,
         "detect",
         "the units found and the plate definition each was matched to",
         "Runs the plugin's hardware detection and prints its log, the units found (product\n"
         "type, serials, models, origin, size), the plate definition each was matched to and\n"
         "why, and why a unit got no plate device.\n",
         {
             {&kRecordTrace, "record the USB library's calls into a field trace"},
             {&kPlugin, "another ZORVAplugin.mdd"},
             {&kVerbose, "the whole log, every USB-library call included"},
         },
         18,
         "\nExit code 1 when the detection fails (the library's start-up timed out).\n",
         RunDetect,
         nullptr},
        {Command::SelfTest,
         "selftest",
         false,
         "selftest",
         "a commissioning self-test of every unit and plate, with a report",
         "Checks every unit and plate as a lab commissions them, on the hardware or the simulated\n"
         "bench: detection and identity (firmware, the plate definition matched and why), a blink\n"
         "of each plate, the unloaded reading before a zero, zero and noise at rest after it, a\n"
         "capture at each rate the units support (continuous sample numbers, the achieved rate\n"
         "against this computer's clock), software trigger and genlock, a known weight when asked,\n"
         "and a rescan. Each check shows its measurement, its limit and what to do when it fails.\n"
         "\n"
         "Leave every plate unloaded, with nothing touching it, until the self-test asks for a\n"
         "weight. It takes two to three minutes with every rate; --rates 1000 takes about twenty\n"
         "seconds. On the simulated bench it puts the weight on and sends the trigger pulse itself.\n",
         {
             {&kReport, "write DIR/report.md with the plots (PNG, with Python 3 and\n"
                        "matplotlib; ZORVA_PYTHON chooses the interpreter) and the data\n"
                        "behind them (CSV); the folder is made if needed"},
             {&kWeight, "after the zero, weigh a known mass on a plate (instance name or\n"
                        "position from 0): its Fz against m g; PLATE=KG@X,Y also checks its\n"
                        "centre of pressure (metres from the plate's centre, x across, y\n"
                        "along). Repeat for other plates"},
             {&kRates, "capture at these rates only, for example 1000,500 (default: every\n"
                       "rate the units support)"},
             {&kHardwareTrigger,
              "check the hardware trigger too: it waits for a pulse on the\n"
              "trigger input",
              true},
             {&kPlugin, "another ZORVAplugin.mdd"},
             {&kVerbose, "every log line as it comes, USB-library calls included"},
         },
         22,
         "\nExit code 0 when every check passed, 1 when any failed (or the plugin could not be\n"
         "loaded, or the report not written), 2 for a wrong command line. Examples:\n"
         "  zorva-devhost selftest --report commissioning\n"
         "  zorva-devhost selftest --rates 1000 --weight 0=20@0,0\n",
         RunSelfTest,
         nullptr},
        {Command::Live,
         "live",
         false,
         "live",
         "every plate live in a browser, for commissioning: forces, centre of\n"
         "pressure, the plugin's state and log, and a host's actions",
         "Runs the session as capture does (detection, arming, re-arming whenever the plugin\n"
         "asks) until it is stopped, and serves a page that shows every plate as it answers:\n"
         "Fz, Fx and Fy over the last ten seconds, the centre of pressure with its trail and the\n"
         "horizontal force over the plate's outline, each plate's definition, unit and state,\n"
         "the shared device's settings and state, and the plugin's log. The page does what a\n"
         "host offers: zero, blink, rescan, the rate, mode and threshold; on the simulated bench\n"
         "it also puts a weight on a plate and unplugs and plugs units. Open the address it\n"
         "prints; Ctrl-C or the page's Stop ends it.\n",
         {
             {&kPort, "the page's port (default 8317; 0: a free one, printed)"},
             {&kListen, "serve the page on this address of the computer too, for\n"
                        "example 0.0.0.0 (default 127.0.0.1: this computer only);\n"
                        "anyone who reaches it sees the plates"},
             {&kOpen, "start the system's browser on the page"},
             {&kMode, ModeHelp(), true},
             {&kRate, "acquisition rate, datasets per second (one the setting offers)"},
             {&kThreshold, "Fz threshold: samples at or below it read as zeros"},
             {&kPlugin, "another ZORVAplugin.mdd", true},
             {&kVerbose, "every log line on the console too, USB-library calls included"},
         },
         23,
         "\n"
         "Example: zorva-devhost live --rate 1000 --open\n"
         "\n"
         "Exit code 0 when stopped, 1 when the plugin could not be loaded or the port could not\n"
         "be opened.\n",
         RunLive,
         nullptr},
        {Command::Version,
         "--version",
         true,
         "--version",
         "this program's version, the plugin's, and the USB library\nthe program runs on",
         "Prints this program's version, the plugin's (read from its file, which is not loaded)\n"
         "and the USB library the program runs on.\n",
         {
             {&kPlugin, "another ZORVAplugin.mdd"},
         },
         18,
         "\nExit code 1 when the plugin states no version.\n",
         RunVersion,
         nullptr},
        {Command::Replay,
         "replay",
         false,
         "replay FILE",
         "a field trace replayed through the plugin: did it call and deliver\n"
         "as recorded?",
         "Runs the plugin on a field trace (--record-trace, or the recording USB library in\n"
         "front of a host's) instead of hardware: the simulated USB library answers every call\n"
         "as recorded. A trace made by this program is replayed as it was made: the same\n"
         "command, settings and actions, each at the point of the recording where the user\n"
         "acted. Prints what the command prints, then every difference between the plugin's\n"
         "calls now and the recorded ones (call number, recorded and now) and a verdict.\n",
         {
             {&kCsv, "every sample, as capture writes it"},
             {&kPlot, "Fz over time and the centre-of-pressure paths, as capture draws them"},
             {&kPlugin, "another ZORVAplugin.mdd (its USB library must be the simulated one)"},
             {&kVerbose, "every log line as it comes, USB-library calls included"},
         },
         18,
         "\nExit code 0 when the plugin's calls and data matched the recording, 1 when they did\n"
         "not or the file is refused.\n",
         RunReplay,
         nullptr,
         "FILE"},
        {Command::TraceInfo,
         "trace-info",
         false,
         "trace-info FILE",
         "what a field trace holds: units, duration, blocks, gaps, errors",
         "Reads a field trace and prints where it was made, the units it saw, its duration,\n"
         "the blocks with the gaps and repeats in each unit's sample counter, the USB\n"
         "library's errors, records the recorder dropped, the messages and its notes.\n",
         {},
         0,
         "\nExit code 1 when the file is not a trace this program can read (the reason is\n"
         "printed); a trace cut short is described up to its cut.\n",
         RunTraceInfo,
         nullptr,
         "FILE"},
    };
    return commands;
}

const CommandSpec* Find(Command command)
{
    for (const CommandSpec& spec : CommandTable()) {
        if (spec.command == command)
            return &spec;
    }
    return nullptr;
}

const OptionSpec* FindOption(const std::string& name)
{
    for (const OptionSpec* option : kOptions) {
        if (name == option->name)
            return option;
    }
    return nullptr;
}

const OptionRow* FindRow(const CommandSpec& spec, const std::string& name)
{
    for (const OptionRow& row : spec.options) {
        if (name == row.option->name)
            return &row;
    }
    return nullptr;
}

bool IsHelp(const std::string& option) { return option == "--help" || option == "-h"; }

/// The names to type, "a, b and c", for messages.
std::string CommandList()
{
    std::vector<std::string> names;
    for (const CommandSpec& spec : CommandTable()) {
        if (!spec.optionForm)
            names.push_back(spec.name);
    }
    names.push_back("help");
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i)
        list += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return list;
}

/// `text` with `indent` before every line but the first.
std::string IndentFollowing(const std::string& text, const std::string& indent)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\n')
            out += indent;
    }
    return out;
}

std::string Syntax(const OptionSpec& option)
{
    return std::string(option.name) + (option.kind == ValueKind::None ? "" : " " + std::string(option.value));
}

/// "usage: zorva-devhost ..." with its options, broken where the table says.
std::string UsageLine(const CommandSpec& spec)
{
    const std::string head = "usage: zorva-devhost ";
    std::string line = head + spec.usage;
    for (const OptionRow& row : spec.options) {
        const OptionSpec& option = *row.option;
        const std::string value =
            option.kind == ValueKind::None ? "" : " " + (option.usageValue ? option.usageValue() : option.value);
        line += (row.usageBreak ? "\n" + std::string(head.size(), ' ') : " ") + "[" + option.name + value + "]" +
                (option.repeats ? "..." : "");
    }
    return line + "\n";
}

/// The option lines of a help text, or of the README with `indent` "    ".
std::string OptionLines(const CommandSpec& spec, const std::string& indent, std::size_t column)
{
    std::string text;
    for (const OptionRow& row : spec.options) {
        const std::string first = indent + Pad(Syntax(*row.option), column - indent.size() - 1) + " ";
        text += first + IndentFollowing(row.help, std::string(column, ' ')) + "\n";
    }
    return text;
}

bool ApplyOption(const CommandSpec& spec, const std::vector<std::string>& arguments, std::size_t& i, Options& options,
                 std::string& error)
{
    std::string option = arguments[i];
    std::string value;
    bool inlineValue = false;
    const std::size_t equals = option.find('=');
    if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
        value = option.substr(equals + 1);
        option = option.substr(0, equals);
        inlineValue = true;
    }
    const OptionSpec* known = FindOption(option);
    if (!known && !IsHelp(option)) {
        error = option.empty() || option[0] != '-' ? "unexpected argument \"" + arguments[i] + "\""
                                                   : "unknown option " + option;
        return false;
    }
    if (IsHelp(option)) {
        options.help = true;
        return true;
    }
    if (!FindRow(spec, option)) {
        error = std::string("option ") + option + " is not used by " + spec.name;
        return false;
    }
    if (known->kind == ValueKind::None) {
        if (inlineValue) {
            error = option + " takes no value";
            return false;
        }
        return known->apply(std::string(), options, error);
    }
    if (!inlineValue) {
        if (i + 1 >= arguments.size()) {
            error = option + (known->kind == ValueKind::File ? " needs a file name" : " needs a value");
            return false;
        }
        value = arguments[++i];
    }
    if (known->kind == ValueKind::File && value.empty()) {
        error = option + " needs a file name";
        return false;
    }
    return known->apply(value, options, error);
}

/// `--version [--plugin PATH]`: no command, no option but its own.
ParseResult ParseOptionForm(const CommandSpec& spec, const std::vector<std::string>& arguments)
{
    ParseResult result;
    result.options.command = spec.command;
    result.options.version = spec.command == Command::Version;
    std::vector<std::string> rest;
    for (const std::string& argument : arguments) {
        if (argument != spec.name)
            rest.push_back(argument);
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::string name = rest[i].substr(0, rest[i].find('='));
        if (!FindRow(spec, name) && !IsHelp(name)) {
            std::string allowed;
            for (const OptionRow& row : spec.options)
                allowed += (allowed.empty() ? "" : ", ") + Syntax(*row.option);
            result.error =
                std::string(spec.name) + " takes no command and no option but " + allowed + ", not \"" + rest[i] + "\"";
            return result;
        }
        if (!ApplyOption(spec, rest, i, result.options, result.error))
            return result;
    }
    result.ok = true;
    return result;
}

} // namespace

std::vector<std::string> SessionArguments(const Options& options)
{
    std::vector<std::string> arguments = {CommandName(options.command)};
    if (options.command != Command::Capture)
        return arguments;
    arguments.insert(arguments.end(), {"--seconds", Short(options.seconds, 6)});
    if (options.mode)
        arguments.insert(arguments.end(), {"--mode", ZORVA::SyncModeWord(*options.mode)});
    if (!options.rate.empty())
        arguments.insert(arguments.end(), {"--rate", options.rate});
    if (options.thresholdSet)
        arguments.insert(arguments.end(), {"--threshold", Short(options.threshold, 6)});
    return arguments;
}

const char* CommandName(Command command)
{
    if (command == Command::Help)
        return "help";
    const CommandSpec* spec = Find(command);
    return spec ? spec->name : "capture";
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    for (const CommandSpec& spec : CommandTable()) {
        if (spec.optionForm && std::find(arguments.begin(), arguments.end(), spec.name) != arguments.end())
            return ParseOptionForm(spec, arguments);
    }
    ParseResult result;
    Options& options = result.options;
    std::size_t i = 0;
    const bool commandNamed = !arguments.empty() && !arguments[0].empty() && arguments[0][0] != '-';
    if (commandNamed) {
        bool found = arguments[0] == "help";
        if (found)
            options.command = Command::Help;
        for (const CommandSpec& spec : CommandTable()) {
            if (!spec.optionForm && arguments[0] == spec.name) {
                options.command = spec.command;
                found = true;
            }
        }
        if (!found) {
            result.error = "unknown command \"" + arguments[0] + "\"; the commands are " + CommandList();
            return result;
        }
        i = 1;
    }
    if (options.command == Command::Help) {
        // help [COMMAND]: the overview or that command's help.
        options.help = true;
        if (i < arguments.size()) {
            for (const CommandSpec& spec : CommandTable()) {
                if (!spec.optionForm && arguments[i] == spec.name)
                    options.command = spec.command;
            }
            if (options.command == Command::Help && arguments[i] != "help") {
                result.error = "help " + arguments[i] + ": no such command";
                return result;
            }
            ++i;
        }
        if (i < arguments.size()) {
            result.error = "help takes at most one command";
            return result;
        }
        result.ok = true;
        return result;
    }

    const CommandSpec& spec = *Find(options.command);
    for (; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (spec.operand && options.traceFile.empty() && !argument.empty() && argument[0] != '-') {
            options.traceFile = argument;
            continue;
        }
        if (!ApplyOption(spec, arguments, i, options, result.error))
            return result;
    }
    if (options.help) {
        // --help without a command: the overview of the commands.
        if (!commandNamed)
            options.command = Command::Help;
        result.ok = true;
        return result;
    }
    if (spec.operand && options.traceFile.empty()) {
        result.error = std::string(spec.name) + " needs a trace file: zorva-devhost " + spec.usage;
        return result;
    }
    if (spec.check && !spec.check(options, result.error))
        return result;
    result.ok = true;
    return result;
}

int RunCommand(const Options& options)
{
    if (options.help) {
        std::printf("%s", HelpText(options.command).c_str());
        return ExitSuccess;
    }
    const CommandSpec* spec = Find(options.command);
    if (!spec) {
        std::printf("%s", HelpText(Command::Help).c_str());
        return ExitSuccess;
    }
    return spec->run(options);
}

std::string HelpText(Command command)
{
    const CommandSpec* spec = Find(command);
    if (spec) {
        std::string text = UsageLine(*spec) + "\n" + spec->description;
        if (!spec->options.empty())
            text += "\n" + OptionLines(*spec, "  ", spec->helpColumn);
        return text + spec->epilogue;
    }
    std::string commands, options;
    for (const CommandSpec& each : CommandTable()) {
        if (each.optionForm) {
            std::string usage = each.name;
            for (const OptionRow& row : each.options)
                usage += " [" + Syntax(*row.option) + "]";
            options += "  " + Pad(usage, 25) + "  " + IndentFollowing(each.overview, std::string(29, ' ')) + "\n";
        } else {
            commands += "  " + Pad(each.name, 13) + "  " + IndentFollowing(each.overview, std::string(17, ' ')) + "\n";
        }
    }
    commands += "  " + Pad("help COMMAND", 13) + "  the options of a command (or: COMMAND --help)\n";
    return "usage: zorva-devhost [COMMAND] [OPTIONS]\n"
           "\n"
           "Tries ZORVA force plates without the motion-capture host: loads ZORVAplugin.mdd by file, as\n"
           "the host does, and drives it on the USB library beside it (the simulated bench, or the\n"
           "signal conditioners' own library on a lab computer).\n"
           "\n"
           "Commands:\n" +
           commands + "\n" + options +
           "\n"
           "Environment:\n"
           "  ZORVA_SIM_SCENARIO   the simulated bench (an INI file, simusb/README.md)\n"
           "  ZORVA_DRIVE_C        the folder that stands for drive C: (configuration files in\n"
           "                       ZORVA/CFG below it; not used on Windows)\n"
           "  ZORVA_PYTHON         the Python interpreter for --plot\n"
           "  ZORVA_TRACE_LIBRARY  --record-trace: the USB library to record, instead of the\n"
           "                       one the plugin would load\n"
           "\n"
           "Exit codes: 0 done, 1 the job failed, 2 wrong command line.\n";
}

std::string ReadmeOptionList(Command command)
{
    const CommandSpec* spec = Find(command);
    if (!spec || spec->options.empty())
        return std::string();
    // The README's column leaves room for the longest option with its value.
    return OptionLines(*spec, "    ", 4 + 20 + 2);
}

std::vector<Command> CommandsWithOptions()
{
    std::vector<Command> commands;
    for (const CommandSpec& spec : CommandTable()) {
        if (!spec.options.empty())
            commands.push_back(spec.command);
    }
    return commands;
}

} // namespace zorvahost
