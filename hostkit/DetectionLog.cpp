#include "hostkit/DetectionLog.h"

#include "hostkit/Numbers.h"
#include "contract/LogLines.h"

namespace hostkit {

namespace {

/// A whole decimal integer as the plugin writes one ("%d").
bool ParseInt(const std::string& text, int& value) { return ParseInteger(text, value, true); }

/// "x, y, z" as the plugin formats three floats ("%f"), nothing after.
bool ParseTriple(const std::string& text, double out[3])
{
    double read[3] = {0.0, 0.0, 0.0};
    std::size_t from = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = i < 2 ? text.find(", ", from) : text.size();
        if (comma == std::string::npos ||
            !ParseNumber(text.substr(from, comma - from), NumberForm{true, true}, read[i]))
            return false;
        from = comma + 2;
    }
    for (int i = 0; i < 3; ++i)
        out[i] = read[i];
    return true;
}

} // namespace

void DetectionLogParser::Feed(const LogLine& line)
{
    using ZORVA::LogLineId;
    using ZORVA::MatchLogLine;
    const std::string& text = line.text;
    std::string values;
    if (MatchLogLine(LogLineId::Init, text)) {
        Finish();
        current_ = DetectionReport();
        started_ = true;
    }
    if (!started_)
        return;
    current_.log.push_back(line);

    if (MatchLogLine(LogLineId::SelectDevice, text, &values) && !ended_) {
        // Each identity block starts with the selection; the blink job selects
        // too, so a block counts only once its product type was read.
        int index = -1;
        if (ParseInt(values, index)) {
            if (!current_.units.empty() && !current_.units.back().complete)
                current_.units.pop_back();
            DetectedUnit unit;
            unit.index = index;
            current_.units.push_back(unit);
        }
        return;
    }
    if (!ended_ && !current_.units.empty()) {
        DetectedUnit& unit = current_.units.back();
        if (MatchLogLine(LogLineId::AmplifierModel, text, &values))
            unit.amplifierModel = values;
        else if (MatchLogLine(LogLineId::ProductType, text, &values))
            unit.complete = ParseInt(values, unit.productType);
        else if (MatchLogLine(LogLineId::FirmwareVersion, text, &values))
            unit.firmwareVersion = values;
        else if (MatchLogLine(LogLineId::AmplifierSerial, text, &values))
            unit.amplifierSerial = values;
        else if (MatchLogLine(LogLineId::PlatformModel, text, &values))
            unit.platformModel = values;
        else if (MatchLogLine(LogLineId::PlatformSerial, text, &values))
            unit.platformSerial = values;
        else if (MatchLogLine(LogLineId::PlatformOffsets, text, &values))
            ParseTriple(values, unit.origin);
        else if (MatchLogLine(LogLineId::PlatformSize, text, &values)) {
            // "%s, %s": a length text holding ", " itself cannot be told apart; the last one splits.
            const std::size_t comma = values.rfind(", ");
            unit.length = comma == std::string::npos ? values : values.substr(0, comma);
            unit.width = comma == std::string::npos ? std::string() : values.substr(comma + 2);
        }
    }

    if (MatchLogLine(LogLineId::DetectionSucceeded, text, &values)) {
        current_.succeeded = true;
        current_.message = values;
    } else if (MatchLogLine(LogLineId::DetectionFailed, text, &values)) {
        current_.succeeded = false;
        current_.message = values;
    } else if (MatchLogLine(LogLineId::UnsupportedDevice, text, &values)) {
        int type = 0;
        if (ParseInt(values, type))
            current_.unsupportedTypes.push_back(type);
    } else if (MatchLogLine(LogLineId::InstantiationRefused, text)) {
        current_.refusals.push_back(text);
    } else if (MatchLogLine(LogLineId::DevicesDetected, text, &values) &&
               line.Level() == ZORVA::SpecOf(LogLineId::DevicesDetected).level) {
        int count = 0;
        if (ParseInt(values, count)) {
            current_.deviceCount = count;
            if (!current_.units.empty() && !current_.units.back().complete)
                current_.units.pop_back();
            ended_ = true;
        }
    }
}

void DetectionLogParser::Finish()
{
    if (!ended_)
        return;
    finished_.push_back(current_);
    current_ = DetectionReport();
    started_ = false;
    ended_ = false;
}

std::vector<DetectionReport> DetectionLogParser::TakeReports()
{
    std::vector<DetectionReport> reports(finished_.begin(), finished_.end());
    finished_.clear();
    return reports;
}

} // namespace hostkit
