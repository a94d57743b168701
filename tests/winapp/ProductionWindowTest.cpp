// brenwick.exe's production view, run for real against simulated devices reached as COM ports (under Wine,
// from scripts/test-windows): the switch from the panel and back, a board flashed byte for byte, the boards
// that fail, the counters and the flash log. The test hands the view its devices as the device watcher would.
#include "support/Firmware.h"
#include "winapp/WindowRig.h"

#include <commctrl.h>
#include <fstream>
#include <iterator>
#include <vector>

using namespace brenwick;
using namespace brenwick::winapp;
using namespace brenwick::winapp::test;

namespace {

// The devices the test plugs in, told to the view's sink while the view takes devices.
class CHandedDevices {
  public:
    DeviceSourceFactory Factory() {
        return [this](DeviceSink sink) {
            std::lock_guard lock(m_Lock);
            m_Sink = std::move(sink);
            ++m_Sources;
            return std::make_unique<Source>(*this);
        };
    }
    // False while the view takes no devices.
    bool Plug(const std::string& com) {
        std::lock_guard lock(m_Lock);
        if (!m_Sink) {
            return false;
        }
        serial::SerialPortInfo port;
        port.path = com;
        m_Sink({{DeviceEvent::Kind::Appeared, port}});
        return true;
    }
    int Sources() {
        std::lock_guard lock(m_Lock);
        return m_Sources;
    }

  private:
    struct Source : IDeviceSource {
        explicit Source(CHandedDevices& owner) : m_Owner(owner) {}
        ~Source() override {
            std::lock_guard lock(m_Owner.m_Lock);
            m_Owner.m_Sink = nullptr;
        }
        CHandedDevices& m_Owner;
    };
    std::mutex m_Lock;
    DeviceSink m_Sink;
    int m_Sources = 0;
};

// The runs the view logged; refuses to log them when given a reason.
class CLog {
  public:
    explicit CLog(std::string refusal = {}) : m_Refusal(std::move(refusal)) {}
    FlashLogWriter Writer() {
        return [this](const station::BoardEnd& end, std::string* error) {
            std::lock_guard lock(m_Lock);
            m_Ends.push_back(end);
            *error = m_Refusal;
            return m_Refusal.empty();
        };
    }
    std::vector<station::BoardEnd> Ends() {
        std::lock_guard lock(m_Lock);
        return m_Ends;
    }

  private:
    std::string m_Refusal;
    std::mutex m_Lock;
    std::vector<station::BoardEnd> m_Ends;
};

struct Firmware {
    CTempDir dir;
    std::vector<uint8_t> app = firmware::Application(0x6100, firmware::kSam7Word, 0);
    std::string path = firmware::Write(dir, "board.hex", app, true);
    std::vector<uint8_t> flash = firmware::ExpectedFlash(app, 0, 0x40000, 256);
};

HWND ProductionForm(const CWindowRig& window) {
    return ::GetDlgItem(window.Frame(), IDD_PRODUCTION_FORM);
}

std::string Cell(const CWindowRig& window, int row, panel::ProductionColumn column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = static_cast<int>(column);
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(::GetDlgItem(ProductionForm(window), IDC_BOARD_LIST), LVM_GETITEMTEXTW,
                   static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return Narrow(text);
}

std::string FormText(const CWindowRig& window, int id) {
    return TextOf(::GetDlgItem(ProductionForm(window), id));
}

bool ProductionShown(const CWindowRig& window) {
    return ::IsWindowVisible(ProductionForm(window)) != 0 && ::IsWindowVisible(window.Form()) == 0 &&
           (::GetMenuState(::GetMenu(window.Frame()), ID_VIEW_PRODUCTION, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool PanelShown(const CWindowRig& window) {
    return ::IsWindowVisible(window.Form()) != 0 && ::IsWindowVisible(ProductionForm(window)) == 0 &&
           (::GetMenuState(::GetMenu(window.Frame()), ID_VIEW_PRODUCTION, MF_BYCOMMAND) & MF_CHECKED) == 0;
}

HWND WaitForBox(HWND owner) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            HWND popup = ::GetLastActivePopup(owner);
            found = popup != owner && TextOf(popup) == "Brenwick" ? popup : nullptr;
            return found != nullptr;
        },
        10000);
    return found;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The panel on line goes off line for the view; leaving while a board is programmed asks, and "No" keeps the
// run going to its end; the board is flashed byte for byte, counted and logged; then back to the panel.
TEST(Production, SwitchesFromThePanelAndFlashesABoardThatComes) {
    REQUIRE_DEVICES();
    const Firmware file;
    const std::string com = FromScript("BRENWICK_TEST_DEVICE_COM");
    CHandedDevices devices;
    CLog log;
    CWindowRig window({com, "", file.path}, devices.Factory(), log.Writer());
    window.Click(IDC_ONLINE);
    ASSERT_TRUE(window.WaitForStatus("Connected"));

    window.Command(ID_VIEW_PRODUCTION);
    ASSERT_TRUE(WaitUntil([&] { return ProductionShown(window); }, 10000));
    ASSERT_TRUE(window.WaitForStatus("Off Line")); // the panel let the port go
    EXPECT_EQ(FormText(window, IDC_FIRMWARE), "Firmware: " + file.path);
    ASSERT_TRUE(WaitUntil([&] { return devices.Plug(com); }, 10000));

    // Queued behind the device: the board is being programmed when the view is asked to go.
    window.Command(ID_VIEW_PRODUCTION);
    HWND box = WaitForBox(window.Frame());
    ASSERT_NE(box, nullptr) << "no question while a board is programmed";
    ::PostMessageW(box, WM_COMMAND, IDNO, 0);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindow(box) == 0; }, 10000));
    EXPECT_TRUE(ProductionShown(window));

    using Column = panel::ProductionColumn;
    ASSERT_TRUE(WaitUntil([&] { return Cell(window, 0, Column::State) == "Passed"; }, 60000))
        << Cell(window, 0, Column::State) << ": " << Cell(window, 0, Column::Outcome);
    EXPECT_EQ(Cell(window, 0, Column::Port), com);
    EXPECT_EQ(Cell(window, 0, Column::SerialNumber), "SIM000001");
    EXPECT_EQ(Cell(window, 0, Column::Progress), "100 %");
    EXPECT_EQ(FormText(window, IDC_COUNTERS), "Passed: 1  Failed: 0");
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadAll(WinePath(FromScript("BRENWICK_TEST_DEVICE_FLASH"))) == file.flash; }, 10000))
        << "the device's flash is not the stamped image";
    const auto ends = log.Ends();
    ASSERT_EQ(ends.size(), 1U);
    EXPECT_EQ(ends[0].result, station::SessionResult::Succeeded);
    EXPECT_EQ(ends[0].device.serialNumber, "SIM000001");
    EXPECT_EQ(FormText(window, IDC_LOG_TROUBLE), "");

    window.Command(ID_VIEW_PRODUCTION); // nothing runs: no question
    EXPECT_TRUE(WaitUntil([&] { return PanelShown(window); }, 10000));
}

// A board that fails is told in its row, counted, and logged; a log that cannot be written is said.
TEST(Production, FailedBoardsAreToldCountedAndLogged) {
    REQUIRE_DEVICES();
    const struct {
        const char* name;
        const char* portVariable;
        station::SessionResult result;
        std::string logRefusal;
    } cases[] = {
        {"refused page", "BRENWICK_TEST_REFUSING_COM", station::SessionResult::DeviceError, ""},
        {"missing port", "BRENWICK_TEST_MISSING_COM", station::SessionResult::PortFailed, "the disk is full"},
    };
    const Firmware file;
    using Column = panel::ProductionColumn;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string com = FromScript(c.portVariable);
        ASSERT_FALSE(com.empty()) << c.portVariable;
        CHandedDevices devices;
        CLog log(c.logRefusal);
        CWindowRig window({"COM4", "", file.path}, devices.Factory(), log.Writer());
        window.Command(ID_VIEW_PRODUCTION);
        ASSERT_TRUE(WaitUntil([&] { return devices.Plug(com); }, 10000));
        ASSERT_TRUE(WaitUntil([&] { return Cell(window, 0, Column::State) == "Failed"; }, 60000))
            << Cell(window, 0, Column::State);
        EXPECT_EQ(Cell(window, 0, Column::Outcome).rfind(station::ResultText(c.result), 0), 0U)
            << Cell(window, 0, Column::Outcome);
        EXPECT_EQ(FormText(window, IDC_COUNTERS), "Passed: 0  Failed: 1");
        const auto ends = log.Ends();
        ASSERT_EQ(ends.size(), 1U);
        EXPECT_EQ(ends[0].result, c.result);
        const std::string trouble = FormText(window, IDC_LOG_TROUBLE);
        EXPECT_EQ(trouble.empty(), c.logRefusal.empty()) << trouble;
        EXPECT_NE(trouble.find(c.logRefusal), std::string::npos) << trouble;
    }
}

// Without a firmware file the view says so and takes no devices.
TEST(Production, NoFirmwareNoStart) {
    REQUIRE_DISPLAY();
    CHandedDevices devices;
    CWindowRig window({"COM4", "", ""}, devices.Factory());
    window.Command(ID_VIEW_PRODUCTION);
    ASSERT_TRUE(WaitUntil([&] { return ProductionShown(window); }, 10000));
    EXPECT_EQ(FormText(window, IDC_FIRMWARE), panel::kNoFirmwareText);
    EXPECT_EQ(devices.Sources(), 0);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(ProductionForm(window), IDC_START_BOARD)));
}

} // namespace
