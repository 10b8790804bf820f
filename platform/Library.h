/// Loading a library and finding its exports, as the tools need it: the host
/// kit loads the plugin as a host does, the field-trace tools load the USB
/// library they record by file or put the recorder in front of it, and the
/// development host finds the simulated library's controls in the USB library
/// the plugin loaded. The file names of the plugin and the USB library are
/// written here and nowhere else. One implementation per system
/// (LibraryPosix.cpp, LibraryWindows.cpp), chosen by the build.
#pragma once

#include <string>

namespace zorvaplatform {

/// The plugin's file name, the same on every system.
constexpr char kPluginFileName[] = "ZORVAplugin.mdd";

/// The USB library's file name as the plugin imports it:
/// "ZORVAUSBDevice.dll" on Windows, "libZORVAUSBDevice.so" elsewhere.
const char* UsbLibraryFileName();

/// Loads a plugin as a host does: the file at `path` (a bare name is looked
/// for where the system looks for libraries), its exports kept to itself; on
/// Windows its own imports are looked for beside it. Null, with `error` in the
/// system's words (naming the file), when it cannot be loaded.
void* LoadPluginFile(const std::string& path, std::string& error);
/// Unloads a library LoadPluginFile loaded; nothing for null.
void UnloadLibrary(void* library);

/// Loads a library by its path, kept for the process's life (never
/// unloaded: a caller may still hold one of its blocks). Its exports stay
/// out of the process's global names, so it never stands in for another
/// library of the same name; this very file is loaded even when a library of
/// its name is loaded already. Null with `error` saying why.
void* LoadLibraryFile(const std::string& path, std::string& error);
/// An export of a library loaded here; null when it has none.
void* LibrarySymbol(void* library, const char* name);

/// An export of the USB library the process already loaded under its
/// import name (the plugin brought it, or the recorder stands in front);
/// null when none is loaded or it lacks the name.
void* LoadedUsbLibrarySymbol(const char* name);

/// Loads a library so that libraries loaded after it that import its file
/// name bind to it (RTLD_GLOBAL; on Windows any module of that name).
void* LoadLibraryInFront(const std::string& path, std::string& error);

/// The USB library the plugin at `pluginPath` loads when it is loaded, found
/// as the system finds the plugin's import of it: on Windows beside the
/// plugin (a host loads it with its folder searched first), in the system
/// folders, the current folder, then on PATH; elsewhere on LD_LIBRARY_PATH,
/// then beside the plugin (its RUNPATH $ORIGIN). Empty, with `error` naming
/// where it looked, when there is none.
std::string UsbLibraryForPlugin(const std::string& pluginPath, std::string& error);

} // namespace zorvaplatform
