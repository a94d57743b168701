// The settings file behind the desktop program (CQtSettingsStore) in a temporary config folder: a damaged
// file is moved aside at start, and whether the file can be written is told at start as the write at close
// will find it.
#include "app/QtSettingsStore.h"
#include "support/CaseName.h"
#include "support/TempDir.h"

#include <QSettings>
#include <QStandardPaths>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

using namespace brenwick::app;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

// A temporary folder whose `config` sub-folder is the user's config folder while the object lives. QSettings
// keeps the folder it found at its first use, so it is told directly.
struct CConfigDir : CTempDir {
    explicit CConfigDir(const std::string& config = "config") : m_Config(config) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(Path(config)));
    }
    ~CConfigDir() {
        // Folders made read-only by a test are opened again, so that they can be removed.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(Root(), ec); !ec && it != fs::end(it);
             it.increment(ec)) {
            if (it->is_directory(ec)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            }
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    std::string SettingsFile() const { return m_Config + "/Veltmark/Brenwick.conf"; }
    // Every path under the folder.
    std::set<fs::path> Listing() const {
        std::set<fs::path> paths;
        for (const auto& entry : fs::recursive_directory_iterator(Root())) {
            paths.insert(entry.path());
        }
        return paths;
    }
    void ReadOnly(const std::string& name) const {
        fs::permissions(Path(name), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::others_read);
    }

    std::string m_Config;
};

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

struct WritableCase {
    const char* name;
    const char* config;                     // the config folder, inside the test's folder
    void (*prepare)(const CConfigDir& dir); // what is there at start
    bool writable;
    bool asRoot; // false: only a user without root's right to write anywhere sees the difference
};
void PrintTo(const WritableCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsWritable : public ::testing::TestWithParam<WritableCase> {};

// The check at start foretells the write, and makes or leaves nothing itself.
TEST_P(SettingsWritable, IsToldAtStartAsTheWriteFindsIt) {
    const WritableCase& c = GetParam();
    if (!c.asRoot && ::geteuid() == 0) {
        GTEST_SKIP() << "root may write into any folder";
    }
    const CConfigDir dir(c.config);
    c.prepare(dir);
    const auto before = dir.Listing();
    CQtSettingsStore store;
    ASSERT_EQ(store.FileName().toStdString(), dir.Path(dir.SettingsFile()));
    EXPECT_EQ(store.IsWritable(), c.writable);
    EXPECT_EQ(dir.Listing(), before) << "the check made or left something behind";

    EXPECT_EQ(store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "5"), c.writable);
    if (c.writable) {
        const QSettings written(QString::fromStdString(dir.Path(dir.SettingsFile())), QSettings::IniFormat);
        EXPECT_EQ(written.value("Settings/Ints/m_ComBaudrateIndex").toString(), "5");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingsWritable,
    ::testing::Values(
        WritableCase{"no config folder", "config", [](const CConfigDir&) {}, true, true},
        WritableCase{"no folder up to the config folder", "home/.config", [](const CConfigDir&) {}, true,
                     true},
        WritableCase{"no settings folder", "config",
                     [](const CConfigDir& d) { fs::create_directories(d.Path("config")); }, true, true},
        WritableCase{"a settings file", "config",
                     [](const CConfigDir& d) { d.Write(d.SettingsFile(), "[General]\nx=1\n"); }, true, true},
        WritableCase{"a file where the config folder goes", "config",
                     [](const CConfigDir& d) { d.Write("config", ""); }, false, true},
        WritableCase{"a file where the settings folder goes", "config",
                     [](const CConfigDir& d) { d.Write("config/Veltmark", ""); }, false, true},
        WritableCase{"a folder where the settings file goes", "config",
                     [](const CConfigDir& d) { fs::create_directories(d.Path(d.SettingsFile())); }, false,
                     true},
        WritableCase{"a read-only settings folder with a writable file", "config",
                     [](const CConfigDir& d) {
                         d.Write(d.SettingsFile(), "[General]\nx=1\n");
                         d.ReadOnly("config/Veltmark");
                     },
                     false, false},
        WritableCase{"a read-only config folder without the settings folder", "config",
                     [](const CConfigDir& d) {
                         fs::create_directories(d.Path("config"));
                         d.ReadOnly("config");
                     },
                     false, false},
        WritableCase{"a read-only settings file", "config",
                     [](const CConfigDir& d) {
                         d.Write(d.SettingsFile(), "[General]\nx=1\n");
                         d.ReadOnly(d.SettingsFile());
                     },
                     false, false}),
    CaseName<WritableCase>);

struct DamageCase {
    const char* name;
    std::string text;
    bool damaged;
};
void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class DamagedSettings : public ::testing::TestWithParam<DamageCase> {};

// A damaged file would fail only at the first write, losing that value and every later one: it is kept
// aside at start (replacing an older one kept so) and the program starts on defaults, which are then
// written and read back.
TEST_P(DamagedSettings, AreKeptAsideAtStart) {
    const DamageCase& c = GetParam();
    const CConfigDir dir;
    const std::string file = dir.Write(dir.SettingsFile(), c.text);
    const std::string bad = dir.Write(dir.SettingsFile() + ".bad", c.damaged ? "an older damaged file" : "");
    CQtSettingsStore store;
    EXPECT_EQ(store.ReadFailed(), c.damaged);
    if (!c.damaged) {
        EXPECT_EQ(store.GetString("Settings\\Strings", "m_ActivePortName"), "/dev/ttyUSB3");
        EXPECT_EQ(ReadText(file), c.text) << "a sound file is left as it is";
        EXPECT_EQ(ReadText(bad), "");
        return;
    }
    EXPECT_EQ(ReadText(bad), c.text) << "the damaged file is kept aside as it was";
    EXPECT_EQ(store.GetString("Settings\\Strings", "m_ActivePortName"), std::nullopt);
    EXPECT_TRUE(store.IsWritable());
    EXPECT_TRUE(store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "7"));
    EXPECT_TRUE(store.PutString("Settings\\Strings", "m_ActivePortName", "/dev/ttyACM0"));
    EXPECT_NE(ReadText(file).find("m_ComBaudrateIndex=7"), std::string::npos) << ReadText(file);

    const CQtSettingsStore again; // the next start
    EXPECT_FALSE(again.ReadFailed());
}

const std::string kSound = "[Settings]\nStrings\\m_ActivePortName=/dev/ttyUSB3\n";

INSTANTIATE_TEST_SUITE_P(
    Settings, DamagedSettings,
    ::testing::Values(
        DamageCase{"sound", kSound + "[WindowPos]\nWindowPos=0:1:0:0:0:0:10:10:400:300\n", false},
        DamageCase{"tabs, CR LF line ends and UTF-8",
                   "[Settings]\r\nStrings\\m_ActivePortName=/dev/ttyUSB3\r\n"
                   "[FilePaths]\r\ng_ProjectFilePath=/home/j\xc3\xbcrgen/\xe2\x82\xac\tfw.hex\r\n",
                   false},
        DamageCase{"a NUL byte", kSound + "[WindowPos]\nWindowPos=0:1:0:0\0:0:0:0:400:300\n"s, true},
        DamageCase{"a control byte", kSound + "[WindowPos]\nWindowPos=0:1:0:0\x01:0:0:0:400:300\n", true},
        DamageCase{"an escape byte", kSound + "[FilePaths]\ng_ProjectFilePath=/tmp/\x1b[1mfw.hex\n", true},
        DamageCase{"a byte that is no UTF-8", kSound + "[FilePaths]\ng_ProjectFilePath=/tmp/\xff.hex\n",
                   true},
        DamageCase{"an overlong UTF-8 sequence",
                   kSound + "[FilePaths]\ng_ProjectFilePath=/tmp/\xc0\xaf.hex\n", true},
        DamageCase{"a UTF-8 sequence cut off at the end",
                   kSound + "[FilePaths]\ng_ProjectFilePath=/tmp/\xe2\x82", true}),
    CaseName<DamageCase>);

// Whatever the program writes, control characters and any Unicode included, is read back at the next start
// without being taken for damage.
TEST(SettingsFile, WhatTheProgramWroteIsNeverTakenForDamage) {
    const CConfigDir dir;
    const std::string values[] = {"tab\there",
                                  "line\nbreak\r\nand CR",
                                  "\x01\x02\x1b[1m\x7f",
                                  "j\xc3\xbcrgen \xe2\x82\xac \xf0\x9f\x94\xa7",
                                  "back\\slash ;semicolon \"quoted\" =equals",
                                  ""};
    {
        CQtSettingsStore store;
        for (size_t k = 0; k < std::size(values); ++k) {
            EXPECT_TRUE(store.PutString("Settings\\Strings", "value" + std::to_string(k), values[k]));
        }
    }
    CQtSettingsStore again;
    EXPECT_FALSE(again.ReadFailed()) << ReadText(dir.Path(dir.SettingsFile()));
    for (size_t k = 0; k < std::size(values); ++k) {
        EXPECT_EQ(again.GetString("Settings\\Strings", "value" + std::to_string(k)), values[k]);
    }
}

} // namespace
