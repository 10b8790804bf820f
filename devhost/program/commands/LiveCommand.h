/// `zorva-devhost live`: the session as capture runs it, for as long as the
/// user likes, with the page that shows it.
#pragma once

#include "devhost/program/CommandLine.h"
#include "devhost/live/Server.h"

#include <atomic>
#include <functional>

namespace zorvahost {
namespace live {

/// The default port of the page.
constexpr unsigned short kDefaultPort = 8317;

/// The live view until the page stops it or `interrupted` is set; its exit
/// code. `listening`, when given, is called once the server listens (on this
/// thread, before the detection ends). Prints as the command does.
int RunLiveSession(const Options& options, const std::atomic<bool>& interrupted,
                   const std::function<void(const LiveServer&)>& listening);

} // namespace live
} // namespace zorvahost
