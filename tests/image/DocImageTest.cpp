#include "document/BrenwickDoc.h"
#include "document/Project.h"
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

class Project : public ::testing::Test {
  protected:
    CTempDir m_Dir;
    CProject m_Project;
    FlashLayout m_Layout; // none reported yet
};

TEST_F(Project, OpenAndReloadFollowTheFileStampForTheDevicesGeometryAndAFailureKeepsTheProjectPath) {
    const auto app = Sam7App(0x100);
    const auto good = m_Dir.Write("good.bin", app);
    ASSERT_TRUE(m_Project.OnOpenDocument(good, m_Layout));
    EXPECT_EQ(m_Project.FilePath(), good);
    EXPECT_TRUE(m_Project.IsLoaded());
    EXPECT_EQ(m_Project.PathName(), good);
    EXPECT_EQ(m_Project.Image().m_Image[0x403C], app[0x3C]); // no geometry yet: not stamped
    EXPECT_EQ(m_Project.Image().WordAt(0x4100), 0xFFFFFFFFu);

    // A reload reads the file's current contents, and stamps them once the device's geometry is known.
    auto changed = Sam7App(0x200);
    changed[0x80] = 0x77;
    m_Dir.Write("good.bin", changed);
    m_Layout = {0x40000, 0x4000};
    ASSERT_TRUE(m_Project.ReloadImage(m_Layout));
    EXPECT_EQ(m_Project.Image().m_ImageLen, 0x4200);
    EXPECT_EQ(m_Project.Image().m_Image[0x4080], 0x77);
    EXPECT_EQ(m_Project.Image().WordAt(0x403C), 0x4200u);
    EXPECT_NE(m_Project.Image().WordAt(0x4200), 0xFFFFFFFFu);

    // A stamp that refuses the file fails the load, and nothing of the refused family stays behind.
    EXPECT_FALSE(
        m_Project.LoadFirmware(m_Dir.Write("big.bin", Sam7App(0x3BFFD, firmware::kCortexWord)), m_Layout));
    EXPECT_EQ(m_Project.LastLoadResult().error, LoadError::TooLarge);
    EXPECT_EQ(m_Project.Image().m_InfoOffset, 0u);
    EXPECT_EQ(m_Project.Image().m_FlashBase, 0x100000u);

    EXPECT_FALSE(m_Project.OnOpenDocument(m_Dir.Write("bad.hex", ":10"), m_Layout));
    EXPECT_EQ(m_Project.FilePath(), good);
    EXPECT_FALSE(m_Project.IsLoaded());
    EXPECT_EQ(m_Project.Image().m_ImageLen, 0);
    EXPECT_FALSE(m_Project.ReloadImage(m_Layout)); // Start does nothing until a file loads again

    ASSERT_TRUE(m_Project.OnOpenDocument(good, m_Layout));
    std::filesystem::remove(good);
    EXPECT_FALSE(m_Project.ReloadImage(m_Layout));
    EXPECT_FALSE(m_Project.IsLoaded());
}

TEST_F(Project, StartUpReloadsTheLastFileOnceAndForgetsOneThatNoLongerLoads) {
    const auto path = m_Dir.Write("fw.bin", Sam7App(0x100));
    m_Project.SetFilePath(path);
    ASSERT_TRUE(m_Project.OnNewDocument(m_Layout));
    EXPECT_TRUE(m_Project.IsLoaded());
    // A later File New only clears the loaded flag.
    ASSERT_TRUE(m_Project.OnNewDocument(m_Layout));
    EXPECT_FALSE(m_Project.IsLoaded());
    EXPECT_EQ(m_Project.FilePath(), path);

    for (const std::string& last : {m_Dir.Path("gone.bin"), std::string()}) {
        CProject fresh;
        fresh.SetFilePath(last);
        ASSERT_TRUE(fresh.OnNewDocument(m_Layout));
        EXPECT_FALSE(fresh.IsLoaded());
        EXPECT_TRUE(fresh.FilePath().empty());
    }
}

TEST_F(Project, MakeBinWritesTheStampedApplicationArea) {
    // Highest data byte at image offset 0x5234: image length 0x5238, a file of 0x123C bytes.
    const auto app = Sam7App(0x1235);
    m_Project.SetFilePath(m_Dir.Write("fw.hex", hex_text::FileFor(0x104000, app)));
    const auto out = m_Dir.Write("Firm_xxx.bin", std::string("old contents"));

    const MakeBinOutcome outcome = m_Project.MakeBin(out);
    ASSERT_EQ(outcome.status, MakeBinStatus::Written);
    EXPECT_EQ(outcome.bytes, 0x123Cu);
    const auto flash = firmware::ExpectedFlash(app, 0, firmware::kImageSize, firmware::kImageSize);
    EXPECT_TRUE(ReadFileBytes(out) == std::vector<uint8_t>(flash.begin() + 0x4000, flash.begin() + 0x523C))
        << "the file differs from the stamped application area";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_Dir.Root()), {}), 2)
        << "a temporary file was left behind";
    // The export leaves the project's image and the loaded flag alone: a run that follows uses its own.
    EXPECT_EQ(m_Project.Image().m_ImageLen, 0);
    EXPECT_FALSE(m_Project.IsLoaded());
}

TEST_F(Project, MakeBinFailuresLeaveAnEarlierOutputAlone) {
    const auto out = m_Dir.Write("Firm_xxx.bin", std::string("earlier export"));
    const std::tuple<std::string, std::string, MakeBinStatus, int> cases[] = {
        {m_Dir.Path("missing.hex"), out, MakeBinStatus::LoadFailed, 0},
        {"", out, MakeBinStatus::NoFile, 0},
        {m_Dir.Write("fw.bin", Sam7App(0x100)), m_Dir.Path("no-such-folder/Firm_xxx.bin"),
         MakeBinStatus::WriteFailed, ENOENT}};
    for (const auto& [project, output, status, errnoValue] : cases) {
        SCOPED_TRACE(project);
        m_Project.SetFilePath(project);
        const MakeBinOutcome outcome = m_Project.MakeBin(output);
        EXPECT_EQ(outcome.status, status);
        EXPECT_EQ(outcome.errnoValue, errnoValue);
    }
    const auto bytes = ReadFileBytes(out);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "earlier export");
}

// Two documents in one process (the command line's flash with two ports): each reloads its own file.
TEST_F(Project, EachDocumentReloadsItsOwnFile) {
    const auto appA = Sam7App(0x100);
    const auto appB = Sam7App(0x300);
    CBrenwickDoc a;
    CBrenwickDoc b;
    ASSERT_TRUE(a.OnOpenDocument(m_Dir.Write("a.bin", appA)));
    ASSERT_TRUE(b.OnOpenDocument(m_Dir.Write("b.bin", appB)));
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(a.ReloadImage());
        ASSERT_TRUE(b.ReloadImage());
        EXPECT_EQ(a.ProjectFilePath(), m_Dir.Path("a.bin"));
        EXPECT_EQ(b.ProjectFilePath(), m_Dir.Path("b.bin"));
        EXPECT_EQ(a.BytesToSend(0x4000, 4), 0x100 + 4) << "document A holds another file's image";
        EXPECT_EQ(b.BytesToSend(0x4000, 4), 0x300 + 4) << "document B holds another file's image";
    }
}

} // namespace
