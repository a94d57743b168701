// Replacing a file that another program holds open without letting it be deleted, which Windows refuses:
// the error says so in words, and the file and its folder are left as they were. (A read-only target is
// refused too on Windows, with EACCES; Wine replaces it, so that cannot be shown here.)
#include "base/win32/UniqueHandle.h"
#include "image/AtomicFile.h"
#include "support/CaseName.h"
#include "support/TempDir.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <windows.h>

namespace {

struct HeldCase {
    const char* name;
    DWORD holderShare; // what the holding program lets others do with the file
    friend void PrintTo(const HeldCase& c, std::ostream* os) { *os << c.name; }
};

class HeldTarget : public ::testing::TestWithParam<HeldCase> {};

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_P(HeldTarget, IsNotReplacedAndTheErrorSaysItIsInUse) {
    const CTempDir dir;
    const std::filesystem::path target = dir.Root() / "Firm_xxx.bin";
    dir.Write("Firm_xxx.bin", std::string("earlier export"));
    {
        const brenwick::UniqueHandle holder(::CreateFileW(
            target.c_str(), GENERIC_READ, GetParam().holderShare, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.Valid());
        const uint8_t data[] = {1, 2, 3, 4};
        const int err = brenwick::WriteFileAtomically(target.string(), data);
        EXPECT_EQ(err, ETXTBSY) << std::strerror(err);
        EXPECT_EQ(brenwick::WriteErrorText(err), "the file is in use by another program");
    }
    EXPECT_EQ(Contents(target), "earlier export");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Root()), {}), 1)
        << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Image, HeldTarget,
                         ::testing::Values(
                             // The first open for writing is refused already.
                             HeldCase{"shared_for_reading", FILE_SHARE_READ},
                             // Opened for writing, the file is found; only the move is refused.
                             HeldCase{"shared_for_reading_and_writing", FILE_SHARE_READ | FILE_SHARE_WRITE}),
                         CaseName<HeldCase>);

} // namespace
