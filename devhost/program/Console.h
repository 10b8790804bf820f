/// The program's console: one failure line in the one error style, and the
/// capture's console, where event lines and a progress line share the output
/// without mixing.
#pragma once

#include "devhost/engine/capture/CaptureRun.h"

#include <cstddef>
#include <string>

namespace zorvahost {

/// A failure as every command reports it: "error: WHY" on standard error
/// (WHY may hold a second line that says what to do). The commands then
/// return their exit code (ExitCode).
void PrintError(const std::string& why);

/// Event lines and the progress line on standard output, without mixing them.
class Console : public CaptureReporter
{
public:
    /// `progress`: draw the progress line (on a terminal, when no log runs past).
    explicit Console(bool progress) : progress_(progress) {}

    void Line(const std::string& text);
    /// A line that says when, in seconds from the start of the capture.
    void Event(double seconds, const std::string& text) override;
    void Progress(const std::string& text) override;
    void EndProgress() override;

private:
    bool progress_;
    std::size_t shown_ = 0;
};

} // namespace zorvahost
