#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/PathKind.h"
#include "cli/StopSignals.h"
#include "document/Project.h"
#include "image/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace brenwick::cli {

namespace {

constexpr const char* kUsage =
    "usage: brenwick-cli make-bin FILE [--output PATH]\n"
    "\n"
    "Writes the application area of FILE (Intel HEX or .bin), stamped with its length word and byte sum\n"
#ifdef _WIN32
    "for a 0x4000-byte boot area, as a flat binary file. Default output: %USERPROFILE%\\Firm_xxx.bin.\n"
    "An existing output file is replaced only when the new one was written completely; a symbolic link\n"
    "is followed and the file it names replaced. A device or pipe (NUL, CON, \\\\.\\pipe\\NAME) is\n"
    "written into as it is. FILE - reads Intel HEX from standard input, as does a pipe.\n"
#else
    "for a 0x4000-byte boot area, as a flat binary file. Default output: ~/Firm_xxx.bin.\n"
    "An existing output file is replaced only when the new one was written completely; a symbolic link\n"
    "is followed and the file it names replaced. A device or FIFO (/dev/null, /dev/stdout) is written\n"
    "into as it is. FILE - reads Intel HEX from standard input, as does a pipe such as <(...).\n"
#endif
    "The output must not be FILE itself (usage error, status 2). An input that delivers no HEX records\n"
    "(an endless device, a pipe that stays silent) fails with status 3; Ctrl+C ends with status 130.\n";

std::string WriteError(const std::string& output, int errnoValue) {
    if (errnoValue == ENXIO && KindOfPath(output) == PathKind::Fifo) {
        return "no program is reading the FIFO";
    }
    return WriteErrorText(errnoValue);
}

} // namespace

int RunMakeBin(const CommandArgs& args) {
    CArgScanner scan(args);
    std::string file;
    std::string output = CProject::DefaultMakeBinPath();
    while (!scan.Done()) {
        if (scan.Flag("--help") || scan.Flag("-h")) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (auto value = scan.Value("--output")) {
            output = *value;
        } else if (!scan.Error().empty()) {
            std::cerr << "brenwick-cli make-bin: " << scan.Error() << "\n" << kUsage;
            return kExitUsage;
        } else if (scan.IsOption() || !file.empty()) {
            std::cerr << "brenwick-cli make-bin: unexpected argument '" << scan.Peek() << "'\n" << kUsage;
            return kExitUsage;
        } else {
            file = scan.Positional();
        }
    }
    if (file.empty()) {
        std::cerr << "brenwick-cli make-bin: no firmware file given\n" << kUsage;
        return kExitUsage;
    }

    // The same file under any name: the export would destroy its source.
    if (SameRegularFile(file, output)) {
        std::cerr << "brenwick-cli make-bin: the output " << output << " is the firmware file " << file
                  << " itself; choose another --output\n";
        return kExitUsage;
    }

    CStopSignals stop;
    CProject project;
    project.SetReadLimits(ReadLimits{[&stop] { return stop.WaitFor(0); }});
    project.SetFilePath(file);
    const MakeBinOutcome outcome = project.MakeBin(output);
    switch (outcome.status) {
    case MakeBinStatus::Written:
        std::cout << "Wrote " << output << " (" << outcome.bytes << " bytes)\n";
        return kExitOk;
    case MakeBinStatus::NoFile:
        std::cerr << "brenwick-cli make-bin: no firmware file given\n" << kUsage;
        return kExitUsage;
    case MakeBinStatus::LoadFailed:
        if (outcome.load.error == LoadError::Interrupted) {
            return kExitInterrupted;
        }
        std::cerr << "brenwick-cli: " << file << ": " << outcome.load.Describe() << "\n";
        return kExitLoadFailed;
    case MakeBinStatus::WriteFailed:
        std::cerr << "brenwick-cli: cannot write " << output << ": " << WriteError(output, outcome.errnoValue)
                  << "\n";
        return kExitWriteFailed;
    }
    return kExitWriteFailed;
}

} // namespace brenwick::cli
