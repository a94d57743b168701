// brenwick-hold-port COMn: another Windows program that has the port open, for the command line's busy-port
// case. It opens the port as a Windows program does (no sharing), prints "HOLDING COMn" once it has it and
// keeps it until it is killed, or for two minutes at most.
#include "base/win32/UniqueHandle.h"

#include <cstdio>
#include <string>
#include <windows.h>

int main(int argc, char** argv) {
    constexpr DWORD kHoldMs = 120000;
    if (argc != 2) {
        std::fputs("usage: brenwick-hold-port COMn\n", stderr);
        return 2;
    }
    // COM names are plain ASCII.
    const std::string device = "\\\\.\\" + std::string(argv[1]);
    const brenwick::UniqueHandle port(::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port.Valid()) {
        std::fprintf(stderr, "brenwick-hold-port: cannot open %s: error %lu\n", argv[1], ::GetLastError());
        return 1;
    }
    std::printf("HOLDING %s\n", argv[1]);
    std::fflush(stdout);
    ::Sleep(kHoldMs);
    return 0;
}
