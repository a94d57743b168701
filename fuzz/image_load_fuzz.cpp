// Random bytes as a whole firmware file, HEX or .bin: the load (size refusal, family, stamp) must never
// crash, touch memory outside the image, or leave a failed load looking loaded.
#include "image/FirmwareImage.h"
#include "image/ImageLayout.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

using namespace brenwick;

namespace {

// The reader is chosen by the name, so the input lives in a memory file reached through two links whose
// names end in hex and bin; the folder holding them goes when the fuzzer ends.
class CFuzzInput {
  public:
    CFuzzInput() {
        m_Fd = ::memfd_create("image-input", 0);
        std::string folder = (std::filesystem::temp_directory_path() / "brenwick-fuzz-XXXXXX").string();
        if (m_Fd < 0 || ::mkdtemp(folder.data()) == nullptr) {
            std::abort();
        }
        m_Folder = folder;
        const std::string target = "/proc/self/fd/" + std::to_string(m_Fd);
        std::filesystem::create_symlink(target, m_Folder / "input.hex");
        std::filesystem::create_symlink(target, m_Folder / "input.bin");
    }
    ~CFuzzInput() {
        std::error_code ec;
        std::filesystem::remove_all(m_Folder, ec);
        ::close(m_Fd);
    }
    CFuzzInput(const CFuzzInput&) = delete;
    CFuzzInput& operator=(const CFuzzInput&) = delete;

    bool Put(const uint8_t* data, size_t size) const {
        return ::ftruncate(m_Fd, 0) == 0 && ::pwrite(m_Fd, data, size, 0) == static_cast<ssize_t>(size);
    }
    std::string Path(bool hex) const { return (m_Folder / (hex ? "input.hex" : "input.bin")).string(); }

  private:
    int m_Fd = -1;
    std::filesystem::path m_Folder;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // First byte: bit 0 picks the reader, the other bits a boot length for the stamp (0 to 0x3F800).
    const bool hex = (data[0] & 1) == 0;
    const auto bootLength = static_cast<int32_t>((data[0] >> 1) * 0x800);
    static const CFuzzInput input;
    if (!input.Put(data + 1, size - 1)) {
        return 0;
    }
    static CFirmwareImage image;
    LoadResult result = image.Load(input.Path(hex));
    if (result.Ok()) {
        result = image.Stamp(bootLength);
    }
    const int32_t length = image.m_ImageLen;
    if (length < 0 || length > static_cast<int32_t>(image_layout::kImageSize) || length % 4 != 0 ||
        image.m_Image.size() != image_layout::kImageSize) {
        __builtin_trap();
    }
    if (!result.Ok() && (length != 0 || image.m_InfoOffset != 0)) {
        __builtin_trap(); // a failed load must not look loaded
    }
    (void)result.Describe();
    return 0;
}
