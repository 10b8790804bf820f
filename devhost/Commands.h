/// The development host's commands; each returns its exit code (ExitCode).
#pragma once

#include "devhost/CommandLine.h"

namespace zorvahost {

/// Longest wait for a detection: a start-up that times out takes 13 s, and
/// each calibration-file download up to 25 s more.
constexpr double kDetectionTimeoutSeconds = 600.0;

int RunDefinitions(const Options& options);
int RunCheckConfig(const Options& options);
int RunDetect(const Options& options);
int RunCapture(const Options& options);
/// selftest: exit code 0 only when every check passed.
int RunSelfTest(const Options& options);
/// --version: prints the versions; exit code 1 when the plugin's cannot be read.
int RunVersion(const Options& options);

} // namespace zorvahost
