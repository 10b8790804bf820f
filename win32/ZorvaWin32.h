/// The Win32 subset the plugin uses: thread messages, Sleep and file opening.
///
/// On Windows this is <windows.h> itself. Elsewhere it is our own small layer
/// (libzorvawin32) that offers the same names with the same semantics, so the
/// plugin code reads exactly as it would on Windows and has no #ifdef of its own.
#pragma once

#if defined(_WIN32)
#    ifndef NOMINMAX
#        define NOMINMAX
#    endif
#    ifndef WIN32_LEAN_AND_MEAN
#        define WIN32_LEAN_AND_MEAN
#    endif
#    include <windows.h>
// The host interface has an operation named GetMessage; the plugin calls GetMessageW by name.
#    undef GetMessage
#else
#    include "posix/windows_subset.h"
#endif
