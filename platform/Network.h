/// What the live view's server needs of the operating system beyond Asio: one
/// implementation per system (NetworkPosix.cpp, NetworkWindows.cpp), chosen by
/// the build.
#pragma once

namespace zorvaplatform {

/// Whether the listening socket should reuse its address: on POSIX systems
/// so a restart right after a stop finds its port free (the last connections
/// linger there); never on Windows, where it would let another program take
/// the same port.
bool ReuseAddressOnListen();

} // namespace zorvaplatform
