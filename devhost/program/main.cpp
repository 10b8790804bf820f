// The development host: tries ZORVA force plates without the motion-capture
// host. It loads ZORVAplugin.mdd by file and drives it through its six entry
// points as the host does, on the USB library beside it: the simulated bench,
// or on a lab computer the signal conditioners' own library. See --help.
#include "devhost/program/CommandLine.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace zorvahost;

int main(int argc, char** argv)
{
    try {
        const ParseResult parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        if (!parsed.ok) {
            std::fprintf(stderr, "zorva-devhost: %s\nSee zorva-devhost --help.\n", parsed.error.c_str());
            return ExitUsage;
        }
        return RunCommand(parsed.options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zorva-devhost: %s\n", error.what());
        return ExitFailure;
    }
}
