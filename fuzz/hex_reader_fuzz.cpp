// Random bytes as an Intel HEX file: the reader must never crash or touch memory outside the image.
#include "image/FileReader.h"
#include "image/HexReader.h"
#include "image/ImageLayout.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace brenwick;

namespace {

int FuzzFile() {
    static const int fd = ::memfd_create("hex-input", 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = FuzzFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        return 0;
    }
    static CFileReader file;
    if (file.Open("/proc/self/fd/" + std::to_string(fd)) != 0) {
        return 0;
    }
    // An exactly sized heap buffer lets AddressSanitizer catch any write past the image.
    static std::vector<uint8_t> image(image_layout::kImageSize, image_layout::kFill);
    int32_t length = 0;
    const LoadResult result = ReadHexRecords(file, image, length);
    if (length < 0 || length > static_cast<int32_t>(image_layout::kImageSize)) {
        __builtin_trap();
    }
    (void)result.Describe();
    return 0;
}
