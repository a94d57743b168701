// The device watcher on a serial device list of the test's own under HKEY_CURRENT_USER (run under Wine): each
// value's data a COM name, as in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, with values and the key itself coming
// and going.
#include "base/win32/Utf16.h"
#include "serial/DeviceWatcher.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <windows.h>

using namespace brenwick;
using namespace brenwick::serial;
using namespace std::chrono_literals;

namespace {

const std::string kRoot = "Software\\Veltmark\\BrenwickWatcherTest";
const std::string kList = kRoot + "\\SERIALCOMM";

void Put(const std::string& name, const std::string& port) {
    const std::wstring text = Widen(port);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, Widen(kList).c_str(), Widen(name).c_str(), REG_SZ,
                                text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

void Delete(const std::string& name) {
    ASSERT_EQ(::RegDeleteKeyValueW(HKEY_CURRENT_USER, Widen(kList).c_str(), Widen(name).c_str()),
              ERROR_SUCCESS);
}

void DeleteList() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kRoot).c_str());
}

// "+COM5" appeared, "-COM5" went; a byId (there should be none) follows after a space.
std::vector<std::string> Collect(CDeviceWatcher& watcher, size_t count) {
    std::vector<std::string> shown;
    const auto limit = std::chrono::steady_clock::now() + 10s; // a limit, never a measure of speed
    while (shown.size() < count && std::chrono::steady_clock::now() < limit) {
        for (const DeviceEvent& event : watcher.Wait(
                 std::chrono::ceil<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now()))) {
            shown.push_back((event.kind == DeviceEvent::Kind::Appeared ? "+" : "-") + event.port.path +
                            (event.port.byId.empty() ? "" : " " + event.port.byId));
        }
    }
    return shown;
}

TEST(DeviceWatcherRegistry, ReportsEachComNameThatCameOrWentAsItsKeyAndValuesChange) {
    DeleteList();
    CDeviceWatcher watcher(kList);
    ASSERT_EQ(watcher.Error(), "");
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected; // an empty step's strays show as extra events of the next one
    } steps[] = {
        {"the key is missing at the start", [] {}, {}},
        {"the key made with one value", [] { Put("\\Device\\Test0", "COM250"); }, {"+COM250"}},
        {"two more values",
         [] {
             Put("\\Device\\Test2", "COM252");
             Put("\\Device\\Test1", "COM251");
         },
         {"+COM251", "+COM252"}},
        {"a value deleted", [] { Delete("\\Device\\Test0"); }, {"-COM250"}},
        {"a value that names another port", [] { Put("\\Device\\Test1", "COM253"); }, {"-COM251", "+COM253"}},
        {"a value rewritten with its port", [] { Put("\\Device\\Test2", "COM252"); }, {}},
        {"a value that is no port", [] { Put("\\Device\\Test3", ""); }, {}},
        {"the key deleted", DeleteList, {"-COM252", "-COM253"}},
        {"the key made again", [] { Put("\\Device\\Test4", "\\\\.\\COM254"); }, {"+\\\\.\\COM254"}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(Collect(watcher, step.expected.size()), step.expected);
    }
    DeleteList();
}

TEST(DeviceWatcherRegistry, DevicesPresentAtTheStartComeFirstAndWakeEndsAWait) {
    DeleteList();
    Put("\\Device\\Test0", "COM250");
    CDeviceWatcher watcher(kList);
    ASSERT_EQ(watcher.Error(), "");
    EXPECT_EQ(Collect(watcher, 1), std::vector<std::string>{"+COM250"});
    constexpr auto kLong = 120s; // reached only when Wake does nothing
    watcher.Wake();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(watcher.Wait(kLong).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, kLong);
    DeleteList();
}

TEST(DeviceWatcherRegistry, TheSystemListStartsWithThePortsListed) {
    CDeviceWatcher watcher;
    ASSERT_EQ(watcher.Error(), "");
    std::vector<std::string> listed;
    for (const SerialPortInfo& port : ListSerialPorts()) {
        listed.push_back("+" + port.path);
    }
    std::vector<std::string> appeared = Collect(watcher, listed.size());
    std::sort(listed.begin(), listed.end());
    std::sort(appeared.begin(), appeared.end());
    EXPECT_EQ(appeared, listed);
}

} // namespace
