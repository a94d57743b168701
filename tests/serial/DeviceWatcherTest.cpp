// The device watcher on a folder of links to real pseudo-terminals, as udev keeps /dev/serial/by-id: what is
// there at the start, links coming, going, dangling, replaced, and the folder itself coming and going.
#include "serial/DeviceWatcher.h"

#include "support/CaseName.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace brenwick::serial;
using namespace std::chrono_literals;

namespace fs = std::filesystem;

namespace {

// A limit for events that must come, never a measure of speed.
constexpr auto kPatience = 10s;

struct Rig {
    CTempDir temp;
    fs::path folder = temp.Root() / "serial" / "by-id";
    PtyPair ptys[3];

    void Link(const std::string& name, int pty) const { LinkTo(name, ptys[pty].path); }
    void LinkTo(const std::string& name, const fs::path& target) const {
        fs::create_directories(folder);
        fs::create_symlink(target, folder / name);
    }
    // A link made outside and renamed into the folder, over whatever has that name.
    void MoveIn(const std::string& name, int pty) const {
        fs::create_symlink(ptys[pty].path, temp.Root() / "incoming");
        fs::rename(temp.Root() / "incoming", folder / name);
    }
    void Remove(const std::string& name) const { fs::remove(folder / name); }

    // "+a=0": device `a` of the folder appeared on pty 0; "-a=0": it went.
    std::string Show(const DeviceEvent& event) const {
        std::string text = event.kind == DeviceEvent::Kind::Appeared ? "+" : "-";
        const fs::path byId(event.port.byId);
        text += byId.parent_path() == folder ? byId.filename().string() : event.port.byId;
        text += "=";
        for (int i = 0; i < 3; ++i) {
            if (event.port.path == ptys[i].path) {
                return text + std::to_string(i) + event.port.usbId + event.port.product;
            }
        }
        return text + event.port.path;
    }

    // Waits until `count` events came (or the patience ran out) and shows them.
    std::vector<std::string> Collect(CDeviceWatcher& watcher, size_t count) const {
        std::vector<std::string> shown;
        const auto limit = std::chrono::steady_clock::now() + kPatience;
        while (shown.size() < count && std::chrono::steady_clock::now() < limit) {
            for (const DeviceEvent& event : watcher.Wait(std::chrono::ceil<std::chrono::milliseconds>(
                     limit - std::chrono::steady_clock::now()))) {
                shown.push_back(Show(event));
            }
        }
        return shown;
    }
};

struct Step {
    std::function<void(Rig&)> act;
    std::vector<std::string> expected; // an empty step's strays show as extra events of the next one
};

struct WatchCase {
    std::string name;
    std::function<void(Rig&)> before; // what is there when watching begins
    std::vector<Step> steps;
};

void Nothing(Rig&) {}

void PrintTo(const WatchCase& watchCase, std::ostream* out) {
    *out << watchCase.name;
}

class DeviceWatcherSteps : public testing::TestWithParam<WatchCase> {};

TEST_P(DeviceWatcherSteps, ReportEachDeviceThatCameOrWentOnce) {
    Rig rig;
    GetParam().before(rig);
    CDeviceWatcher watcher(rig.folder.string());
    ASSERT_EQ(watcher.Error(), "");
    int number = 0;
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(++number));
        step.act(rig);
        EXPECT_EQ(rig.Collect(watcher, step.expected.size()), step.expected);
    }
    // Whatever the last step left must not come late, before this one.
    rig.Link("last", 0);
    EXPECT_EQ(rig.Collect(watcher, 1), std::vector<std::string>{"+last=0"});
}

const WatchCase kWatchCases[] = {
    {"devices_present_at_the_start",
     [](Rig& r) {
         r.Link("b", 1);
         r.Link("a", 0);
         r.LinkTo("dangling", r.temp.Root() / "nothing");
     },
     {{Nothing, {"+a=0", "+b=1"}}}},
    {"one_comes_and_goes",
     Nothing,
     {{[](Rig& r) { r.Link("a", 0); }, {"+a=0"}}, {[](Rig& r) { r.Remove("a"); }, {"-a=0"}}}},
    {"several_at_once",
     [](Rig& r) { fs::create_directories(r.folder); },
     {{[](Rig& r) {
           r.Link("c", 2);
           r.Link("a", 0);
           r.Link("b", 1);
       },
       {"+c=2", "+a=0", "+b=1"}},
      {[](Rig& r) {
           r.Remove("b");
           r.Remove("c");
           r.Remove("a");
       },
       {"-b=1", "-c=2", "-a=0"}}}},
    {"dangling_link_counts_once_it_resolves_and_a_file_never",
     [](Rig& r) { fs::create_directories(r.folder); },
     {{[](Rig& r) {
           r.LinkTo("d", r.temp.Root() / "later");
           r.LinkTo("file", r.temp.Write("plain", "not a device"));
       },
       {}},
      {[](Rig& r) { r.Link("a", 0); }, {"+a=0"}},
      {[](Rig& r) { fs::create_symlink(r.ptys[1].path, r.temp.Root() / "later"); }, {"+d=1"}},
      {[](Rig& r) { r.Remove("d"); }, {"-d=1"}},
      {[](Rig& r) {
           r.LinkTo("e", r.temp.Root() / "never");
           r.Remove("e"); // never a device, so never gone
           r.Remove("a");
       },
       {"-a=0"}}}},
    {"link_replaced_by_another",
     [](Rig& r) { r.Link("a", 0); },
     {{Nothing, {"+a=0"}},
      {[](Rig& r) { r.MoveIn("a", 1); }, {"-a=0", "+a=1"}},
      {[](Rig& r) { r.MoveIn("a", 1); }, {}}, // the same device behind it
      {[](Rig& r) { fs::rename(r.folder / "a", r.temp.Root() / "away"); }, {"-a=1"}}}},
    {"folder_made_late_removed_and_moved",
     Nothing,
     {{Nothing, {}},
      {[](Rig& r) { r.Link("a", 0); }, {"+a=0"}},
      {[](Rig& r) { fs::remove_all(r.temp.Root() / "serial"); }, {"-a=0"}},
      {[](Rig& r) {
           const fs::path staging = r.temp.Root() / "staging";
           fs::create_directories(staging);
           fs::create_symlink(r.ptys[2].path, staging / "c");
           fs::create_symlink(r.ptys[1].path, staging / "b");
           fs::create_directories(r.folder.parent_path());
           fs::rename(staging, r.folder);
       },
       {"+b=1", "+c=2"}},
      {[](Rig& r) { fs::rename(r.folder, r.temp.Root() / "moved"); }, {"-b=1", "-c=2"}}}},
};

INSTANTIATE_TEST_SUITE_P(Folder, DeviceWatcherSteps, testing::ValuesIn(kWatchCases), CaseName<WatchCase>);

// A Wait ends at Wake from another thread, and at once when Wake came before it.
void ExpectWakeEndsWaits(CDeviceWatcher& watcher) {
    constexpr auto kLong = 120s; // reached only when Wake does nothing
    for (const bool early : {false, true}) {
        SCOPED_TRACE(early ? "woken before the wait" : "woken during the wait");
        if (early) {
            watcher.Wake();
        }
        std::thread waker([&] {
            if (!early) {
                std::this_thread::sleep_for(100ms);
                watcher.Wake();
            }
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(watcher.Wait(kLong).empty());
        EXPECT_LT(std::chrono::steady_clock::now() - start, kLong);
        waker.join();
    }
}

TEST(DeviceWatcher, WakeEndsALongWait) {
    Rig rig;
    CDeviceWatcher watcher(rig.folder.string());
    ASSERT_EQ(watcher.Error(), "");
    ExpectWakeEndsWaits(watcher);
}

TEST(DeviceWatcher, WithoutDescriptorsLeftItSaysWhyReportsNothingAndStillWakes) {
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks open files as they go (their type check reads the memory map): with no
    // descriptor left they report themselves, not the watcher.
    GTEST_SKIP() << "not under the sanitizers";
#endif
    Rig rig;
    rig.Link("a", 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    const auto watcher = std::make_unique<CDeviceWatcher>(rig.folder.string());
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_NE(watcher->Error().find(std::strerror(EMFILE)), std::string::npos) << watcher->Error();
    ExpectWakeEndsWaits(*watcher);
}

} // namespace
