#pragma once

// The Windows program's window run for real on a thread of its own, and driven from the test's thread as
// an operator's tools would drive it: by messages (BM_CLICK, WM_COMMAND, WM_GETTEXT, window rectangles) and
// by what it draws. The simulated devices are brenwick-devsim on pseudo-terminals that scripts/test-windows
// maps to COM ports.
#include "base/win32/Utf16.h"
#include "support/WaitUntil.h"
#include "winapp/CBrenwickApp.h"
#include "winapp/ResourceIds.h"
#include "winapp/WindowPicture.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace brenwick::winapp::test {

// Failures are printed as they happen, not when the buffer fills: a case that hangs under Wine and is ended
// by its time-out still shows what went wrong before.
inline const int kUnbufferedOutput = std::setvbuf(stdout, nullptr, _IONBF, 0);

// The settings of this test process's windows, apart from any other's.
inline const std::string kTestRoot =
    "Software\\Veltmark\\BrenwickWindowTest\\" + std::to_string(::GetCurrentProcessId());

// Leaves no settings of this process behind.
struct CTestRootRemoval {
    ~CTestRootRemoval() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kTestRoot).c_str()); }
};
inline const CTestRootRemoval kTestRootRemoval;

// A variable scripts/test-windows sets; empty when it is not set.
inline std::string FromScript(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

#define REQUIRE_DEVICES()                                                                                    \
    REQUIRE_DISPLAY();                                                                                       \
    if (FromScript("BRENWICK_TEST_DEVICE_COM").empty()) {                                                    \
        GTEST_SKIP() << "no simulated devices: scripts/test-windows provides them";                          \
    }

// A registry value of the test's settings, as text; nothing when it is not there.
inline std::optional<std::string> StoredValue(const std::string& section, const std::string& name,
                                              const std::string& root = kTestRoot) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    if (::RegGetValueW(HKEY_CURRENT_USER, Widen(root + "\\" + section).c_str(), Widen(name).c_str(),
                       RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return Narrow(text);
}

// A Linux path (from scripts/test-windows or the build) as Wine's drive Z: shows it.
inline std::string WinePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path.rfind('\\', 0) == 0 ? "Z:" + path : path;
}

inline std::string TextOf(HWND window) {
    wchar_t text[1024] = {};
    ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return Narrow(text);
}

inline RECT RectIn(HWND parent, HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Settings the window starts with; the rest of the test's key is cleared first.
struct StartSettings {
    std::string port;
    std::string windowPos;
    std::string file; // named on the command line
};

class CWindowRig {
  public:
    // `devices` and `flashLog`: the production view's, when given.
    explicit CWindowRig(const StartSettings& start, DeviceSourceFactory devices = {},
                        FlashLogWriter flashLog = {}) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Widen(kTestRoot).c_str());
        {
            CRegistryStore store(kTestRoot);
            if (!start.port.empty()) {
                store.PutString(store_key::kStringsSection, store_key::kPortName, start.port);
            }
            if (!start.windowPos.empty()) {
                store.PutString("WindowPos", "WindowPos", start.windowPos);
            }
        }
        panel::AppOptions options;
        options.file = start.file;
        AppPlaces places;
        places.registryRoot = kTestRoot;
        places.instanceName = L"brenwick-window-test-" + std::to_wstring(::GetCurrentProcessId());
        places.devices = std::move(devices);
        places.flashLog = std::move(flashLog);
        m_Thread = std::thread([this, options, places] {
            CBrenwickApp app(options, places);
            const bool started = app.InitInstance(SW_SHOWNOACTIVATE);
            {
                std::lock_guard lock(m_Mutex);
                m_Frame = started ? app.MainFrame()->Window() : nullptr;
                m_Started = true;
            }
            m_Ready.notify_all();
            if (started) {
                app.Run();
            }
        });
        std::unique_lock lock(m_Mutex);
        m_Ready.wait_for(lock, std::chrono::seconds(30), [this] { return m_Started; });
        EXPECT_NE(m_Frame, nullptr) << "the window did not start";
    }
    ~CWindowRig() {
        if (m_Frame != nullptr && ::IsWindow(m_Frame) != 0) {
            ::PostMessageW(m_Frame, WM_ENDSESSION, TRUE, 0); // ends even in the middle of a run
        }
        m_Thread.join();
    }
    CWindowRig(const CWindowRig&) = delete;
    CWindowRig& operator=(const CWindowRig&) = delete;

    HWND Frame() const { return m_Frame; }
    HWND Form() const { return ::GetWindow(m_Frame, GW_CHILD); }
    HWND Control(int id) const { return ::GetDlgItem(Form(), id); }
    std::string Text(int id) const { return TextOf(Control(id)); }
    void Click(int id) const { ::SendMessageW(Control(id), BM_CLICK, 0, 0); }
    // Posted, as a menu does it: a command that opens a modal dialog returns only when the dialog ends.
    void Command(UINT id) const { ::PostMessageW(m_Frame, WM_COMMAND, id, 0); }
    // Closes the window as File > Exit does and waits until the program has ended.
    void Close() {
        ::SendMessageW(m_Frame, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitUntil([this] { return ::IsWindow(m_Frame) == 0; }, 10000));
    }

    bool WaitForStatus(const std::string& text, int timeoutMs = 20000) const {
        const bool seen = WaitUntil([&] { return Text(IDC_STATUS) == text; }, timeoutMs);
        if (!seen) {
            ADD_FAILURE() << "status \"" << Text(IDC_STATUS) << "\" instead of \"" << text << "\"; outcome \""
                          << Text(IDC_OUTCOME) << "\"";
        }
        return seen;
    }
    // The colour at the centre of the status bar's lamp, as the bar draws it.
    panel::COLORREF Lamp() const {
        HWND status = Control(IDC_STATUS);
        RECT client{};
        ::GetClientRect(status, &client);
        const CPicture picture(status, client.right, client.bottom);
        return picture.At(client.right - client.bottom / 2, client.bottom / 2);
    }

  private:
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::condition_variable m_Ready;
    bool m_Started = false;
    HWND m_Frame = nullptr;
};

} // namespace brenwick::winapp::test
