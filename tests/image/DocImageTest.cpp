#include "protocol/BrenwickDoc.h"
#include "support/CaseName.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace brenwick;

namespace {

std::vector<uint8_t> Sam7App(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 13 + 5);
    }
    const uint8_t word[] = {0x18, 0xF0, 0x9F, 0xE5};
    std::copy(std::begin(word), std::end(word), bytes.begin());
    return bytes;
}

class DocImage : public ::testing::Test {
  protected:
    void SetUp() override { g_ProjectFilePath.clear(); }
    void TearDown() override { g_ProjectFilePath.clear(); }

    CTempDir m_Dir;
    CBrenwickDoc m_Doc;
};

TEST_F(DocImage, NothingIsStampedUntilTheDeviceReportsItsGeometry) {
    auto app = Sam7App(0x400);
    const auto path = m_Dir.Write("fw.bin", app);
    ASSERT_TRUE(m_Doc.OnOpenDocument(path));
    EXPECT_EQ(m_Doc.m_Firmware.m_Image[0x403C], app[0x3C]);
    EXPECT_EQ(m_Doc.m_Firmware.WordAt(0x4400), 0xFFFFFFFFu);

    m_Doc.m_FlashSize = 0x40000;
    m_Doc.m_BootLength = 0x4000;
    ASSERT_TRUE(m_Doc.ReloadImage());
    EXPECT_EQ(m_Doc.m_Firmware.WordAt(0x403C), 0x4400u);
    EXPECT_NE(m_Doc.m_Firmware.WordAt(0x4400), 0xFFFFFFFFu);
}

TEST_F(DocImage, AFailedOpenKeepsTheProjectPathButClearsTheLoadedFlag) {
    const auto good = m_Dir.Write("good.bin", Sam7App(0x100));
    ASSERT_TRUE(m_Doc.OnOpenDocument(good));
    EXPECT_EQ(g_ProjectFilePath, good);
    EXPECT_EQ(m_Doc.m_FileLoaded, 1);
    EXPECT_EQ(m_Doc.PathName(), good);

    EXPECT_FALSE(m_Doc.OnOpenDocument(m_Dir.Write("bad.hex", ":10")));
    EXPECT_EQ(g_ProjectFilePath, good);
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
    EXPECT_EQ(m_Doc.m_Firmware.m_ImageLen, 0);
    // Start does nothing until a file loads again.
    EXPECT_FALSE(m_Doc.ReloadImage());
}

TEST_F(DocImage, StartUpReloadsTheLastFileOnceAndForgetsOneThatNoLongerLoads) {
    const auto path = m_Dir.Write("fw.bin", Sam7App(0x100));
    g_ProjectFilePath = path;
    ASSERT_TRUE(m_Doc.OnNewDocument());
    EXPECT_EQ(m_Doc.m_FileLoaded, 1);
    EXPECT_EQ(m_Doc.m_FirstNewDoc, 0);
    // A later File New only clears the loaded flag.
    ASSERT_TRUE(m_Doc.OnNewDocument());
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
    EXPECT_EQ(g_ProjectFilePath, path);

    CBrenwickDoc fresh;
    g_ProjectFilePath = m_Dir.Path("gone.bin");
    ASSERT_TRUE(fresh.OnNewDocument());
    EXPECT_EQ(fresh.m_FileLoaded, 0);
    EXPECT_TRUE(g_ProjectFilePath.empty());

    CBrenwickDoc empty;
    ASSERT_TRUE(empty.OnNewDocument());
    EXPECT_EQ(empty.m_FileLoaded, 0);
    EXPECT_TRUE(g_ProjectFilePath.empty());
}

TEST_F(DocImage, ReloadReadsTheFilesCurrentContents) {
    const auto path = m_Dir.Write("fw.bin", Sam7App(0x100));
    ASSERT_TRUE(m_Doc.OnOpenDocument(path));
    auto changed = Sam7App(0x200);
    changed[0x80] = 0x77;
    m_Dir.Write("fw.bin", changed);
    ASSERT_TRUE(m_Doc.ReloadImage());
    EXPECT_EQ(m_Doc.m_Firmware.m_ImageLen, 0x4200);
    EXPECT_EQ(m_Doc.m_Firmware.m_Image[0x4080], 0x77);

    std::filesystem::remove(path);
    EXPECT_FALSE(m_Doc.ReloadImage());
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
}

TEST_F(DocImage, ABootAreaCoveringTheImageFailsTheLoad) {
    m_Doc.m_FlashSize = 0x40000;
    m_Doc.m_BootLength = 0x8000;
    EXPECT_FALSE(m_Doc.LoadFirmware(m_Dir.Write("fw.bin", Sam7App(0x100))));
    EXPECT_EQ(m_Doc.LastLoadResult().error, LoadError::BootAreaTooLarge);
    EXPECT_EQ(m_Doc.m_Firmware.m_ImageLen, 0);
}

TEST_F(DocImage, MakeBinWritesTheStampedApplicationArea) {
    // Highest data byte at image offset 0x5234: image length 0x5238, a file of 0x123C bytes.
    const auto app = Sam7App(0x1235);
    g_ProjectFilePath = m_Dir.Write("fw.hex", hex_text::FileFor(0x104000, app));
    const auto out = m_Dir.Path("Firm_xxx.bin");
    m_Dir.Write("Firm_xxx.bin", std::string("old contents"));

    const MakeBinOutcome outcome = m_Doc.MakeBin(out);
    ASSERT_EQ(outcome.status, MakeBinStatus::Written);
    const auto bytes = ReadFileBytes(out);
    ASSERT_EQ(bytes.size(), 0x123Cu);
    EXPECT_EQ(outcome.bytes, 0x123Cu);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 0x40, bytes.begin() + 0x1235),
              std::vector<uint8_t>(app.begin() + 0x40, app.end()));
    EXPECT_EQ(bytes[0x3C], 0x38);
    EXPECT_EQ(bytes[0x3D], 0x52);
    EXPECT_EQ(bytes[0x1235], 0xFF);
    EXPECT_EQ(bytes[0x1237], 0xFF);
    uint32_t sum = 0;
    for (size_t i = 0; i < 0x1238; ++i) {
        sum += bytes[i];
    }
    uint32_t stored = 0;
    for (size_t i = 0; i < 4; ++i) {
        stored |= static_cast<uint32_t>(bytes[0x1238 + i]) << (8 * i);
    }
    EXPECT_EQ(stored, sum);
    // The export overwrites the device geometry and leaves the loaded flag alone.
    EXPECT_EQ(m_Doc.m_FlashSize, 0x10000);
    EXPECT_EQ(m_Doc.m_BootLength, 0x4000);
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
}

TEST_F(DocImage, MakeBinLeavesAnEarlierOutputAloneWhenTheFileNoLongerLoads) {
    const auto out = m_Dir.Write("Firm_xxx.bin", std::string("earlier export"));
    g_ProjectFilePath = m_Dir.Path("missing.hex");
    EXPECT_EQ(m_Doc.MakeBin(out).status, MakeBinStatus::LoadFailed);
    g_ProjectFilePath.clear();
    EXPECT_EQ(m_Doc.MakeBin(out).status, MakeBinStatus::LoadFailed);
    const auto bytes = ReadFileBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "earlier export");
}

TEST_F(DocImage, MakeBinReportsAnOutputThatCannotBeWritten) {
    g_ProjectFilePath = m_Dir.Write("fw.bin", Sam7App(0x100));
    const MakeBinOutcome outcome = m_Doc.MakeBin(m_Dir.Path("no-such-folder/Firm_xxx.bin"));
    EXPECT_EQ(outcome.status, MakeBinStatus::WriteFailed);
    EXPECT_EQ(outcome.errnoValue, ENOENT);
}

TEST_F(DocImage, MakeBinLeavesNoTemporaryFilesBehind) {
    g_ProjectFilePath = m_Dir.Write("fw.bin", Sam7App(0x100));
    ASSERT_EQ(m_Doc.MakeBin(m_Dir.Path("out.bin")).status, MakeBinStatus::Written);
    ASSERT_EQ(m_Doc.MakeBin(m_Dir.Path("out.bin")).status, MakeBinStatus::Written);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_Dir.Root())) {
        ++files;
    }
    EXPECT_EQ(files, 2); // fw.bin and out.bin
}

TEST(DocMakeBinPath, LiesInTheHomeFolder) {
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(CBrenwickDoc::DefaultMakeBinPath(), std::string(home) + "/Firm_xxx.bin");
}

} // namespace

// A stamp that refuses the file makes the load a failed one: nothing of the refused family may stay behind.
struct RefusedStampCase {
    const char* name;
    uint32_t earlierWord; // the file that loaded before
    uint32_t refusedWord; // a file too large to stamp
    size_t refusedSize;
    uint32_t flashBase; // of the earlier file
};
void PrintTo(const RefusedStampCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class RefusedStamp : public ::testing::TestWithParam<RefusedStampCase> {};

TEST_P(RefusedStamp, LeavesTheFieldsOfTheLastGoodLoad) {
    const RefusedStampCase& c = GetParam();
    CTempDir dir;
    CBrenwickDoc doc;
    doc.m_FlashSize = 0x40000;
    doc.m_BootLength = 0x4000;
    auto app = [](size_t size, uint32_t word) {
        auto bytes = Sam7App(size);
        for (size_t k = 0; k < 4; ++k) {
            bytes[k] = static_cast<uint8_t>(word >> (8 * k));
        }
        return bytes;
    };
    ASSERT_TRUE(doc.LoadFirmware(dir.Write("earlier.bin", app(0x200, c.earlierWord))));
    ASSERT_EQ(doc.m_Firmware.m_FlashBase, c.flashBase);

    EXPECT_FALSE(doc.LoadFirmware(dir.Write("refused.bin", app(c.refusedSize, c.refusedWord))));
    EXPECT_EQ(doc.LastLoadResult().error, LoadError::TooLarge);
    EXPECT_EQ(doc.m_Firmware.m_ImageLen, 0);
    EXPECT_EQ(doc.m_Firmware.m_InfoOffset, 0u);
    EXPECT_EQ(doc.m_Firmware.m_FlashBase, c.flashBase);
}

INSTANTIATE_TEST_SUITE_P(
    Doc, RefusedStamp,
    ::testing::Values(RefusedStampCase{"cortex after sam7", 0xE59FF018, 0x20001000, 0x3BFFD, 0x100000},
                      RefusedStampCase{"sam7 after cortex", 0x20001000, 0xE59FF018, 0x3C000, 0},
                      RefusedStampCase{"cortex after cortex", 0x20001000, 0x20001000, 0x3BFFF, 0}),
    CaseName<RefusedStampCase>);
