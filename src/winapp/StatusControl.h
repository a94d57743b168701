#pragma once

#include "panel/ColorRef.h"

#include <cstdint>
#include <windows.h>

namespace brenwick::winapp {

// The operator panel's status bar as a window class of its own, "MFCStatusCtrl", so that the form's dialog
// template names it as a custom control: one line of text centred over a cyan progress fill, a round lamp
// at the right end, an etched frame. The window text is the status text, so that screen readers read what
// it shows; a change of progress is announced to assistive technology as a value change.
inline constexpr wchar_t kStatusClassName[] = L"MFCStatusCtrl";

// Registers the class for `instance` once; false when the system refuses it.
bool RegisterStatusControl(HINSTANCE instance);

// The progress, clamped to 0..100; returns the previous one. Repaints.
uint32_t SetStatusPos(HWND control, uint32_t pos);
uint32_t GetStatusPos(HWND control);
// The lamp's fill colour (0x00BBGGRR). Repaints.
void SetStatusLampColor(HWND control, panel::COLORREF color);
// The status text is the window text (SetWindowTextW); it repaints too.

} // namespace brenwick::winapp
