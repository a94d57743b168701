#pragma once

#include <windows.h>

namespace brenwick::winapp {

// The status bar as assistive technology sees it: a read-only progress bar whose name is the status text and
// whose value is the progress in percent ("45%"). Answers WM_GETOBJECT for the client object; other requests
// get the default answer.
LRESULT AnswerStatusObjectRequest(HWND window, WPARAM wParam, LPARAM lParam);

} // namespace brenwick::winapp
