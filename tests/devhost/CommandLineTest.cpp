// The development host's command line: commands, options, --at actions, and
// the messages of wrong command lines.
#include "devhost/program/CommandLine.h"

#include "devhost/engine/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace zorvahost;

namespace {

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

ParseResult Parse(const std::string& line) { return ParseCommandLine(Split(line)); }

} // namespace

TEST(CommandLine, Parse_NoArguments_CaptureWithDefaults)
{
    const ParseResult result = Parse("");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.command, Command::Capture);
    EXPECT_EQ(result.options.seconds, 3.0);
    EXPECT_FALSE(result.options.mode.has_value());
    EXPECT_TRUE(result.options.rate.empty());
    EXPECT_FALSE(result.options.thresholdSet);
    EXPECT_TRUE(result.options.actions.empty());
}

TEST(CommandLine, Parse_OptionsWithoutCommand_Capture)
{
    const ParseResult result = Parse("--seconds 1.5 --mode genlock --rate 500 --threshold 12.5 --csv a.csv");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.command, Command::Capture);
    EXPECT_EQ(result.options.seconds, 1.5);
    EXPECT_EQ(result.options.mode, ZORVA::SyncMode::Genlock);
    EXPECT_EQ(result.options.rate, "500");
    EXPECT_TRUE(result.options.thresholdSet);
    EXPECT_EQ(result.options.threshold, 12.5);
    EXPECT_EQ(result.options.csvPath, "a.csv");
}

TEST(CommandLine, Parse_ValueAfterEquals_SameAsSeparate)
{
    const ParseResult result = Parse("capture --seconds=2 --plot=out.png --at=1:blink=ZA1P7");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.seconds, 2.0);
    EXPECT_EQ(result.options.plotPath, "out.png");
    ASSERT_EQ(result.options.actions.size(), 1u);
    EXPECT_EQ(result.options.actions[0].kind, ActionKind::Blink);
    EXPECT_EQ(result.options.actions[0].target, "ZA1P7");
}

TEST(CommandLine, Parse_Actions_SortedByTimeKeepingOrderOfEqualTimes)
{
    const ParseResult result =
        Parse("--seconds 9 --at 6:plug=Left --at 2.0:rescan --at 4:unplug=0 --at 2:zero --at 0:blink=1");
    ASSERT_TRUE(result.ok) << result.error;
    const std::vector<TimedAction>& actions = result.options.actions;
    ASSERT_EQ(actions.size(), 5u);
    EXPECT_EQ(actions[0].kind, ActionKind::Blink);
    EXPECT_EQ(actions[0].target, "1");
    EXPECT_EQ(actions[1].kind, ActionKind::Rescan);
    EXPECT_EQ(actions[2].kind, ActionKind::Zero);
    EXPECT_EQ(actions[3].kind, ActionKind::Unplug);
    EXPECT_EQ(actions[3].seconds, 4.0);
    EXPECT_EQ(actions[4].kind, ActionKind::Plug);
    EXPECT_EQ(actions[4].target, "Left");
}

TEST(CommandLine, Parse_SelfTest_RatesWeightsAndTrigger)
{
    const ParseResult result = Parse("selftest --report out --rates 1000,100,1000 --weight 0=20 "
                                     "--weight ZA1P7=2.5@-0.1,0.05 --hardware-trigger");
    ASSERT_TRUE(result.ok) << result.error;
    const Options& o = result.options;
    EXPECT_EQ(o.command, Command::SelfTest);
    EXPECT_EQ(o.reportDir, "out");
    EXPECT_EQ(o.rates, (std::vector<unsigned int>{1000, 100}));
    EXPECT_TRUE(o.hardwareTrigger);
    ASSERT_EQ(o.weights.size(), 2u);
    EXPECT_EQ(o.weights[0].plate, "0");
    EXPECT_EQ(o.weights[0].kg, 20.0);
    EXPECT_FALSE(o.weights[0].atGiven);
    EXPECT_EQ(o.weights[1].plate, "ZA1P7");
    EXPECT_EQ(o.weights[1].kg, 2.5);
    EXPECT_TRUE(o.weights[1].atGiven);
    EXPECT_EQ(o.weights[1].x, -0.1);
    EXPECT_EQ(o.weights[1].y, 0.05);
    EXPECT_EQ(o.weights[1].text, "ZA1P7=2.5@-0.1,0.05");

    const ParseResult plain = Parse("selftest");
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_TRUE(plain.options.rates.empty() && plain.options.weights.empty() && plain.options.reportDir.empty());
    EXPECT_FALSE(plain.options.hardwareTrigger);
}

TEST(CommandLine, Parse_Help_OverviewOrTheCommandsOwn)
{
    struct Case
    {
        const char* line;
        Command command;
    };
    const Case cases[] = {
        {"--help", Command::Help},
        {"-h", Command::Help},
        {"help", Command::Help},
        {"help detect", Command::Detect},
        {"check-config --help", Command::CheckConfig},
        {"capture -h", Command::Capture},
        {"definitions --full --help", Command::Definitions},
        {"selftest --help", Command::SelfTest},
    };
    for (const Case& c : cases) {
        const ParseResult result = Parse(c.line);
        ASSERT_TRUE(result.ok) << c.line << ": " << result.error;
        EXPECT_TRUE(result.options.help) << c.line;
        EXPECT_EQ(result.options.command, c.command) << c.line;
    }
    // Each help names its command's options.
    EXPECT_NE(HelpText(Command::Definitions).find("--full"), std::string::npos);
    EXPECT_NE(HelpText(Command::Capture).find("unplug=UNIT"), std::string::npos);
    EXPECT_NE(HelpText(Command::Help).find("check-config"), std::string::npos);
}

TEST(CommandLine, Parse_Version_AloneOrWithAnotherPlugin)
{
    const ParseResult alone = Parse("--version");
    ASSERT_TRUE(alone.ok) << alone.error;
    EXPECT_TRUE(alone.options.version);
    EXPECT_TRUE(alone.options.plugin.empty());
    for (const char* line :
         {"--version --plugin other.mdd", "--plugin other.mdd --version", "--plugin=other.mdd --version"}) {
        const ParseResult result = Parse(line);
        ASSERT_TRUE(result.ok) << line << ": " << result.error;
        EXPECT_TRUE(result.options.version) << line;
        EXPECT_EQ(result.options.plugin, "other.mdd") << line;
    }
    EXPECT_FALSE(Parse("capture").options.version);
}

TEST(CommandLine, Parse_WrongCommandLines_SayWhatIsWrong)
{
    struct Case
    {
        const char* line;
        const char* message; ///< part of the error text
    };
    const Case cases[] = {
        {"calibrate", "unknown command \"calibrate\""},
        {"help calibrate", "no such command"},
        {"--colour", "unknown option --colour"},
        {"capture stray", "unexpected argument \"stray\""},
        {"detect --csv x.csv", "--csv is not used by detect"},
        {"check-config --plugin p.mdd", "--plugin is not used by check-config"},
        {"capture --full", "--full is not used by capture"},
        {"--seconds", "--seconds needs a value"},
        {"--seconds 0", "more than 0"},
        {"--seconds -1", "--seconds -1"},
        {"--seconds 2s", "--seconds 2s"},
        {"--seconds 1e3", "--seconds 1e3"},
        {"--mode fast", "choose software, hardware or genlock"},
        {"--rate 12.5", "acquisition rate in datasets per second"},
        {"--rate 0", "acquisition rate"},
        {"--threshold -3", "Fz threshold in newtons"},
        {"--csv=", "--csv needs a file name"},
        {"--verbose=1", "--verbose takes no value"},
        {"--at 2", "write SECONDS:ACTION"},
        {"--at x:rescan", "\"x\" is not a time"},
        {"--at 1:jump", "unknown action \"jump\""},
        {"--at 1:blink", "blink=PLATE"},
        {"--at 1:unplug=", "unplug=UNIT"},
        {"--at 1:rescan=all", "rescan takes no argument"},
        {"--seconds 2 --at 2:zero", "the capture ends at 2 s"},
        {"--at 3.5:zero", "the capture ends at 3 s"},
        {"capture --version", "--version takes no command and no option but --plugin PATH, not \"capture\""},
        {"--version --seconds 2", "not \"--seconds\""},
        {"--version --plugin", "--plugin needs a file name"},
        {"--plugin --version", "--plugin needs a file name"},
        {"--version=1", "unknown option --version"},
        {"--at 1:lose=0", "lose=BLOCKS"},
        {"--at 1:repeat=many", "repeat=TIMES"},
        {"--at 1:fail=1001", "fail=CALLS"},
        {"replay", "replay needs a trace file: zorva-devhost replay FILE"},
        {"trace-info --verbose", "--verbose is not used by trace-info"},
        {"replay a.trace b.trace", "unexpected argument \"b.trace\""},
        {"replay a.trace --seconds 2", "--seconds is not used by replay"},
        {"definitions --record-trace t.trace", "--record-trace is not used by definitions"},
        {"capture --weight 0=20", "--weight is not used by capture"},
        {"selftest --seconds 3", "--seconds is not used by selftest"},
        {"selftest --rates", "--rates needs a value"},
        {"selftest --rates 1000,", "--rates 1000,: give acquisition rates"},
        {"selftest --rates 1000;500", "separated by commas"},
        {"selftest --rates 0", "--rates 0"},
        {"selftest --report=", "--report needs a file name"},
        {"selftest --weight 20", "write PLATE=KG or PLATE=KG@X,Y"},
        {"selftest --weight =20", "write PLATE=KG"},
        {"selftest --weight 0=0", "write PLATE=KG"},
        {"selftest --weight 0=-5", "write PLATE=KG"},
        {"selftest --weight 0=20@0.1", "@X,Y in metres"},
        {"selftest --weight 0=20@x,0", "@X,Y in metres"},
        {"selftest --weight 0=20 --weight 0=5", "one weight a plate (0=20 already)"},
        {"selftest --hardware-trigger=yes", "--hardware-trigger takes no value"},
    };
    for (const Case& c : cases) {
        const ParseResult result = Parse(c.line);
        EXPECT_FALSE(result.ok) << c.line;
        EXPECT_NE(result.error.find(c.message), std::string::npos)
            << c.line << ": \"" << result.error << "\" lacks \"" << c.message << "\"";
    }
}

TEST(CommandLine, Parse_TraceCommands_FileAndOptionsInAnyOrder)
{
    const ParseResult replay = Parse("replay --csv out.csv lab.trace --verbose");
    ASSERT_TRUE(replay.ok) << replay.error;
    EXPECT_EQ(replay.options.command, Command::Replay);
    EXPECT_EQ(replay.options.traceFile, "lab.trace");
    EXPECT_EQ(replay.options.csvPath, "out.csv");
    EXPECT_TRUE(replay.options.verbose);
    const ParseResult info = Parse("trace-info lab.trace");
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.options.command, Command::TraceInfo);
    EXPECT_EQ(info.options.traceFile, "lab.trace");
    const ParseResult record = Parse("detect --record-trace lab.trace");
    ASSERT_TRUE(record.ok) << record.error;
    EXPECT_EQ(record.options.recordTrace, "lab.trace");
    EXPECT_TRUE(record.options.traceFile.empty());
    const ParseResult faults = Parse("--at 1:lose=2 --at 1:repeat=1 --at 1:fail=1000");
    ASSERT_TRUE(faults.ok) << faults.error;
    ASSERT_EQ(faults.options.actions.size(), 3u);
    EXPECT_EQ(faults.options.actions[0].kind, ActionKind::Lose);
    EXPECT_EQ(faults.options.actions[0].target, "2");
    EXPECT_EQ(faults.options.actions[1].kind, ActionKind::Repeat);
    EXPECT_EQ(faults.options.actions[2].kind, ActionKind::Fail);
}

/// A replay parses the recorded session back from SessionArguments: every
/// setting that shapes the session comes back as it was.
TEST(CommandLine, SessionArguments_ParsedBack_SameSettings)
{
    const char* lines[] = {
        "capture",
        "capture --seconds 12.25 --mode hardware --rate 500 --threshold 7.5 --at 1:zero --csv x.csv",
        "--mode genlock --record-trace t.trace",
        "detect --verbose",
    };
    for (const char* line : lines) {
        const ParseResult original = Parse(line);
        ASSERT_TRUE(original.ok) << line << ": " << original.error;
        const ParseResult back = ParseCommandLine(SessionArguments(original.options));
        ASSERT_TRUE(back.ok) << line << ": " << back.error;
        EXPECT_EQ(back.options.command, original.options.command) << line;
        EXPECT_EQ(back.options.seconds, original.options.seconds) << line;
        EXPECT_EQ(back.options.mode, original.options.mode) << line;
        EXPECT_EQ(back.options.rate, original.options.rate) << line;
        EXPECT_EQ(back.options.thresholdSet, original.options.thresholdSet) << line;
        EXPECT_EQ(back.options.threshold, original.options.threshold) << line;
        EXPECT_TRUE(back.options.actions.empty()) << line << ": actions are noted where they happen";
        EXPECT_TRUE(back.options.recordTrace.empty()) << line;
    }
}

TEST(CommandLine, Parse_LongCaptures_NoUpperLimit)
{
    // A capture streams its samples to the file: any length fits in memory.
    for (const char* line : {"--seconds 4000", "--seconds 86400", "--seconds 360000.5"}) {
        const ParseResult result = Parse(line);
        ASSERT_TRUE(result.ok) << line << ": " << result.error;
        EXPECT_EQ(result.options.seconds, std::stod(Split(line)[1])) << line;
    }
}

TEST(CommandLine, ParseSeconds_PlainDecimalsOnly)
{
    double seconds = -1.0;
    EXPECT_TRUE(ParseSeconds("2", seconds));
    EXPECT_EQ(seconds, 2.0);
    EXPECT_TRUE(ParseSeconds("0.25", seconds));
    EXPECT_EQ(seconds, 0.25);
    EXPECT_TRUE(ParseSeconds(".5", seconds));
    EXPECT_EQ(seconds, 0.5);
    for (const char* bad : {"", ".", "1.2.3", "+1", "-1", "inf", "nan", "0x10", "1e2", " 1", "1 "})
        EXPECT_FALSE(ParseSeconds(bad, seconds)) << "\"" << bad << "\"";
}

/// The README's option lists are the tables' own: each "Options of `NAME`:"
/// block holds exactly what ReadmeOptionList gives (paste it from the failure).
TEST(CommandLine, ReadmeOptionList_EveryCommandWithOptions_InTheReadme)
{
    std::ifstream file(std::string(ZORVA_SOURCE_DIR) + "/README.md", std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::string readme = text.str();
    readme.erase(std::remove(readme.begin(), readme.end(), '\r'), readme.end());
    for (Command command : CommandsWithOptions()) {
        const std::string heading = std::string("Options of `") + CommandName(command) + "`:\n\n";
        const std::size_t at = readme.find(heading);
        ASSERT_NE(at, std::string::npos) << "README.md lacks \"" << heading << "\"";
        const std::size_t begin = at + heading.size();
        const std::size_t end = readme.find("\n\n", begin);
        const std::string block = readme.substr(begin, end == std::string::npos ? std::string::npos : end + 1 - begin);
        EXPECT_EQ(block, ReadmeOptionList(command))
            << "README.md, options of " << CommandName(command) << "; the table gives:\n"
            << ReadmeOptionList(command);
    }
}
