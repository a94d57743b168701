#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "protocol/BrenwickDoc.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: brenwick-cli make-bin FILE [--output PATH]\n"
    "\n"
    "Writes the application area of FILE (Intel HEX or .bin), stamped with its length word and byte sum\n"
    "for a 0x4000-byte boot area, as a flat binary file. Default output: ~/Firm_xxx.bin.\n"
    "An existing output file is replaced only when the new one was written completely.\n";

} // namespace

int RunMakeBin(const CommandArgs& args) {
    CArgScanner scan(args);
    std::string file;
    std::string output = CBrenwickDoc::DefaultMakeBinPath();
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

    CBrenwickDoc doc;
    g_ProjectFilePath = file;
    const MakeBinOutcome outcome = doc.MakeBin(output);
    switch (outcome.status) {
    case MakeBinStatus::Written:
        std::cout << "Wrote " << output << " (" << outcome.bytes << " bytes)\n";
        return kExitOk;
    case MakeBinStatus::LoadFailed:
        std::cerr << "brenwick-cli: " << file << ": " << outcome.load.Describe() << "\n";
        return kExitLoadFailed;
    case MakeBinStatus::WriteFailed:
        std::cerr << "brenwick-cli: cannot write " << output << ": " << std::strerror(outcome.errnoValue)
                  << "\n";
        return kExitWriteFailed;
    }
    return kExitWriteFailed;
}
