#pragma once

#include "panel/ColorRef.h"

#include <windows.h>

namespace brenwick::winapp {

// The panel's date-and-time line as a window class of its own, "MFCClockCtrl": the current local time in
// one line of centred Arial text scaled to the control's height, updated by its own 900 ms timer whenever
// the second changes. The window text is the line shown, so that screen readers read it.
inline constexpr wchar_t kClockClassName[] = L"MFCClockCtrl";

// Registers the class for `instance` once; false when the system refuses it.
bool RegisterClockControl(HINSTANCE instance);

// The text colour (0x00BBGGRR); the panel's is a dark slate blue.
void SetClockTextColor(HWND control, panel::COLORREF color);
inline constexpr panel::COLORREF kClockTextColor = 0x00804040;

} // namespace brenwick::winapp
