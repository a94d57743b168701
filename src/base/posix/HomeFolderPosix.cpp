#include "base/HomeFolder.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace brenwick {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return ".";
}

} // namespace brenwick
