// brenwick.exe: the operator's window for flashing a board through its boot loader.
#include "base/win32/Utf16.h"
#include "panel/CommandLine.h"
#include "winapp/CBrenwickApp.h"

#include <shellapi.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int k = 1; words != nullptr && k < count; ++k) {
        args.push_back(brenwick::Narrow(words[k]));
    }
    ::LocalFree(words);
    return args;
}

void Tell(const std::string& text, UINT icon) {
    ::MessageBoxW(nullptr, brenwick::Widen(text).c_str(), L"Brenwick", MB_OK | icon);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
    using namespace brenwick;
    const panel::AppOptions options = panel::ParseCommandLine(Arguments());
    // A window program has no console to print to: what the command line asks for is shown in a box.
    if (options.help) {
        Tell(panel::UsageText("brenwick"), MB_ICONINFORMATION);
        return 0;
    }
    if (options.version) {
        Tell(panel::VersionText(), MB_ICONINFORMATION);
        return 0;
    }
    if (!options.error.empty()) {
        Tell(options.error + "\n\n" + panel::UsageText("brenwick"), MB_ICONERROR);
        return 2;
    }
    if (options.demo) {
        Tell("demo mode needs the simulated device, which runs on Linux; brenwick-cli flashes from a "
             "command prompt",
             MB_ICONERROR);
        return 2;
    }
    winapp::CBrenwickApp app(options);
    if (!app.InitInstance(showCommand)) {
        return app.ExitCode();
    }
    return app.Run();
}
