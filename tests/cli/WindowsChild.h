#pragma once

// Runs a Windows program of the build for the Windows tests: standard output and error into files of a
// test folder, optionally on a pseudo console of the test's own, and never left running after the test.
#include "base/win32/UniqueHandle.h"
#include "support/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>
#include <windows.h>

namespace windows_child {

using brenwick::UniqueHandle;

// A program that the build puts into the folder of this test program, or relative to it.
inline std::filesystem::path NextToThisProgram(const std::filesystem::path& name) {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);
    }
    return (std::filesystem::path(self).parent_path() / name).lexically_normal();
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A console of the test's own that a child can be attached to, so that what the child leaves in the
// console (its output code page, its screen's mode) can be read back after it has ended. What the console
// writes for a terminal is read and dropped. Loaded at run time: the build targets Windows 7, and Wine
// has no desktop here to give a real console.
class CPseudoConsole {
  public:
    using Handle = void*; // HPCON
    CPseudoConsole() {
        const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        m_Create = reinterpret_cast<CreateFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "CreatePseudoConsole")));
        m_Close = reinterpret_cast<CloseFn>(
            reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "ClosePseudoConsole")));
        HANDLE inRead = nullptr;
        HANDLE inWrite = nullptr;
        HANDLE outRead = nullptr;
        HANDLE outWrite = nullptr;
        if (m_Create == nullptr || m_Close == nullptr || !::CreatePipe(&inRead, &inWrite, nullptr, 0)) {
            return;
        }
        const UniqueHandle consoleIn(inRead); // the console keeps its own copies
        m_Input.Reset(inWrite);
        if (!::CreatePipe(&outRead, &outWrite, nullptr, 0)) {
            return;
        }
        const UniqueHandle consoleOut(outWrite);
        m_Output.Reset(outRead);
        if (m_Create(COORD{80, 25}, inRead, outWrite, 0, &m_Console) != S_OK) {
            m_Console = nullptr;
            return;
        }
        m_Drain.Reset(::CreateThread(nullptr, 0, Drain, m_Output.Get(), 0, nullptr));
    }
    ~CPseudoConsole() {
        if (m_Console != nullptr) {
            m_Close(m_Console);
        }
        if (m_Drain.Valid() && ::WaitForSingleObject(m_Drain.Get(), 5000) != WAIT_OBJECT_0) {
            ::CancelSynchronousIo(m_Drain.Get());
            ::WaitForSingleObject(m_Drain.Get(), 5000);
        }
    }
    CPseudoConsole(const CPseudoConsole&) = delete;
    CPseudoConsole& operator=(const CPseudoConsole&) = delete;

    Handle Get() const { return m_Console; }

  private:
    using CreateFn = HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, Handle*);
    using CloseFn = void(WINAPI*)(Handle);
    static DWORD WINAPI Drain(void* pipe) {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        }
        return 0;
    }
    CreateFn m_Create = nullptr;
    CloseFn m_Close = nullptr;
    Handle m_Console = nullptr;
    UniqueHandle m_Input;
    UniqueHandle m_Output;
    UniqueHandle m_Drain;
};

// One run of a program with its output in out.txt and err.txt of folder, on console when one is given, in
// workingFolder when one is given.
class CChild {
  public:
    CChild(const std::filesystem::path& program, const std::wstring& arguments, const CTempDir& folder,
           CPseudoConsole::Handle console = nullptr, const std::filesystem::path& workingFolder = {})
        : m_Out(folder.Root() / "out.txt"), m_Err(folder.Root() / "err.txt") {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const UniqueHandle out(::CreateFileW(m_Out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                             CREATE_ALWAYS, 0, nullptr));
        const UniqueHandle err(::CreateFileW(m_Err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                             CREATE_ALWAYS, 0, nullptr));
        if (!out.Valid() || !err.Valid()) {
            return;
        }
        std::wstring line = L"\"" + program.wstring() + L"\" " + arguments;
        STARTUPINFOEXW start{};
        start.StartupInfo.cb = sizeof start;
        start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        start.StartupInfo.hStdOutput = out.Get();
        start.StartupInfo.hStdError = err.Get();
        CAttributeList attributes;
        DWORD flags = CREATE_NO_WINDOW;
        if (console != nullptr) {
            if (!attributes.SetPseudoConsole(console)) {
                return;
            }
            start.lpAttributeList = attributes.Get();
            flags = EXTENDED_STARTUPINFO_PRESENT;
        }
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                             workingFolder.empty() ? nullptr : workingFolder.c_str(), &start.StartupInfo,
                             &info)) {
            m_Process.Reset(info.hProcess);
            const UniqueHandle thread(info.hThread);
        }
    }
    ~CChild() {
        if (m_Process.Valid() && ::WaitForSingleObject(m_Process.Get(), 0) != WAIT_OBJECT_0) {
            ::TerminateProcess(m_Process.Get(), 1);
            ::WaitForSingleObject(m_Process.Get(), 10000);
        }
    }
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;

    bool Started() const { return m_Process.Valid(); }
    HANDLE Process() const { return m_Process.Get(); }

    // The exit status once the program has ended within limitMs; nothing while it still runs.
    std::optional<DWORD> Wait(DWORD limitMs) const {
        DWORD status = 0;
        if (::WaitForSingleObject(m_Process.Get(), limitMs) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(m_Process.Get(), &status)) {
            return std::nullopt;
        }
        return status;
    }
    // What the program wrote, its lines ended with LF where its text mode wrote CR LF.
    std::string Out() const { return Lines(ReadFile(m_Out)); }
    std::string Err() const { return Lines(ReadFile(m_Err)); }

  private:
    static std::string Lines(std::string text) {
        for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
            text.erase(at, 1);
        }
        return text;
    }
    class CAttributeList {
      public:
        CAttributeList() = default;
        ~CAttributeList() {
            if (m_Ready) {
                ::DeleteProcThreadAttributeList(Get());
            }
        }
        CAttributeList(const CAttributeList&) = delete;
        CAttributeList& operator=(const CAttributeList&) = delete;
        LPPROC_THREAD_ATTRIBUTE_LIST Get() {
            return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_Words.data());
        }
        bool SetPseudoConsole(CPseudoConsole::Handle console) {
            SIZE_T size = 0;
            ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
            m_Words.resize(size / sizeof(uint64_t) + 1);
            m_Ready = ::InitializeProcThreadAttributeList(Get(), 1, 0, &size) != FALSE;
            return m_Ready && ::UpdateProcThreadAttribute(Get(), 0, kPseudoConsoleAttribute, console,
                                                          sizeof console, nullptr, nullptr);
        }

      private:
        // PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, which the headers give only for Windows 10 builds.
        static constexpr DWORD_PTR kPseudoConsoleAttribute = 0x00020016;
        std::vector<uint64_t> m_Words; // the list is opaque, its alignment a pointer's
        bool m_Ready = false;
    };

    std::filesystem::path m_Out;
    std::filesystem::path m_Err;
    UniqueHandle m_Process;
};

} // namespace windows_child
