#pragma once

#include "base/win32/UniqueHandle.h"

#include <string>
#include <windows.h>

namespace brenwick::winapp {

// One copy of the program per session: the first copy holds a mutex named after the program file and marks
// its main window with a property of that name; a later copy finds the marked window, brings it (and its
// open dialog) to the front and ends without touching settings or files. Copies under other file names do
// not see each other.
class CSingleInstance {
  public:
    // `name`: the program file's base name ("brenwick").
    explicit CSingleInstance(std::wstring name) : m_Name(std::move(name)) {}

    // True for the first copy, which now holds the mutex for the rest of its life. False when another copy
    // runs: its window has been raised, if it has one yet.
    bool Acquire();
    // Marks the first copy's main window for later copies.
    void MarkWindow(HWND window) const;
    // Removes the mark before the window goes.
    void UnmarkWindow(HWND window) const;

    // Finds the window marked `name` in z-order; restores it when minimised and brings it and its last active
    // pop-up to the front. False when no window carries the mark.
    static bool RaiseMarkedWindow(const std::wstring& name);

  private:
    std::wstring m_Name;
    UniqueHandle m_Mutex;
};

} // namespace brenwick::winapp
