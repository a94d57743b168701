#include "support/HostMessages.h"

#include "support/Firmware.h"

#include <algorithm>

namespace hostmsg {

std::vector<uint8_t> Request(uint16_t code) {
    return {0x04, 0x20, static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8)};
}

std::vector<uint8_t> Request(uint16_t code, uint8_t param) {
    return {0x05, 0x20, static_cast<uint8_t>(code), static_cast<uint8_t>(code >> 8), param};
}

std::vector<uint8_t> ProgramControl(uint8_t phase, const uint8_t (&productId)[4]) {
    return {0x0A, 0x00, 0x00, 0x03, 0x00, phase, productId[0], productId[1], productId[2], productId[3]};
}

std::vector<uint8_t> DataItem(uint32_t address, const std::vector<uint8_t>& data) {
    const size_t length = data.size() + 6;
    std::vector<uint8_t> out = {
        static_cast<uint8_t>(length),        static_cast<uint8_t>((length >> 8) | 0x80),
        static_cast<uint8_t>(address),       static_cast<uint8_t>(address >> 8),
        static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 24)};
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

StampedImage MakeStampedImage(uint8_t family, size_t appBytes) {
    const uint32_t firstWord = family == 0xE5 ? firmware::kSam7Word : firmware::kCortexWord;
    const uint32_t info = firmware::InfoOffsetFor(firstWord);
    // A page of one byte stops the picture right behind the sum.
    return {firmware::ExpectedFlash(firmware::Application(appBytes, firstWord, info), info,
                                    firmware::kImageSize, 1),
            family == 0xE5 ? 0x100000u : 0u,
            static_cast<uint32_t>((firmware::kBootLength + appBytes + 3) & ~size_t{3})};
}

std::vector<std::vector<uint8_t>> Pages(const StampedImage& image, size_t pageSize) {
    std::vector<std::vector<uint8_t>> pages;
    for (size_t offset = firmware::kBootLength; offset < size_t{image.imageLen} + 4; offset += pageSize) {
        std::vector<uint8_t> data(pageSize, 0xFF);
        std::copy_n(image.bytes.begin() + static_cast<long>(offset),
                    std::min(pageSize, image.bytes.size() - offset), data.begin());
        pages.push_back(DataItem(image.flashBase + static_cast<uint32_t>(offset), data));
    }
    return pages;
}

} // namespace hostmsg
