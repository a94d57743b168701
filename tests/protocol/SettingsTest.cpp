#include "document/BrenwickDoc.h"
#include "support/MemorySettingsStore.h"

#include <gtest/gtest.h>
#include <optional>
#include <set>

using namespace brenwick;

namespace {

struct BaudIndexCase {
    std::optional<std::string> stored;
    int index;
};
void PrintTo(const BaudIndexCase& c, std::ostream* os) {
    *os << (c.stored ? "\"" + *c.stored + "\"" : std::string("absent")) << " gives " << c.index;
}

class StoredBaudIndex : public ::testing::TestWithParam<BaudIndexCase> {};

TEST_P(StoredBaudIndex, ReadsAsANumberOrTheDefault) {
    CMemorySettingsStore store;
    if (GetParam().stored) {
        store.PutString("Settings\\Ints", "m_ComBaudrateIndex", *GetParam().stored);
    }
    CBrenwickDoc doc;
    EXPECT_EQ(doc.LoadSettings(store), 1);
    EXPECT_EQ(doc.ComBaudrateIndex(), GetParam().index) << GetParam().stored.value_or("(absent)");
}

INSTANTIATE_TEST_SUITE_P(Settings, StoredBaudIndex,
                         ::testing::Values(BaudIndexCase{"9", 9}, BaudIndexCase{"0x3", 3},
                                           BaudIndexCase{"010", 8}, BaudIndexCase{" -2", -2},
                                           BaudIndexCase{"12 baud", 12}, BaudIndexCase{"COM3", 0},
                                           BaudIndexCase{"", 0}, BaudIndexCase{std::nullopt, 0},
                                           BaudIndexCase{"99999999999", 0}));

TEST(Settings, WithoutAStoredPortADevicePathIsChosen) {
    CMemorySettingsStore store;
    CBrenwickDoc doc;
    doc.LoadSettings(store);
#ifdef _WIN32
    const std::string devicePrefix = "COM"; // a port the drivers registered, or the first UART
#else
    const std::string devicePrefix = "/dev/";
#endif
    EXPECT_EQ(doc.ActivePortName().rfind(devicePrefix, 0), 0u) << doc.ActivePortName();
}

TEST(Settings, SaveWritesBothValuesAsText) {
    CMemorySettingsStore store;
    CBrenwickDoc doc;
    doc.SetPortSettings("/dev/serial/by-id/usb-Brenwick_Board-if00", 9);
    EXPECT_EQ(doc.SaveSettings(store), 1);
    EXPECT_EQ(store.GetString("Settings\\Strings", "m_ActivePortName"),
              "/dev/serial/by-id/usb-Brenwick_Board-if00");
    EXPECT_EQ(store.GetString("Settings\\Ints", "m_ComBaudrateIndex"), "9");

    CBrenwickDoc again;
    again.LoadSettings(store);
    EXPECT_EQ(again.ActivePortName(), "/dev/serial/by-id/usb-Brenwick_Board-if00");
    EXPECT_EQ(again.ComBaudrateIndex(), 9);
}

// A value that cannot be written does not keep the other from being written; any failure is reported.
TEST(Settings, AFailedWriteIsReportedAndTheOtherValueIsStillWritten) {
    const std::string port = "m_ActivePortName";
    const std::string baud = "m_ComBaudrateIndex";
    const struct {
        std::set<std::string> failing;
        int result;
        std::optional<std::string> storedPort;
        std::optional<std::string> storedBaud;
    } cases[] = {
        {{}, 1, "/dev/ttyACM1", "4"},
        {{port}, 0, std::nullopt, "4"},
        {{baud}, 0, "/dev/ttyACM1", std::nullopt},
        {{port, baud}, 0, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        testing::Message failing;
        for (const std::string& name : c.failing) {
            failing << name << " ";
        }
        SCOPED_TRACE(failing << "failing");
        CMemorySettingsStore store;
        store.m_FailNames = c.failing;
        CBrenwickDoc doc;
        doc.SetPortSettings("/dev/ttyACM1", 4);
        EXPECT_EQ(doc.SaveSettings(store), c.result);
        EXPECT_EQ(store.GetString("Settings\\Strings", port), c.storedPort);
        EXPECT_EQ(store.GetString("Settings\\Ints", baud), c.storedBaud);
    }
}

} // namespace
