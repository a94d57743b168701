#include "winapp/CBrenwickApp.h"

#include "base/Utf8Path.h"
#include "base/win32/Utf16.h"
#include "panel/FlashLogSetting.h"
#include "panel/PanelCommands.h"
#include "winapp/ResourceIds.h"

#include <commctrl.h>
#include <commdlg.h>
#include <filesystem>
#include <system_error>

namespace brenwick::winapp {

namespace {

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2); // a path longer than MAX_PATH
    }
}

// A path as the recent files keep it: absolute, as the window opens files.
std::string Absolute(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(path), ec);
    return ec ? path : Utf8FromPath(absolute);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

std::wstring ProgramFolder() {
    const std::wstring path = ProgramPath();
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring ProgramBaseName() {
    const std::wstring path = ProgramPath();
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (const size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos && dot > 0) {
        name.resize(dot);
    }
    return name.empty() ? std::wstring(L"brenwick") : name;
}

CBrenwickApp::CBrenwickApp(panel::AppOptions options, AppPlaces places)
    : m_Options(std::move(options)), m_Places(std::move(places)) {}

CBrenwickApp::~CBrenwickApp() {
    // The panel stops the worker and closes the port before the document goes.
    m_Frame.reset();
    m_Doc.reset();
    if (m_Accelerators != nullptr) {
        ::DestroyAcceleratorTable(m_Accelerators);
    }
}

bool CBrenwickApp::InitInstance(int showCommand) {
    // One copy per session: a later one raises the first and ends without touching settings or files.
    m_Instance = std::make_unique<CSingleInstance>(m_Places.instanceName.empty() ? ProgramBaseName()
                                                                                 : m_Places.instanceName);
    if (!m_Instance->Acquire()) {
        m_ExitCode = 0;
        return false;
    }
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    m_Store = std::make_unique<CRegistryStore>(m_Places.registryRoot);
    std::vector<std::string> recent;
    for (const std::string& path : m_Store->RecentFiles()) {
        if (!path.empty()) {
            recent.push_back(Absolute(path));
        }
    }
    m_Recent.Set(recent);

    m_Doc = std::make_unique<CBrenwickDoc>();
    // The window reads files on a disk only: a pipe or a device could keep it waiting for a writer.
    ReadLimits limits;
    limits.regularFilesOnly = true;
    m_Doc->SetReadLimits(limits);
    m_Frame = std::make_unique<CMainFrame>(*m_Doc, *m_Store);
    if (m_Places.devices) {
        m_Frame->m_ProductionDevices = m_Places.devices;
    }
    m_Frame->m_FlashLog =
        m_Places.flashLog ? m_Places.flashLog : FlashLogAt(panel::FlashLogPathFrom(*m_Store));
    if (!m_Frame->Create()) {
        // Said in a box: a program started from the desktop has nowhere else to say it.
        const std::string why = std::system_category().message(static_cast<int>(::GetLastError()));
        ::MessageBoxW(nullptr, Widen("The window cannot be made: " + why).c_str(), L"Brenwick",
                      MB_OK | MB_ICONERROR);
        m_ExitCode = 1;
        return false;
    }
    m_Frame->m_OnAppCommand = [this](UINT command) { return OnAppCommand(command); };
    m_Frame->m_OnFileDropped = [this](const std::string& path) { OpenDocument(path); };
    m_Frame->m_OnClosing = [this] { OnClosing(); };
    m_Frame->m_OnDestroyed = [this] { m_Instance->UnmarkWindow(m_Frame->Window()); };
    m_Frame->SetRecentFiles(m_Recent.Files());
    m_Accelerators = ::LoadAcceleratorsW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));

    // The panel first, so that it can tell why a file did not load; then the document's first
    // initialisation: the named file, or the last one again.
    m_Frame->View().OnInitialUpdate();
    if (!m_Options.file.empty()) {
        m_Doc->SkipFirstReload();
        OpenDocument(m_Options.file); // a file that does not load leaves the window open, with the reason
    } else {
        const std::string last = m_Doc->ProjectFilePath();
        m_Doc->OnNewDocument();
        m_Frame->UpdateTitle(m_Doc->PathName());
        if (!last.empty() && !m_Doc->IsFileLoaded()) {
            m_Frame->View().NoteAction(panel::FileNameOf(last) +
                                       " could not be loaded again: " + m_Doc->LastLoadResult().Describe());
        }
    }
    m_Frame->ActivateFrame(showCommand);
    m_Frame->SetHelpFolder(m_Places.helpFolder.empty() ? ProgramFolder() + L"\\help" : m_Places.helpFolder);
    m_Instance->MarkWindow(m_Frame->Window());
    return true;
}

int CBrenwickApp::Run() {
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam); // WM_QUIT: the window is gone
        }
        if (got == -1) {
            return 1;
        }
        if (!PreTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

bool CBrenwickApp::PreTranslate(MSG& message) {
    HWND frame = m_Frame ? m_Frame->Window() : nullptr;
    if (frame == nullptr || (message.hwnd != frame && ::IsChild(frame, message.hwnd) == 0)) {
        return false; // a dialog of its own, or a window of another part
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_F1) {
        ::SendMessageW(frame, WM_COMMAND, ID_HELP_FINDER, 0);
        return true;
    }
    if (m_Accelerators != nullptr && ::TranslateAcceleratorW(frame, m_Accelerators, &message) != 0) {
        return true;
    }
    // Tab, the arrow keys, Enter and the mnemonics among the panel's controls.
    return ::IsDialogMessageW(m_Frame->ActiveForm(), &message) != 0;
}

bool CBrenwickApp::OnAppCommand(UINT command) {
    switch (command) {
    case ID_FILE_NEW:
        OnFileNew();
        return true;
    case ID_FILE_OPEN:
        OnFileOpen();
        return true;
    case ID_APP_ABOUT:
        OnAppAbout();
        return true;
    default:
        break;
    }
    if (command >= ID_FILE_MRU_FILE1 && command < ID_FILE_MRU_FILE1 + m_Recent.Files().size()) {
        const std::string path = m_Recent.Files()[command - ID_FILE_MRU_FILE1]; // a copy: the list may change
        OpenDocument(path);
        return true;
    }
    return false;
}

void CBrenwickApp::OnFileNew() {
    if (!m_Frame->MayInterruptRuns()) {
        return;
    }
    // The window keeps its place and size; the panel is not set up again.
    m_Doc->OnNewDocument();
    m_Frame->UpdateTitle({});
    m_Frame->View().NoteAction();
    m_Frame->FirmwareChanged({});
}

void CBrenwickApp::OnFileOpen() {
    std::wstring file(32768, L'\0');
    std::wstring folder;
    if (!m_Doc->ProjectFilePath().empty()) {
        folder = PathFromUtf8(m_Doc->ProjectFilePath()).parent_path().wstring();
    }
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_Frame->Window();
    dialog.lpstrFilter = kFlashFileFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (::GetOpenFileNameW(&dialog) != 0) {
        file.resize(file.find(L'\0'));
        OpenDocument(Narrow(file));
    }
}

bool CBrenwickApp::OpenDocument(const std::string& path) {
    if (!m_Frame->MayInterruptRuns()) {
        return false;
    }
    const panel::OpenOutcome opened = panel::OpenFirmware(*m_Doc, m_Recent, Absolute(path));
    // The window keeps its place and size; the panel is not set up again.
    if (opened.loaded) {
        m_Frame->UpdateTitle(m_Doc->PathName());
    } else if (opened.nothingLoaded) {
        m_Frame->UpdateTitle({});
    }
    if (opened.recentChanged) {
        m_Frame->SetRecentFiles(m_Recent.Files());
    }
    m_Frame->View().NoteAction(opened.told);
    m_Frame->FirmwareChanged(opened.told);
    return opened.loaded;
}

void CBrenwickApp::OnAppAbout() {
    ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUTBOX), m_Frame->Window(),
                      AboutProc, 0);
}

void CBrenwickApp::OnClosing() {
    m_Doc->SaveSettings(*m_Store);
    m_Store->PutRecentFiles(m_Recent.Files());
}

} // namespace brenwick::winapp
