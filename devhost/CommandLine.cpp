#include "devhost/CommandLine.h"

#include "devhost/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zorvahost {

namespace {

/// Longest capture: the host keeps every sample in memory until the end.
const double kMaxSeconds = 3600.0;

struct CommandInfo
{
    Command command;
    const char* name;
};

const CommandInfo kCommands[] = {
    {Command::Capture, "capture"},
    {Command::Definitions, "definitions"},
    {Command::CheckConfig, "check-config"},
    {Command::Detect, "detect"},
    {Command::Help, "help"},
};

/// Options by command: which commands take each one.
bool Accepts(Command command, const std::string& option)
{
    if (option == "--help" || option == "-h")
        return true;
    if (option == "--plugin" || option == "--verbose")
        return command != Command::CheckConfig;
    if (option == "--full")
        return command == Command::Definitions;
    return command == Command::Capture &&
           (option == "--seconds" || option == "--mode" || option == "--rate" || option == "--threshold" ||
            option == "--csv" || option == "--plot" || option == "--at");
}

bool TakesValue(const std::string& option)
{
    return option == "--plugin" || option == "--seconds" || option == "--mode" || option == "--rate" ||
           option == "--threshold" || option == "--csv" || option == "--plot" || option == "--at";
}

bool IsKnownOption(const std::string& option)
{
    return TakesValue(option) || option == "--help" || option == "-h" || option == "--verbose" || option == "--full";
}

/// A plain decimal number: digits with at most one point, nothing else.
bool ParseDecimal(const std::string& text, double& value)
{
    if (text.empty() || text.size() > 32)
        return false;
    bool digit = false, point = false;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    if (!digit)
        return false;
    // strtod reads the C locale's decimal point; the program never changes it.
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

bool ParseAction(const std::string& text, TimedAction& action, std::string& error)
{
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
    struct Kind
    {
        const char* name;
        ActionKind kind;
        bool needsTarget;
        const char* targetHelp;
    };
    static const Kind kinds[] = {
        {"rescan", ActionKind::Rescan, false, ""},
        {"zero", ActionKind::Zero, false, ""},
        {"blink", ActionKind::Blink, true, "blink=PLATE (a plate's instance name or its position, from 0)"},
        {"unplug", ActionKind::Unplug, true, "unplug=UNIT (a bench unit's name or its position, from 0)"},
        {"plug", ActionKind::Plug, true, "plug=UNIT (a bench unit's name or its position, from 0)"},
    };
    for (const Kind& kind : kinds) {
        if (name != kind.name)
            continue;
        action.kind = kind.kind;
        if (kind.needsTarget && action.target.empty()) {
            error = "--at " + text + ": write " + kind.targetHelp;
            return false;
        }
        if (!kind.needsTarget && equals != std::string::npos) {
            error = "--at " + text + ": " + kind.name + " takes no argument";
            return false;
        }
        return true;
    }
    error = "--at " + text + ": unknown action \"" + name +
            "\"; the actions are rescan, zero, blink=PLATE, "
            "unplug=UNIT and plug=UNIT";
    return false;
}

bool ApplyValue(const std::string& option, const std::string& value, Options& options, std::string& error)
{
    if (option == "--plugin") {
        options.plugin = value;
    } else if (option == "--seconds") {
        if (!ParseSeconds(value, options.seconds) || options.seconds <= 0.0 || options.seconds > kMaxSeconds) {
            error = "--seconds " + value + ": give the capture length in seconds, more than 0 and at most 3600";
            return false;
        }
    } else if (option == "--mode") {
        if (value == "software")
            options.mode = ZORVA::SyncMode::SoftwareTrigger;
        else if (value == "hardware")
            options.mode = ZORVA::SyncMode::HardwareTrigger;
        else if (value == "genlock")
            options.mode = ZORVA::SyncMode::Genlock;
        else {
            error = "--mode " + value + ": choose software, hardware or genlock";
            return false;
        }
    } else if (option == "--rate") {
        double rate = 0.0;
        if (!ParseDecimal(value, rate) || value.find('.') != std::string::npos || rate < 1.0 || rate > 100000.0) {
            error = "--rate " + value + ": give the acquisition rate in datasets per second, for example 1000";
            return false;
        }
        // As the setting holds it: a plain decimal text without leading zeros.
        options.rate = std::to_string(static_cast<long>(rate));
    } else if (option == "--threshold") {
        if (!ParseDecimal(value, options.threshold)) {
            error = "--threshold " + value + ": give the Fz threshold in newtons, for example 20";
            return false;
        }
        options.thresholdSet = true;
    } else if (option == "--csv") {
        options.csvPath = value;
    } else if (option == "--plot") {
        options.plotPath = value;
    } else if (option == "--at") {
        TimedAction action;
        if (!ParseAction(value, action, error))
            return false;
        options.actions.push_back(action);
    }
    if ((option == "--csv" || option == "--plot" || option == "--plugin") && value.empty()) {
        error = option + " needs a file name";
        return false;
    }
    return true;
}

/// `--version [--plugin PATH]`: no command and no other option.
ParseResult ParseVersion(const std::vector<std::string>& arguments)
{
    ParseResult result;
    result.options.version = true;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--version")
            continue;
        if (argument == "--plugin") {
            if (i + 1 < arguments.size() && arguments[i + 1] != "--version")
                result.options.plugin = arguments[++i];
        } else if (argument.compare(0, 9, "--plugin=") == 0) {
            result.options.plugin = argument.substr(9);
        } else {
            result.error = "--version takes no command and no option but --plugin PATH, not \"" + argument + "\"";
            return result;
        }
        if (result.options.plugin.empty()) {
            result.error = "--plugin needs a file name";
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace

bool ParseSeconds(const std::string& text, double& seconds) { return ParseDecimal(text, seconds); }

const char* CommandName(Command command)
{
    for (const CommandInfo& info : kCommands) {
        if (info.command == command)
            return info.name;
    }
    return "capture";
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    if (std::find(arguments.begin(), arguments.end(), "--version") != arguments.end())
        return ParseVersion(arguments);
    ParseResult result;
    Options& options = result.options;
    std::size_t i = 0;
    const bool commandNamed = !arguments.empty() && !arguments[0].empty() && arguments[0][0] != '-';
    if (commandNamed) {
        bool found = false;
        for (const CommandInfo& info : kCommands) {
            if (arguments[0] == info.name) {
                options.command = info.command;
                found = true;
            }
        }
        if (!found) {
            result.error = "unknown command \"" + arguments[0] +
                           "\"; the commands are capture, definitions, check-config, detect and help";
            return result;
        }
        i = 1;
    }
    if (options.command == Command::Help) {
        // help [COMMAND]: the overview or that command's help.
        options.help = true;
        if (i < arguments.size()) {
            for (const CommandInfo& info : kCommands) {
                if (arguments[i] == info.name)
                    options.command = info.command;
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

    for (; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool inlineValue = false;
        const std::size_t equals = option.find('=');
        if (option.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option = option.substr(0, equals);
            inlineValue = true;
        }
        if (!IsKnownOption(option)) {
            result.error = option.empty() || option[0] != '-' ? "unexpected argument \"" + arguments[i] + "\""
                                                              : "unknown option " + option;
            return result;
        }
        if (!Accepts(options.command, option)) {
            result.error = std::string("option ") + option + " is not used by " + CommandName(options.command);
            return result;
        }
        if (option == "--help" || option == "-h") {
            options.help = true;
            continue;
        }
        if (option == "--verbose" || option == "--full") {
            if (inlineValue) {
                result.error = option + " takes no value";
                return result;
            }
            (option == "--verbose" ? options.verbose : options.full) = true;
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= arguments.size()) {
                result.error = option + " needs a value";
                return result;
            }
            value = arguments[++i];
        }
        if (!ApplyValue(option, value, options, result.error))
            return result;
    }
    if (options.help) {
        // --help without a command: the overview of the commands.
        if (!commandNamed)
            options.command = Command::Help;
        result.ok = true;
        return result;
    }

    std::stable_sort(options.actions.begin(), options.actions.end(),
                     [](const TimedAction& a, const TimedAction& b) { return a.seconds < b.seconds; });
    for (const TimedAction& action : options.actions) {
        if (action.seconds >= options.seconds) {
            result.error = "--at " + action.text + ": the capture ends at " + Short(options.seconds) +
                           " s; give a longer --seconds or an earlier time";
            return result;
        }
    }
    result.ok = true;
    return result;
}

std::string HelpText(Command command)
{
    switch (command) {
    case Command::Definitions:
        return "usage: zorva-devhost definitions [--full] [--plugin PATH] [--verbose]\n"
               "\n"
               "Loads the plugin, lets it register its device definitions and prints them as a table:\n"
               "manufacturer / name, device type, size (X x Y, metres) and outputs. Custom plates from\n"
               "the configuration files are marked with the file they came from.\n"
               "\n"
               "  --full          every parameter with its id, group and value, the outputs' channels\n"
               "                  and the sync ports\n"
               "  --plugin PATH   another ZORVAplugin.mdd (default: the one beside this program)\n"
               "  --verbose       the plugin's log lines too\n";
    case Command::CheckConfig:
        return "usage: zorva-devhost check-config\n"
               "\n"
               "Reads the three configuration files exactly as the plugin reads them and prints, per\n"
               "file, its path, the read result, every error line and the custom plates it gives\n"
               "(name, size, and where in the file it comes from). The plugin itself shows none of\n"
               "this: a file with any error simply gives no custom plate.\n"
               "\n"
               "Files: C:\\ZORVA\\CFG\\TreadmillSupport.cfg, CombinationPlatform.cfg and Strivo.cfg\n"
               "(off Windows, drive C is the folder $ZORVA_DRIVE_C, default ~/.zorva/drive_c).\n"
               "\n"
               "Exit code 1 when a file that exists has errors (or cannot be read), else 0.\n";
    case Command::Detect:
        return "usage: zorva-devhost detect [--plugin PATH] [--verbose]\n"
               "\n"
               "Runs the plugin's hardware detection and prints its log, the units found (product\n"
               "type, serials, models, origin, size), the plate definition each was matched to and\n"
               "why, and why a unit got no plate device.\n"
               "\n"
               "  --plugin PATH   another ZORVAplugin.mdd\n"
               "  --verbose       the whole log, every USB-library call included\n"
               "\n"
               "Exit code 1 when the detection fails (the library's start-up timed out).\n";
    case Command::Capture:
        return "usage: zorva-devhost [capture] [--seconds S] [--mode software|hardware|genlock] [--rate N]\n"
               "                     [--threshold NEWTONS] [--csv FILE] [--plot FILE.png]\n"
               "                     [--at SECONDS:ACTION]... [--plugin PATH] [--verbose]\n"
               "\n"
               "Loads the plugin like a motion-capture host, detects the plates, arms every device,\n"
               "records for S seconds and prints a summary per plate. On a terminal a progress line\n"
               "shows the elapsed time, the blocks received and the current Fz of each plate.\n"
               "\n"
               "  --seconds S          capture length (default 3)\n"
               "  --mode MODE          synchronisation: software (trigger at the capture start),\n"
               "                       hardware (the trigger input) or genlock\n"
               "  --rate N             acquisition rate, datasets per second (one the setting offers;\n"
               "                       the plugin adjusts it to what every unit supports)\n"
               "  --threshold NEWTONS  Fz threshold: samples at or below it read as zeros\n"
               "  --csv FILE           every sample: plate, sample, time_s, Fx_N Fy_N Fz_N,\n"
               "                       Mx_Nm My_Nm Mz_Nm, CoPx_m CoPy_m (comma-separated, one header line)\n"
               "  --plot FILE.png      Fz of every plate over time and each plate's centre-of-pressure\n"
               "                       path over its outline (needs Python 3 with matplotlib; set\n"
               "                       ZORVA_PYTHON to choose the interpreter)\n"
               "  --at SECONDS:ACTION  what a user does in a host, at that time into the capture:\n"
               "                         rescan        detect the hardware again\n"
               "                         zero          zero all plates\n"
               "                         blink=PLATE   blink a plate's amplifier (instance name or\n"
               "                                       position from 0)\n"
               "                       on the simulated bench also:\n"
               "                         unplug=UNIT   pull a unit's cable (name or position from 0),\n"
               "                                       then rescan, as the library sees it only then\n"
               "                         plug=UNIT     plug it back in, then rescan\n"
               "                       Repeat --at for several actions. The host re-arms whenever the\n"
               "                       plugin asks for it.\n"
               "  --plugin PATH        another ZORVAplugin.mdd\n"
               "  --verbose            every log line as it comes, USB-library calls included\n"
               "\n"
               "Example: zorva-devhost capture --seconds 8 --at 2:zero --at 3:unplug=1 --at 5.5:plug=1\n"
               "         --csv plates.csv --plot plates.png\n"
               "\n"
               "Exit code 1 when no plate could be armed, or the CSV or the plot could not be written.\n";
    case Command::Help: break;
    }
    return "usage: zorva-devhost [COMMAND] [OPTIONS]\n"
           "\n"
           "Tries ZORVA force plates without the motion-capture host: loads ZORVAplugin.mdd by file, as\n"
           "the host does, and drives it on the USB library beside it (the simulated bench, or the\n"
           "signal conditioners' own library on a lab computer).\n"
           "\n"
           "Commands:\n"
           "  capture        (the default) detect, arm, record and summarise; --csv and --plot save\n"
           "                 the data; --at triggers rescans, zeroing, blinking, unplugging\n"
           "  definitions    the device definitions the plugin registers\n"
           "  check-config   the configuration files as the plugin reads them, with every error\n"
           "  detect         the units found and the plate definition each was matched to\n"
           "  help COMMAND   the options of a command (or: COMMAND --help)\n"
           "\n"
           "  --version [--plugin PATH]  this program's version, the plugin's, and the USB library\n"
           "                             the program runs on\n"
           "\n"
           "Environment:\n"
           "  ZORVA_SIM_SCENARIO   the simulated bench (an INI file, simusb/README.md)\n"
           "  ZORVA_DRIVE_C        the folder that stands for drive C: (configuration files in\n"
           "                       ZORVA/CFG below it; not used on Windows)\n"
           "  ZORVA_PYTHON         the Python interpreter for --plot\n"
           "\n"
           "Exit codes: 0 done, 1 the job failed, 2 wrong command line.\n";
}

} // namespace zorvahost
