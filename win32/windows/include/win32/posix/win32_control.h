/// Windows test build: tests include the Linux controls' header by this name;
/// here it leads to the same controls for Windows.
#pragma once

#include "win32/windows/win32_control.h"
