#include "image/TempFileName.h"

#include <random>

namespace brenwick {

std::string FolderOf(const std::string& path) {
#ifdef _WIN32
    const auto end = path.find_last_of("/\\");
    if (end == std::string::npos && path.size() >= 2 && path[1] == ':') {
        return path.substr(0, 2); // "C:name" is name in drive C's current folder
    }
#else
    const auto end = path.rfind('/');
#endif
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

std::string TempFileNameIn(const std::string& folder) {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::random_device random;
    std::string name = folder + ".brenwick-";
    for (int i = 0; i < 8; ++i) {
        name += kDigits[random() % (sizeof kDigits - 1)];
    }
    return name;
}

} // namespace brenwick
