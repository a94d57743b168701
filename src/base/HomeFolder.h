#pragma once

#include <string>

namespace brenwick {

// The user's own folder in UTF-8 ($HOME or the password database on POSIX, %USERPROFILE% or the profile
// folder on Windows); "." when the system names none.
std::string HomeFolder();

} // namespace brenwick
