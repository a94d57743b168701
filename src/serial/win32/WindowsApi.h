#pragma once

// <windows.h> for the serial layer's Win32 backend, with the serial layer's own constants in force over the
// macros of the same names and values.
#include "serial/SerialTypes.h"
#include "serial/win32/UndefWindowsNames.h"

#include <windows.h>
