// brenwick.exe started twice, as two processes: the second copy raises the first one's window (restored,
// with its open dialog in front) and ends without touching the settings; the first writes them at close.
#include "winapp/WindowRig.h"

using namespace brenwick;
using namespace brenwick::winapp;
using namespace brenwick::winapp::test;

namespace {

const std::string kProgramRoot = "Software\\Veltmark\\Brenwick";

// The program as built, reached through Wine's drive Z:.
std::wstring ProgramFile() {
    return Widen(WinePath(BRENWICK_WINDOW_EXE));
}

class CProcess {
  public:
    CProcess() {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + ProgramFile() + L"\"";
        m_Started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &m_Info) != 0;
        EXPECT_TRUE(m_Started) << ::GetLastError();
    }
    ~CProcess() {
        if (m_Started) {
            if (::WaitForSingleObject(m_Info.hProcess, 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(m_Info.hProcess, 1);
            }
            ::CloseHandle(m_Info.hThread);
            ::CloseHandle(m_Info.hProcess);
        }
    }
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;

    // The exit status, or nothing while it still runs after `timeoutMs`.
    std::optional<DWORD> Wait(DWORD timeoutMs) const {
        if (!m_Started || ::WaitForSingleObject(m_Info.hProcess, timeoutMs) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(m_Info.hProcess, &code);
        return code;
    }

  private:
    PROCESS_INFORMATION m_Info{};
    bool m_Started = false;
};

// The program's main windows, marked for later copies.
std::vector<HWND> MarkedWindows() {
    std::vector<HWND> found;
    for (HWND window = ::GetWindow(::GetDesktopWindow(), GW_CHILD); window != nullptr;
         window = ::GetWindow(window, GW_HWNDNEXT)) {
        if (::GetPropW(window, L"brenwick") != nullptr) {
            found.push_back(window);
        }
    }
    return found;
}

TEST(SingleInstance, ASecondCopyRaisesTheFirstAndEnds) {
    REQUIRE_DISPLAY();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kProgramRoot).c_str());
    const CProcess first;
    ASSERT_TRUE(WaitUntil([] { return MarkedWindows().size() == 1; }, 30000));
    HWND window = MarkedWindows().front();
    ::ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(window) != 0; }, 5000));

    {
        const CProcess second;
        EXPECT_EQ(second.Wait(30000), 0U);
    }
    EXPECT_TRUE(WaitUntil([&] { return ::IsIconic(window) == 0 && ::IsWindowVisible(window) != 0; }, 5000));
    EXPECT_EQ(MarkedWindows().size(), 1U);

    // With the About box open, a later copy brings the box to the front.
    ::PostMessageW(window, WM_COMMAND, ID_APP_ABOUT, 0);
    HWND about = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            about = ::GetLastActivePopup(window);
            return about != window && TextOf(about) == "About Brenwick";
        },
        10000));
    {
        const CProcess third;
        EXPECT_EQ(third.Wait(30000), 0U);
    }
    EXPECT_EQ(::GetForegroundWindow(), about) << TextOf(::GetForegroundWindow());
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);

    // The later copies wrote nothing; the first writes its settings as it closes.
    EXPECT_FALSE(StoredValue("WindowPos", "WindowPos", kProgramRoot).has_value());
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.Wait(30000), 0U);
    const auto stored =
        panel::ParseWindowPos(StoredValue("WindowPos", "WindowPos", kProgramRoot).value_or(""));
    ASSERT_TRUE(stored.has_value());
    EXPECT_FALSE(stored->stayOnTop);
    EXPECT_EQ(stored->placement.showCmd, panel::kShowNormal);
    EXPECT_GT(stored->placement.right - stored->placement.left, 0);
    EXPECT_EQ(StoredValue(store_key::kIntsSection, store_key::kBaudIndex, kProgramRoot), "0"); // never set
}

} // namespace
