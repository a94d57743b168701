#include "base/HomeFolder.h"
#include "base/win32/Utf16.h"

#include <cstdlib>
#include <memory>
#include <shlobj.h>
#include <windows.h>

namespace brenwick {

namespace {

struct TaskMemFree {
    void operator()(wchar_t* text) const { ::CoTaskMemFree(text); }
};

} // namespace

std::string HomeFolder() {
    // The wide variable: the narrow one is in the ANSI code page, which cannot hold every user name.
    if (const wchar_t* profile = ::_wgetenv(L"USERPROFILE"); profile != nullptr && *profile != L'\0') {
        return Narrow(profile);
    }
    wchar_t* found = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &found);
    const std::unique_ptr<wchar_t, TaskMemFree> owned(found); // freed on failure too, as the call asks
    if (SUCCEEDED(result) && found != nullptr && *found != L'\0') {
        return Narrow(found);
    }
    return ".";
}

} // namespace brenwick
