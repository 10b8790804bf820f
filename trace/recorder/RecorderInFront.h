/// For a host that loads the plugin itself (the development host): puts the
/// recording USB library in front of the real one without copying files.
///
/// The recorder is loaded first, under the USB library's file name: on Linux
/// with RTLD_GLOBAL, and the plugin's import of libZORVAUSBDevice.so is then
/// matched to it by its SONAME; on Windows with LoadLibrary, and the plugin's
/// import of ZORVAUSBDevice.dll binds to the module of that name already
/// loaded. The recorder loads the real library by its full path, which both
/// systems load as a library of its own despite the same name.
#pragma once

#include <string>

namespace zorvatrace {

/// "trace/<the USB library's file name>" below `folder` (ending in a path
/// separator): where the build puts the recorder beside the programs.
std::string RecorderBeside(const std::string& folder);

/// Loads the recorder at `recorderPath` in front and starts a trace at
/// `tracePath` of the library at `libraryPath`. Call before the plugin is
/// loaded. False, with `error`, when a USB library is loaded already (the
/// plugin came first), when the file is not a recorder, or when the library
/// or the trace file cannot be opened. Called again with the recorder in
/// front, it starts a new trace.
bool PutRecorderInFront(const std::string& recorderPath, const std::string& libraryPath, const std::string& tracePath,
                        std::string& error);

/// For a program that imports the recorder itself (placed beside it, as the
/// trace tests are): takes the recorder at `recorderPath`, already loaded, as
/// the one in front. False, with `error`, when it is not a recorder.
bool AdoptRecorder(const std::string& recorderPath, std::string& error);

/// Ends the trace of the recorder in front: everything written, the end
/// record last. Call before the process exits (a Windows process ending
/// without it can lose the last quarter second). False, with `error`, when
/// no recorder is in front, no trace was open, or writing failed.
bool EndRecording(std::string& error);

/// One of the recorder's own controls (RecorderControl.h); null when no
/// recorder is in front.
void* RecorderSymbol(const char* name);

/// An export of the library the recorder in front forwards to (the simulated
/// library's controls, for example); null when no recorder is in front or the
/// library lacks it.
void* RecordedLibrarySymbol(const char* name);

} // namespace zorvatrace
