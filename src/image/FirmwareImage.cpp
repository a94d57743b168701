#include "image/FirmwareImage.h"

#include "base/LittleEndian.h"
#include "image/FileReader.h"
#include "image/HexReader.h"

#include <algorithm>
#include <cctype>

namespace brenwick {

using namespace image_layout;

namespace {

enum class FileKind { Hex, Bin, Other };

// Only the last three characters count, in any case: "firmwarehex" is read as Intel HEX.
FileKind KindFromName(const std::string& path) {
    if (path.size() < 3) {
        return FileKind::Other;
    }
    std::string tail = path.substr(path.size() - 3);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    if (tail == "hex") {
        return FileKind::Hex;
    }
    if (tail == "bin") {
        return FileKind::Bin;
    }
    return FileKind::Other;
}

void PutWord(std::vector<uint8_t>& image, uint32_t offset, uint32_t value) {
    le::PutU32(image.data() + offset, value);
}

} // namespace

CFirmwareImage::CFirmwareImage() : m_Image(kImageSize, kFill) {}

LoadResult CFirmwareImage::Load(const std::string& path, const ReadLimits& limits) {
    m_ImageLen = 0;
    m_InfoOffset = 0;
    m_FlashBaseBefore = m_FlashBase;
    FileKind kind = path == "-" ? FileKind::Hex : KindFromName(path);

    CFileReader file;
    if (const int err = file.Open(path, limits); err != 0) {
        return LoadResult::Failure(LoadError::CannotOpen, 0, err); // the buffer keeps its previous contents
    }
    if (limits.regularFilesOnly && file.IsStream()) {
        return LoadResult::Failure(LoadError::NotRegularFile); // nothing read: the buffer stays as it was
    }
    if (kind == FileKind::Other && file.IsFifo()) {
        kind = FileKind::Hex; // bash's <(...) names a pipe /dev/fd/N
    }
    std::fill(m_Image.begin(), m_Image.end(), kFill);

    LoadResult result;
    int32_t length = 0;
    switch (kind) {
    case FileKind::Hex:
        result = ReadHexRecords(file, m_Image, length);
        if (result.Ok() && file.Error() != 0) {
            result = LoadResult::Failure(LoadError::ReadError, 0, file.Error());
        }
        break;
    case FileKind::Bin:
        result = ReadBin(file, length);
        break;
    case FileKind::Other:
        result = LoadResult::Failure(LoadError::NotFirmwareName);
        break;
    }
    file.Close();
    // A read cut short looks like the end of the file to the readers; say why it ended instead.
    if (file.Stopped()) {
        result = LoadResult::Failure(LoadError::Interrupted);
    } else if (file.TimedOut()) {
        result = LoadResult::Failure(LoadError::NoData);
    }
    if (!result.Ok()) {
        return result;
    }

    const int32_t rounded = (length + 3) & ~3;
    const auto family = FamilyFromMarker(m_Image[kFamilyByteOffset]);
    if (!family) {
        return LoadResult::Failure(LoadError::UnknownFamily);
    }
    m_FlashBase = family->flashBase;
    m_InfoOffset = family->infoOffset;
    m_ImageLen = rounded;
    return {};
}

LoadResult CFirmwareImage::ReadBin(CFileReader& file, int32_t& length) {
    if (file.IsStream()) {
        // A pipe or device has no size: read it to its end, one byte more than fits to tell a long one.
        const size_t got = file.ReadBlock(m_Image.data() + kBootAreaSize, kMaxBinSize);
        uint8_t extra = 0;
        if (got == kMaxBinSize && file.ReadBlock(&extra, 1) == 1) {
            return LoadResult::Failure(LoadError::TooLarge);
        }
        if (file.Error() != 0) {
            return LoadResult::Failure(LoadError::ReadError, 0, file.Error());
        }
        length = static_cast<int32_t>(got + kBootAreaSize);
        return {};
    }
    const long long size = file.Size();
    if (size < 0) {
        return LoadResult::Failure(LoadError::ReadError, 0, file.Error());
    }
    if (size > static_cast<long long>(kMaxBinSize)) {
        return LoadResult::Failure(LoadError::TooLarge);
    }
    const auto wanted = static_cast<size_t>(size);
    if (file.ReadBlock(m_Image.data() + kBootAreaSize, wanted) != wanted) {
        return LoadResult::Failure(LoadError::ReadError, 0, file.Error());
    }
    length = static_cast<int32_t>(size) + static_cast<int32_t>(kBootAreaSize);
    return {};
}

LoadResult CFirmwareImage::Refuse(LoadResult why) {
    m_ImageLen = 0;
    m_InfoOffset = 0;
    m_FlashBase = m_FlashBaseBefore;
    return why;
}

LoadResult CFirmwareImage::Stamp(int32_t bootLength) {
    if (bootLength < 0 || bootLength >= m_ImageLen) {
        return Refuse(LoadResult::Failure(LoadError::BootAreaTooLarge));
    }
    const auto boot = static_cast<uint32_t>(bootLength);
    const auto length = static_cast<uint32_t>(m_ImageLen);
    if (length + 4 > kImageSize || boot + m_InfoOffset + kInfoBlockSize > kImageSize) {
        return Refuse(LoadResult::Failure(LoadError::TooLarge));
    }
    PutWord(m_Image, boot + m_InfoOffset + kLengthWordOffset, length);
    uint32_t sum = 0;
    for (uint32_t o = boot; o < length; ++o) {
        sum += m_Image[o];
    }
    PutWord(m_Image, length, sum);
    return {};
}

uint8_t CFirmwareImage::ByteAt(int64_t offset) const {
    if (offset < 0 || offset >= static_cast<int64_t>(m_Image.size())) {
        return kFill;
    }
    return m_Image[static_cast<size_t>(offset)];
}

uint32_t CFirmwareImage::WordAt(int64_t offset) const {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | ByteAt(offset + i);
    }
    return value;
}

std::array<uint8_t, 4> CFirmwareImage::ProductId(int32_t bootLength) const {
    const int64_t at = int64_t{bootLength} + m_InfoOffset + kProductIdOffset;
    return {ByteAt(at), ByteAt(at + 1), ByteAt(at + 2), ByteAt(at + 3)};
}

} // namespace brenwick
