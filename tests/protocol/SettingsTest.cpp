#include "protocol/BrenwickDoc.h"
#include "protocol/SettingsStore.h"

#include <gtest/gtest.h>
#include <optional>

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

TEST(Settings, AFailedWriteIsReportedAndWritesNothingMore) {
    CMemorySettingsStore store;
    store.m_FailWrites = true;
    CBrenwickDoc doc;
    doc.SetPortSettings("/dev/ttyACM1", 4);
    EXPECT_EQ(doc.SaveSettings(store), 0);
    EXPECT_FALSE(store.GetString("Settings\\Ints", "m_ComBaudrateIndex").has_value());
}

} // namespace
