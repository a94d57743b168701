#include "image/HexReader.h"

#include "image/ImageLayout.h"

namespace brenwick {

namespace {

int HexDigitValue(int c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class RecordType : unsigned { Data = 0, ExtendedLinearAddress = 4 };

// Record fields are read like a formatted "%2x"/"%4x" read: leading white space is skipped, then at most
// `width` hexadecimal digits are taken; the first byte that is not a digit stays unread.
class CRecordScanner {
  public:
    explicit CRecordScanner(CFileReader& file) : m_File(file) {}

    bool ReadHex(int width, unsigned& value) {
        int c = m_File.Get();
        while (IsSpace(c)) {
            c = m_File.Get();
        }
        int digit = HexDigitValue(c);
        if (digit < 0) {
            m_File.Unget(c);
            return false;
        }
        value = static_cast<unsigned>(digit);
        for (int taken = 1; taken < width; ++taken) {
            c = m_File.Get();
            digit = HexDigitValue(c);
            if (digit < 0) {
                m_File.Unget(c);
                break;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }

    enum class Mark { Found, End, TooFar };
    // Skips to just past the next ':'.
    Mark SkipToRecordMark() {
        for (uint64_t skipped = 0; skipped < kMaxBytesWithoutRecord; ++skipped) {
            const int c = m_File.Get();
            if (c == ':') {
                return Mark::Found;
            }
            if (c == CFileReader::kEof) {
                return Mark::End;
            }
        }
        return Mark::TooFar;
    }

  private:
    CFileReader& m_File;
};

struct HexState {
    uint32_t address = 0; // current target address
    std::span<uint8_t> image;
    int32_t& imageLen;
};

LoadResult ReadDataRecord(CRecordScanner& scan, HexState& state, unsigned count, unsigned sum, int line) {
    for (unsigned i = 0; i < count; ++i) {
        unsigned byte = 0;
        if (!scan.ReadHex(2, byte)) {
            return LoadResult::Failure(LoadError::BadRecord, line);
        }
        if (state.address < image_layout::kHexWindowBase ||
            state.address >= image_layout::kHexWindowBase + image_layout::kImageSize) {
            return LoadResult::Failure(LoadError::AddressOutsideWindow, line, 0, state.address);
        }
        const uint32_t offset = state.address - image_layout::kHexWindowBase;
        state.image[offset] = static_cast<uint8_t>(byte);
        if (state.imageLen < static_cast<int32_t>(offset + 1)) {
            state.imageLen = static_cast<int32_t>(offset + 1);
        }
        ++state.address;
        sum += byte;
    }
    unsigned checksum = 0;
    if (!scan.ReadHex(2, checksum)) {
        return LoadResult::Failure(LoadError::BadRecord, line);
    }
    if (((sum + checksum) & 0xFF) != 0) {
        return LoadResult::Failure(LoadError::BadChecksum, line);
    }
    return {};
}

} // namespace

LoadResult ReadHexRecords(CFileReader& file, std::span<uint8_t> image, int32_t& imageLen) {
    CRecordScanner scan(file);
    HexState state{0, image, imageLen};
    for (;;) {
        const auto mark = scan.SkipToRecordMark();
        if (mark == CRecordScanner::Mark::End) {
            return LoadResult::Failure(LoadError::NoEndRecord, file.Line());
        }
        if (mark == CRecordScanner::Mark::TooFar || file.BytesRead() > kMaxHexBytes) {
            return LoadResult::Failure(LoadError::NoHexRecords);
        }
        const int line = file.Line();
        unsigned count = 0;
        // A byte count that cannot be read, or one of 0 (the end-of-file record), ends the file.
        if (!scan.ReadHex(2, count) || count == 0) {
            return {};
        }
        unsigned offset = 0;
        if (!scan.ReadHex(4, offset)) {
            return LoadResult::Failure(LoadError::BadRecord, line);
        }
        state.address = (state.address & 0xFFFF0000u) + offset;
        unsigned type = 0;
        if (!scan.ReadHex(2, type)) {
            return LoadResult::Failure(LoadError::BadRecord, line);
        }
        if (type == static_cast<unsigned>(RecordType::ExtendedLinearAddress)) {
            unsigned upper = 0;
            if (!scan.ReadHex(4, upper)) {
                return LoadResult::Failure(LoadError::BadRecord, line);
            }
            state.address = upper << 16; // the record's checksum is left for the ':' search to skip
        } else if (type == static_cast<unsigned>(RecordType::Data)) {
            const unsigned headerSum = count + (offset >> 8) + (offset & 0xFF) + type;
            const LoadResult r = ReadDataRecord(scan, state, count, headerSum, line);
            if (!r.Ok()) {
                return r;
            }
        }
        // Other record types are skipped whole, checksum included.
        if (file.AtEof()) {
            return {};
        }
    }
}

} // namespace brenwick
