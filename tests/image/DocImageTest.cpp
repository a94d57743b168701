#include "protocol/BrenwickDoc.h"
#include "support/Firmware.h"
#include "support/HexText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <tuple>

using namespace brenwick;

namespace {

std::vector<uint8_t> Sam7App(size_t size, uint32_t firstWord = firmware::kSam7Word) {
    return firmware::Application(size, firstWord, 0);
}

class DocImage : public ::testing::Test {
  protected:
    void SetUp() override { g_ProjectFilePath.clear(); }
    void TearDown() override { g_ProjectFilePath.clear(); }

    CTempDir m_Dir;
    CBrenwickDoc m_Doc;
};

TEST_F(DocImage, OpenAndReloadFollowTheFileStampForTheDevicesGeometryAndAFailureKeepsTheProjectPath) {
    const auto app = Sam7App(0x100);
    const auto good = m_Dir.Write("good.bin", app);
    ASSERT_TRUE(m_Doc.OnOpenDocument(good));
    EXPECT_EQ(g_ProjectFilePath, good);
    EXPECT_EQ(m_Doc.m_FileLoaded, 1);
    EXPECT_EQ(m_Doc.PathName(), good);
    EXPECT_EQ(m_Doc.m_Firmware.m_Image[0x403C], app[0x3C]); // no geometry yet: not stamped
    EXPECT_EQ(m_Doc.m_Firmware.WordAt(0x4100), 0xFFFFFFFFu);

    // A reload reads the file's current contents, and stamps them once the device's geometry is known.
    auto changed = Sam7App(0x200);
    changed[0x80] = 0x77;
    m_Dir.Write("good.bin", changed);
    m_Doc.m_FlashSize = 0x40000;
    m_Doc.m_BootLength = 0x4000;
    ASSERT_TRUE(m_Doc.ReloadImage());
    EXPECT_EQ(m_Doc.m_Firmware.m_ImageLen, 0x4200);
    EXPECT_EQ(m_Doc.m_Firmware.m_Image[0x4080], 0x77);
    EXPECT_EQ(m_Doc.m_Firmware.WordAt(0x403C), 0x4200u);
    EXPECT_NE(m_Doc.m_Firmware.WordAt(0x4200), 0xFFFFFFFFu);

    // A stamp that refuses the file fails the load, and nothing of the refused family stays behind.
    EXPECT_FALSE(m_Doc.LoadFirmware(m_Dir.Write("big.bin", Sam7App(0x3BFFD, firmware::kCortexWord))));
    EXPECT_EQ(m_Doc.LastLoadResult().error, LoadError::TooLarge);
    EXPECT_EQ(m_Doc.m_Firmware.m_InfoOffset, 0u);
    EXPECT_EQ(m_Doc.m_Firmware.m_FlashBase, 0x100000u);

    EXPECT_FALSE(m_Doc.OnOpenDocument(m_Dir.Write("bad.hex", ":10")));
    EXPECT_EQ(g_ProjectFilePath, good);
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
    EXPECT_EQ(m_Doc.m_Firmware.m_ImageLen, 0);
    EXPECT_FALSE(m_Doc.ReloadImage()); // Start does nothing until a file loads again

    ASSERT_TRUE(m_Doc.OnOpenDocument(good));
    std::filesystem::remove(good);
    EXPECT_FALSE(m_Doc.ReloadImage());
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
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

    for (const std::string& last : {m_Dir.Path("gone.bin"), std::string()}) {
        CBrenwickDoc fresh;
        g_ProjectFilePath = last;
        ASSERT_TRUE(fresh.OnNewDocument());
        EXPECT_EQ(fresh.m_FileLoaded, 0);
        EXPECT_TRUE(g_ProjectFilePath.empty());
    }
}

TEST_F(DocImage, MakeBinWritesTheStampedApplicationArea) {
    // Highest data byte at image offset 0x5234: image length 0x5238, a file of 0x123C bytes.
    const auto app = Sam7App(0x1235);
    g_ProjectFilePath = m_Dir.Write("fw.hex", hex_text::FileFor(0x104000, app));
    const auto out = m_Dir.Write("Firm_xxx.bin", std::string("old contents"));

    const MakeBinOutcome outcome = m_Doc.MakeBin(out);
    ASSERT_EQ(outcome.status, MakeBinStatus::Written);
    EXPECT_EQ(outcome.bytes, 0x123Cu);
    const auto flash = firmware::ExpectedFlash(app, 0, firmware::kImageSize, firmware::kImageSize);
    EXPECT_TRUE(ReadFileBytes(out) == std::vector<uint8_t>(flash.begin() + 0x4000, flash.begin() + 0x523C))
        << "the file differs from the stamped application area";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_Dir.Root()), {}), 2)
        << "a temporary file was left behind";
    // The export leaves the device's geometry, the document's image and the loaded flag alone: a run that
    // follows at once uses what the device reported.
    EXPECT_EQ(m_Doc.m_FlashSize, 0);
    EXPECT_EQ(m_Doc.m_BootLength, 0);
    EXPECT_EQ(m_Doc.m_Firmware.m_ImageLen, 0);
    EXPECT_EQ(m_Doc.m_FileLoaded, 0);
}

TEST_F(DocImage, MakeBinFailuresLeaveAnEarlierOutputAlone) {
    const auto out = m_Dir.Write("Firm_xxx.bin", std::string("earlier export"));
    const std::tuple<std::string, std::string, MakeBinStatus, int> cases[] = {
        {m_Dir.Path("missing.hex"), out, MakeBinStatus::LoadFailed, 0},
        {"", out, MakeBinStatus::NoFile, 0},
        {m_Dir.Write("fw.bin", Sam7App(0x100)), m_Dir.Path("no-such-folder/Firm_xxx.bin"),
         MakeBinStatus::WriteFailed, ENOENT}};
    for (const auto& [project, output, status, errnoValue] : cases) {
        SCOPED_TRACE(project);
        g_ProjectFilePath = project;
        const MakeBinOutcome outcome = m_Doc.MakeBin(output);
        EXPECT_EQ(outcome.status, status);
        EXPECT_EQ(outcome.errnoValue, errnoValue);
    }
    const auto bytes = ReadFileBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "earlier export");
}

} // namespace
