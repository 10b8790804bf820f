// The built-in scenario and the reader of scenario texts (INI, README.md).
#include "simusb/Scenario.h"

#include "simusb/Loads.h"

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <locale>
#include <map>
#include <sstream>
#include <vector>

namespace zorvasim {

Scenario DefaultScenario()
{
    Scenario s;
    s.name = "built-in two plates";
    s.initPolls = 3;
    s.setupCode = 1;
    s.rate = 1000;
    s.counterStart = 0;
    s.backlogBlocks = 64;

    UnitSpec left;
    left.name = "Left";
    left.productType = 100;
    left.amplifierModel = "ZDA-100";
    left.amplifierSerial = "ZA100-4471";
    left.firmwareVersion = "3.2.7";
    left.platformModel = "Pendra-600";
    left.platformSerial = "PEN600-10482";
    left.originOffsets = {0.12f, -0.08f, -1.61f};
    left.platformLength = "23.622";
    left.platformWidth = "15.748";
    // Someone standing still, slightly off centre.
    left.load.kind = LoadKind::Static;
    left.load.load = {2.5f, -4.0f, -700.0f, 14.0f, 35.0f, 0.8f};
    left.load.offset = {0.4f, -0.3f, 3.5f, 0.02f, -0.01f, 0.0f};
    left.trigger = {0.0f, 1.0f, 1000, 100};
    s.units.push_back(left);

    UnitSpec right;
    right.name = "Right";
    right.productType = 300;
    right.amplifierModel = "ZDA-300";
    right.amplifierSerial = "ZA300-5208";
    right.firmwareVersion = "3.2.7";
    right.platformModel = "Gorvin-900";
    right.platformSerial = "GOR900-20931";
    right.originOffsets = {-0.05f, 0.03f, -1.85f};
    right.platformLength = "35.433";
    right.platformWidth = "35.433";
    // Someone stepping on and off: 600 samples on, 400 off.
    right.load.kind = LoadKind::Steps;
    right.load.load = {-12.0f, 25.0f, -750.0f, -30.0f, 45.0f, 1.5f};
    right.load.offset = {-0.2f, 0.5f, -2.1f, 0.01f, 0.03f, -0.01f};
    right.load.stepOn = 600;
    right.load.stepOff = 400;
    right.trigger = {0.0f, 1.0f, 1000, 100};
    s.units.push_back(right);
    return s;
}

bool ValidateScenario(const Scenario& s, std::string& error)
{
    std::ostringstream why;
    if (s.initPolls < 0)
        why << "init_polls must be 1 or more, or never";
    else if (s.rate < kMinRate || s.rate > kMaxRate)
        why << "rate must be " << kMinRate << " to " << kMaxRate;
    else if (s.backlogBlocks < kMinBacklog || s.backlogBlocks > kMaxBacklog)
        why << "backlog must be " << kMinBacklog << " to " << kMaxBacklog;
    else if (s.counterStart >= kCounterModulus)
        why << "counter_start must be below " << kCounterModulus;
    else if (!(std::fabs(s.clockPpm) <= kMaxClockPpm))
        why << "clock_ppm must be -" << kMaxClockPpm << " to " << kMaxClockPpm;
    else if (s.lostBlockEvery < 0 || s.lostBlockEvery == 1)
        why << "lost_block_every must be 0 (none) or 2 or more";
    else if (s.units.size() > kMaxUnits)
        why << "at most " << kMaxUnits << " units";
    else {
        for (const UnitSpec& u : s.units) {
            std::string loadError;
            if (!ValidateLoad(u, loadError))
                why << loadError;
            else if (u.calCompleteResults.empty())
                why << "[unit " << u.name << "] cal_complete_results needs at least one value";
            else if (u.unplugAtInit < 0 || u.unplugAtInit == 1)
                why << "[unit " << u.name << "] unplug_at_init must be 0 (never) or 2 or more (plugged = false "
                    << "keeps a unit off the bus from the first)";
            if (!why.str().empty())
                break;
        }
    }
    error = why.str();
    return error.empty();
}

namespace {

using Setter = std::function<bool(const std::string& value, std::string& why)>;

// Numbers are read in the classic locale whatever the host process set.
template <typename T>
bool ReadList(const std::string& text, std::vector<T>& out)
{
    std::string spaced = text;
    for (char& c : spaced)
        if (c == ',')
            c = ' ';
    std::istringstream in(spaced);
    in.imbue(std::locale::classic());
    out.clear();
    T v{};
    while (in >> v)
        out.push_back(v);
    return in.eof(); // stopped at the end, not at something unreadable
}

bool ReadInt(const std::string& text, long long lo, long long hi, long long& out, std::string& why)
{
    std::vector<long long> v;
    if (!ReadList(text, v) || v.size() != 1 || text.find(',') != std::string::npos) {
        why = "expected a whole number";
        return false;
    }
    if (v[0] < lo || v[0] > hi) {
        std::ostringstream s;
        s << "expected " << lo << " to " << hi;
        why = s.str();
        return false;
    }
    out = v[0];
    return true;
}

template <std::size_t N>
bool ReadFloats(const std::string& text, std::array<float, N>& out, std::string& why)
{
    std::vector<float> v;
    bool ok = ReadList(text, v) && v.size() == N;
    for (float f : v)
        ok = ok && std::isfinite(f);
    if (!ok) {
        why = N == 1 ? "expected a number" : "expected " + std::to_string(N) + " numbers";
        return false;
    }
    for (std::size_t i = 0; i < N; ++i)
        out[i] = v[i];
    return true;
}

Setter FloatField(float& field)
{
    return [&field](const std::string& v, std::string& why) {
        std::array<float, 1> f{};
        if (!ReadFloats(v, f, why))
            return false;
        field = f[0];
        return true;
    };
}

// A word of a short list: `names` and `values` side by side.
template <typename T, std::size_t N>
Setter ChoiceField(T& field, const std::array<const char*, N>& names, const std::array<T, N>& values,
                   const char* expected)
{
    return [&field, names, values, expected](const std::string& v, std::string& why) {
        for (std::size_t i = 0; i < N; ++i) {
            if (v == names[i]) {
                field = values[i];
                return true;
            }
        }
        why = std::string("expected ") + expected;
        return false;
    };
}

// The load keys and the loads that take them; the others take every load.
const std::map<std::string, std::vector<LoadKind>>& LoadKeyUsers()
{
    using K = LoadKind;
    static const std::map<std::string, std::vector<LoadKind>> users{
        {"force", {K::Static, K::Steps}},
        {"moment", {K::Static, K::Steps}},
        {"step_on", {K::Steps}},
        {"step_off", {K::Steps}},
        {"mass", {K::Weight, K::Walk, K::Treadmill, K::Stand}},
        {"at", {K::Weight, K::Walk, K::Treadmill, K::Stand}},
        {"direction", {K::Walk, K::Treadmill}},
        {"step_time", {K::Walk, K::Treadmill}},
        {"stance", {K::Walk, K::Treadmill}},
        {"step_length", {K::Walk, K::Treadmill}},
        {"step_width", {K::Walk, K::Treadmill}},
        {"foot_length", {K::Walk, K::Treadmill}},
        {"foot", {K::Walk, K::Treadmill}},
        {"step_count", {K::Walk}},
        {"away", {K::Walk}},
        {"start", {K::Walk}},
        {"share", {K::Stand}},
        {"sway", {K::Stand}},
    };
    return users;
}

// A key the unit's load does not take is a mistake (a typo in `load`, or a
// key left from another load), not something to ignore.
bool CheckLoadKeys(const std::string& section, const boost::property_tree::ptree& keys, LoadKind kind,
                   std::string& error)
{
    for (const auto& kv : keys) {
        const auto it = LoadKeyUsers().find(kv.first);
        if (it == LoadKeyUsers().end() || std::find(it->second.begin(), it->second.end(), kind) != it->second.end())
            continue;
        const std::vector<LoadKind>& takers = it->second;
        std::string names;
        for (std::size_t i = 0; i < takers.size(); ++i) {
            if (i > 0)
                names += i + 1 == takers.size() ? " and " : ", ";
            names += LoadKindName(takers[i]);
        }
        error = "[" + section + "] " + kv.first + ": load " + LoadKindName(kind) + " does not take it (" + names +
                (takers.size() == 1 ? " does)" : " do)");
        return false;
    }
    return true;
}

bool ReadBool(const std::string& text, bool& out, std::string& why)
{
    if (text == "true" || text == "yes" || text == "1")
        out = true;
    else if (text == "false" || text == "no" || text == "0")
        out = false;
    else {
        why = "expected true or false";
        return false;
    }
    return true;
}

template <typename T>
Setter IntField(T& field, long long lo, long long hi)
{
    return [&field, lo, hi](const std::string& v, std::string& why) {
        long long n = 0;
        if (!ReadInt(v, lo, hi, n, why))
            return false;
        field = static_cast<T>(n);
        return true;
    };
}

Setter TextField(std::string& field)
{
    return [&field](const std::string& v, std::string&) {
        field = v;
        return true;
    };
}

constexpr long long kIntMin = std::numeric_limits<int>::min();
constexpr long long kIntMax = std::numeric_limits<int>::max();

// Applies one section's keys through its table of setters.
bool ApplySection(const std::string& section, const boost::property_tree::ptree& keys,
                  const std::map<std::string, Setter>& setters, std::string& error)
{
    for (const auto& kv : keys) {
        if (!kv.second.empty()) {
            error = "[" + section + "] " + kv.first + ": unexpected nesting";
            return false;
        }
        auto it = setters.find(kv.first);
        if (it == setters.end()) {
            error = "[" + section + "] unknown key \"" + kv.first + "\"";
            return false;
        }
        const std::string value = kv.second.data();
        std::string why;
        if (!it->second(value, why)) {
            error = "[" + section + "] " + kv.first + ": " + why + ", got \"" + value + "\"";
            return false;
        }
    }
    return true;
}

bool ReadScenarioSection(const boost::property_tree::ptree& keys, Scenario& s, std::string& error)
{
    std::map<std::string, Setter> setters{
        {"name", TextField(s.name)},
        {"init_polls",
         [&s](const std::string& v, std::string& why) {
             if (v == "never") {
                 s.initPolls = 0;
                 return true;
             }
             long long n = 0;
             if (!ReadInt(v, 1, kIntMax, n, why)) {
                 why = "expected a poll number from 1, or never";
                 return false;
             }
             s.initPolls = static_cast<int>(n);
             return true;
         }},
        {"setup_code", IntField(s.setupCode, kIntMin, kIntMax)},
        {"rate", IntField(s.rate, kMinRate, kMaxRate)},
        {"counter_start", IntField(s.counterStart, 0, kCounterModulus - 1)},
        {"backlog", IntField(s.backlogBlocks, kMinBacklog, kMaxBacklog)},
        {"clock_ppm",
         [&s](const std::string& v, std::string& why) {
             std::array<float, 1> f{};
             if (!ReadFloats(v, f, why))
                 return false;
             s.clockPpm = f[0];
             return true;
         }},
        {"lost_block_every", IntField(s.lostBlockEvery, 0, kIntMax)},
    };
    return ApplySection("scenario", keys, setters, error);
}

bool ReadUnitSection(const std::string& section, const boost::property_tree::ptree& keys, UnitSpec& u,
                     std::string& error)
{
    bool loadGiven = false;
    bool amountGiven = false;
    std::map<std::string, Setter> setters{
        {"product_type", IntField(u.productType, kIntMin, kIntMax)},
        {"amplifier_model", TextField(u.amplifierModel)},
        {"amplifier_serial", TextField(u.amplifierSerial)},
        {"firmware_version", TextField(u.firmwareVersion)},
        {"platform_model", TextField(u.platformModel)},
        {"platform_serial", TextField(u.platformSerial)},
        {"origin", [&u](const std::string& v, std::string& why) { return ReadFloats(v, u.originOffsets, why); }},
        {"length", TextField(u.platformLength)},
        {"width", TextField(u.platformWidth)},
        {"plugged", [&u](const std::string& v, std::string& why) { return ReadBool(v, u.plugged, why); }},
        {"unplug_at_init", IntField(u.unplugAtInit, 0, kIntMax)},
        {"calibration_pending",
         [&u](const std::string& v, std::string& why) { return ReadBool(v, u.calibrationPending, why); }},
        {"cal_download_result", IntField(u.calDownloadResult, kIntMin, kIntMax)},
        {"cal_complete_results",
         [&u](const std::string& v, std::string& why) {
             std::vector<long long> list;
             bool ok = ReadList(v, list) && !list.empty();
             for (long long n : list)
                 ok = ok && n >= kIntMin && n <= kIntMax;
             if (!ok) {
                 why = "expected one or more whole numbers";
                 return false;
             }
             u.calCompleteResults.assign(list.begin(), list.end());
             return true;
         }},
        {"load",
         [&u, &loadGiven](const std::string& v, std::string& why) {
             for (LoadKind kind : {LoadKind::None, LoadKind::Static, LoadKind::Steps, LoadKind::Weight, LoadKind::Walk,
                                   LoadKind::Treadmill, LoadKind::Stand}) {
                 if (v == LoadKindName(kind)) {
                     u.load.kind = kind;
                     loadGiven = true;
                     return true;
                 }
             }
             why = "expected none, static, steps, weight, walk, treadmill or stand";
             return false;
         }},
        {"force",
         [&u, &amountGiven](const std::string& v, std::string& why) {
             std::array<float, 3> f{};
             if (!ReadFloats(v, f, why))
                 return false;
             std::copy(f.begin(), f.end(), u.load.load.begin());
             amountGiven = true;
             return true;
         }},
        {"moment",
         [&u, &amountGiven](const std::string& v, std::string& why) {
             std::array<float, 3> m{};
             if (!ReadFloats(v, m, why))
                 return false;
             std::copy(m.begin(), m.end(), u.load.load.begin() + 3);
             amountGiven = true;
             return true;
         }},
        {"offset", [&u](const std::string& v, std::string& why) { return ReadFloats(v, u.load.offset, why); }},
        {"step_on", IntField(u.load.stepOn, 0, kIntMax)},
        {"step_off", IntField(u.load.stepOff, 0, kIntMax)},
        {"mass", FloatField(u.load.mass)},
        {"at", [&u](const std::string& v, std::string& why) { return ReadFloats(v, u.load.at, why); }},
        {"direction",
         ChoiceField(u.load.direction, std::array<const char*, 4>{"+x", "-x", "+y", "-y"},
                     std::array<Direction, 4>{Direction::PlusX, Direction::MinusX, Direction::PlusY, Direction::MinusY},
                     "+x, -x, +y or -y")},
        {"step_time", FloatField(u.load.stepTime)},
        {"stance", FloatField(u.load.stance)},
        {"step_length", FloatField(u.load.stepLength)},
        {"step_width", FloatField(u.load.stepWidth)},
        {"foot_length", FloatField(u.load.footLength)},
        {"foot", ChoiceField(u.load.foot, std::array<const char*, 3>{"left", "right", "both"},
                             std::array<Foot, 3>{Foot::Left, Foot::Right, Foot::Both}, "left, right or both")},
        {"step_count", IntField(u.load.stepCount, 1, kMaxStepCount)},
        {"away", FloatField(u.load.away)},
        {"start", FloatField(u.load.start)},
        {"share", FloatField(u.load.share)},
        {"sway", FloatField(u.load.sway)},
        {"noise", [&u](const std::string& v, std::string& why) { return ReadFloats(v, u.load.noise, why); }},
        {"drift", [&u](const std::string& v, std::string& why) { return ReadFloats(v, u.load.drift, why); }},
        {"seed", IntField(u.load.seed, 0, std::numeric_limits<long long>::max())},
        {"trigger_idle",
         [&u](const std::string& v, std::string& why) {
             std::array<float, 1> f{};
             if (!ReadFloats(v, f, why))
                 return false;
             u.trigger.idle = f[0];
             return true;
         }},
        {"trigger_active",
         [&u](const std::string& v, std::string& why) {
             std::array<float, 1> f{};
             if (!ReadFloats(v, f, why))
                 return false;
             u.trigger.active = f[0];
             return true;
         }},
        {"trigger_from", IntField(u.trigger.from, -1, std::numeric_limits<long long>::max())},
        {"trigger_samples", IntField(u.trigger.samples, 0, kIntMax)},
    };
    if (!ApplySection(section, keys, setters, error))
        return false;
    if (!loadGiven && amountGiven)
        u.load.kind = LoadKind::Static;
    return CheckLoadKeys(section, keys, u.load.kind, error);
}

} // namespace

bool ParseScenario(const std::string& text, Scenario& out, std::string& error)
{
    try {
        boost::property_tree::ptree tree;
        std::istringstream in(text);
        boost::property_tree::ini_parser::read_ini(in, tree);

        Scenario s;
        s.name = "unnamed";
        for (const auto& section : tree) {
            const std::string& title = section.first;
            if (section.second.empty()) {
                error = "key \"" + title + "\" outside a section";
                return false;
            }
            if (title == "scenario") {
                if (!ReadScenarioSection(section.second, s, error))
                    return false;
            } else if (title.compare(0, 4, "unit") == 0 && (title.size() == 4 || title[4] == ' ' || title[4] == '\t')) {
                UnitSpec u;
                u.name = title.size() > 4 ? title.substr(title.find_first_not_of(" \t", 4)) : std::string();
                if (!ReadUnitSection(title, section.second, u, error))
                    return false;
                if (s.units.size() == kMaxUnits) {
                    error = "at most " + std::to_string(kMaxUnits) + " units";
                    return false;
                }
                s.units.push_back(std::move(u));
            } else {
                error = "unknown section [" + title + "] (expected [scenario] or [unit NAME])";
                return false;
            }
        }
        if (!ValidateScenario(s, error))
            return false;
        out = std::move(s);
        error.clear();
        return true;
    } catch (const boost::property_tree::ini_parser_error& e) {
        error = "line " + std::to_string(e.line()) + ": " + e.message();
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "unreadable scenario";
    }
    return false;
}

} // namespace zorvasim
