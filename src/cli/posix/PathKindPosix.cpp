#include "cli/PathKind.h"

#include <sys/stat.h>
#include <unistd.h>

namespace brenwick::cli {

PathKind KindOfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return PathKind::Unknown;
    }
    if (S_ISREG(st.st_mode)) {
        return PathKind::Regular;
    }
    return S_ISFIFO(st.st_mode) ? PathKind::Fifo : PathKind::Other;
}

bool SameRegularFile(const std::string& input, const std::string& output) {
    struct stat in {};
    struct stat out {};
    const bool haveInput = input == "-" ? ::fstat(STDIN_FILENO, &in) == 0 : ::stat(input.c_str(), &in) == 0;
    return haveInput && ::stat(output.c_str(), &out) == 0 && S_ISREG(in.st_mode) && in.st_dev == out.st_dev &&
           in.st_ino == out.st_ino;
}

} // namespace brenwick::cli
