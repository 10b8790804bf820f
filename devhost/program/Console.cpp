#include "devhost/program/Console.h"

#include "devhost/engine/Text.h"

#include <cstdio>

namespace zorvahost {

void PrintError(const std::string& why) { std::fprintf(stderr, "error: %s\n", why.c_str()); }

void Console::Line(const std::string& text)
{
    EndProgress();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void Console::Event(double seconds, const std::string& text)
{
    const std::string time = Fixed(seconds, 2);
    Line("  [" + std::string(time.size() < 6 ? 6 - time.size() : 0, ' ') + time + " s] " + text);
}

void Console::Progress(const std::string& text)
{
    if (!progress_)
        return;
    std::string line = "\r" + text;
    if (text.size() < shown_)
        line += std::string(shown_ - text.size(), ' ');
    std::printf("%s", line.c_str());
    std::fflush(stdout);
    shown_ = text.size();
}

void Console::EndProgress()
{
    if (shown_ == 0)
        return;
    std::printf("\r%s\r", std::string(shown_, ' ').c_str());
    shown_ = 0;
}

} // namespace zorvahost
