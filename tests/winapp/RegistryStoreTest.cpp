// The Windows program's settings in the registry (run under Wine, in a key of the test's own): every value a
// string under its section's key, the port as its COM number, and the recent files.
#include "winapp/RegistryStore.h"

#include "base/win32/Utf16.h"
#include "document/PortSettings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

using namespace brenwick;
using namespace brenwick::winapp;

namespace {

// A settings key of this test's own, removed with everything below it at the end.
class RegistryStore : public testing::Test {
  protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    void Clear() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kRoot).c_str()); }

    // A value as the registry holds it, read past the store: its text, or "absent".
    static std::string Raw(const std::string& section, const std::string& name) {
        wchar_t text[512] = {};
        DWORD size = sizeof text;
        if (::RegGetValueW(HKEY_CURRENT_USER, Widen(kRoot + "\\" + section).c_str(), Widen(name).c_str(),
                           RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
            return "absent";
        }
        return Narrow(text);
    }
    static void PutRaw(const std::string& section, const std::string& name, const std::string& value) {
        const std::wstring text = Widen(value);
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, Widen(kRoot + "\\" + section).c_str(),
                                    Widen(name).c_str(), REG_SZ, text.c_str(),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    static inline const std::string kRoot = "Software\\Veltmark\\BrenwickRegistryTest";
    CRegistryStore m_Store{kRoot};
};

TEST_F(RegistryStore, ValuesAreStringsUnderTheirSectionsKeys) {
    EXPECT_EQ(m_Store.GetString(store_key::kFilePaths, store_key::kProjectFilePath), std::nullopt);
    const std::string path = "C:\\Firmware\\\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.hex"; // "été €"
    ASSERT_TRUE(m_Store.PutString(store_key::kFilePaths, store_key::kProjectFilePath, path));
    EXPECT_EQ(m_Store.GetString(store_key::kFilePaths, store_key::kProjectFilePath), path);
    EXPECT_EQ(Raw("FilePaths", "g_ProjectFilePath"), path);
    ASSERT_TRUE(m_Store.PutString("WindowPos", "WindowPos", "32768:1:0:0:0:0:100:100:420:300"));
    EXPECT_EQ(Raw("WindowPos", "WindowPos"), "32768:1:0:0:0:0:100:100:420:300");
    ASSERT_TRUE(m_Store.PutString(store_key::kIntsSection, store_key::kBaudIndex, "10"));
    EXPECT_EQ(Raw("Settings\\Ints", "m_ComBaudrateIndex"), "10");
    const std::string longText(3000, 'x'); // longer than a first guess at its size
    ASSERT_TRUE(m_Store.PutString("FilePaths", "long", longText));
    EXPECT_EQ(m_Store.GetString("FilePaths", "long"), longText);
}

// A plain COM port is kept as its number; any other name by its name, which then wins over the number until
// a plain COM port is written again.
TEST_F(RegistryStore, ThePortIsKeptAsItsComNumber) {
    const struct {
        std::string written;
        std::string number; // "Settings\Ints"/"m_ActiveComPort"
        std::string name;   // "Settings\Strings"/"m_ActivePortName"
        std::string readBack;
    } steps[] = {
        {"COM7", "7", "absent", "COM7"}, {"\\\\.\\COM12", "12", "absent", "COM12"},
        {"com3", "3", "absent", "COM3"}, {"\\\\.\\CNCA0", "3", "\\\\.\\CNCA0", "\\\\.\\CNCA0"},
        {"COM4", "4", "absent", "COM4"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.written);
        ASSERT_TRUE(m_Store.PutString(store_key::kStringsSection, store_key::kPortName, step.written));
        EXPECT_EQ(Raw("Settings\\Ints", "m_ActiveComPort"), step.number);
        EXPECT_EQ(Raw("Settings\\Strings", "m_ActivePortName"), step.name);
        EXPECT_EQ(m_Store.GetString(store_key::kStringsSection, store_key::kPortName), step.readBack);
    }
}

// The stored number is read with "%i"; a text that is no number means COM1; nothing stored lets the program
// choose.
TEST_F(RegistryStore, AStoredNumberIsReadWithItsOwnRules) {
    EXPECT_EQ(m_Store.GetString(store_key::kStringsSection, store_key::kPortName), std::nullopt);
    for (const auto& [stored, port] : std::vector<std::pair<std::string, std::string>>{
             {"0x10", "COM16"}, {"010", "COM8"}, {"5 and more", "COM5"}, {"abc", "COM1"}}) {
        PutRaw("Settings\\Ints", "m_ActiveComPort", stored);
        EXPECT_EQ(m_Store.GetString(store_key::kStringsSection, store_key::kPortName), port) << stored;
    }
}

// The document's own settings go through the store and come back.
TEST_F(RegistryStore, TheDocumentsPortSettingsRoundTrip) {
    CPortSettings written;
    written.Set("COM9", 4);
    ASSERT_EQ(written.SaveSettings(m_Store), 1);
    EXPECT_EQ(Raw("Settings\\Ints", "m_ActiveComPort"), "9");
    EXPECT_EQ(Raw("Settings\\Ints", "m_ComBaudrateIndex"), "4");
    CPortSettings read;
    read.LoadSettings(m_Store);
    EXPECT_EQ(read.Current().portName, "COM9");
    EXPECT_EQ(read.Current().baudIndex, 4);
}

TEST_F(RegistryStore, RecentFilesAreFile1ToFile3) {
    EXPECT_TRUE(m_Store.RecentFiles().empty());
    ASSERT_TRUE(m_Store.PutRecentFiles({"C:\\a.hex", "C:\\b.bin", "C:\\c.hex"}));
    EXPECT_EQ(Raw("Recent File List", "File1"), "C:\\a.hex");
    EXPECT_EQ(Raw("Recent File List", "File3"), "C:\\c.hex");
    ASSERT_TRUE(m_Store.PutRecentFiles({"C:\\d.hex"}));
    EXPECT_EQ(m_Store.RecentFiles(), (std::vector<std::string>{"C:\\d.hex"}));
    EXPECT_EQ(Raw("Recent File List", "File2"), "absent"); // a shorter list leaves no stale entries
}

} // namespace
