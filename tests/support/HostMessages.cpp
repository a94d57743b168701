#include "support/HostMessages.h"

namespace hostmsg {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void Put32At(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (size_t k = 0; k < 4; ++k) {
        out[at + k] = static_cast<uint8_t>((v >> (8 * k)) & 0xFF);
    }
}

} // namespace

std::vector<uint8_t> Request(uint16_t code) {
    std::vector<uint8_t> out;
    Put16(out, 4 | 0x2000);
    Put16(out, code);
    return out;
}

std::vector<uint8_t> Request(uint16_t code, uint8_t param) {
    std::vector<uint8_t> out;
    Put16(out, 5 | 0x2000);
    Put16(out, code);
    out.push_back(param);
    return out;
}

std::vector<uint8_t> ProgramControl(uint8_t phase, const uint8_t (&productId)[4]) {
    return {0x0A, 0x00, 0x00, 0x03, 0x00, phase, productId[0], productId[1], productId[2], productId[3]};
}

std::vector<uint8_t> DataItem(uint32_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    Put16(out, static_cast<uint32_t>(data.size() + 6) | 0x8000);
    Put16(out, address & 0xFFFF);
    Put16(out, address >> 16);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

StampedImage MakeStampedImage(uint8_t family, size_t flashSize, uint32_t bootLength, size_t appBytes) {
    StampedImage image;
    image.bytes.assign(flashSize, 0xFF);
    image.bootLength = bootLength;
    image.flashBase = family == 0xE5 ? 0x100000 : 0;
    uint32_t seed = 0x12345678u ^ family;
    for (size_t i = 0; i < appBytes; ++i) {
        seed = seed * 1103515245u + 12345u;
        image.bytes[bootLength + i] = static_cast<uint8_t>(seed >> 16);
    }
    image.bytes[bootLength + 3] = family;
    image.imageLen = static_cast<uint32_t>((bootLength + appBytes + 3) & ~size_t{3});
    const size_t info = family == 0x20 ? 0x100 : 0;
    Put32At(image.bytes, bootLength + info + 0x3C, image.imageLen);
    uint32_t sum = 0;
    for (size_t i = bootLength; i < image.imageLen; ++i) {
        sum += image.bytes[i];
    }
    Put32At(image.bytes, image.imageLen, sum);
    return image;
}

std::vector<std::vector<uint8_t>> Pages(const StampedImage& image, size_t pageSize) {
    std::vector<std::vector<uint8_t>> pages;
    for (size_t offset = image.bootLength; offset < size_t{image.imageLen} + 4; offset += pageSize) {
        std::vector<uint8_t> data(pageSize, 0xFF);
        for (size_t k = 0; k < pageSize && offset + k < image.bytes.size(); ++k) {
            data[k] = image.bytes[offset + k];
        }
        pages.push_back(DataItem(image.flashBase + static_cast<uint32_t>(offset), data));
    }
    return pages;
}

} // namespace hostmsg
