#pragma once

// <windows.h> for the serial layer's Win32 backend, with the serial layer's own constants in force over the
// macros of the same names and values. The order of these includes matters.
// clang-format off
#include <windows.h>
#include "serial/win32/UndefWindowsNames.h"
#include "serial/SerialTypes.h"
// clang-format on
