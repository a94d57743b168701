#pragma once

#include <string>

namespace brenwick {

// The program keeps text and paths in UTF-8; the Win32 calls take UTF-16. Invalid sequences become U+FFFD.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16);

} // namespace brenwick
