#include "cli/ArgScanner.h"
#include "cli/Commands.h"
#include "cli/ExitCodes.h"
#include "cli/Output.h"
#include "cli/StopSignals.h"
#include "image/FirmwareImage.h"
#include "image/ImageLayout.h"

#include <cstdio>
#include <iostream>

namespace brenwick::cli {

namespace {

constexpr const char* kUsage =
    "usage: brenwick-cli inspect FILE\n"
    "\n"
    "Shows what Brenwick reads from a firmware file (Intel HEX or .bin) before it is flashed: the family,\n"
    "flash base, information offset, image length, product ID, and the length word and byte sum it is\n"
    "stamped with for a 0x4000-byte boot area. FILE - reads Intel HEX from standard input, as does a pipe\n"
    "such as <(...). Ctrl+C ends a load that waits with status 130.\n";

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

} // namespace

int RunInspect(const CommandArgs& args) {
    CArgScanner scan(args);
    std::string file;
    while (!scan.Done()) {
        if (scan.Flag("--help") || scan.Flag("-h")) {
            std::cout << kUsage;
            return kExitOk;
        }
        if (scan.IsOption() || !file.empty()) {
            std::cerr << "brenwick-cli inspect: unexpected argument '" << scan.Peek() << "'\n" << kUsage;
            return kExitUsage;
        }
        file = scan.Positional();
    }
    if (file.empty()) {
        std::cerr << "brenwick-cli inspect: no firmware file given\n" << kUsage;
        return kExitUsage;
    }

    using namespace image_layout;
    CFirmwareImage image;
    LoadResult result;
    {
        CStopSignals stop;
        result = image.Load(file, ReadLimits{[&stop] { return stop.WaitFor(0); }});
        if (result.error == LoadError::Interrupted) {
            return kExitInterrupted;
        }
    }
    if (!result.Ok()) {
        std::cerr << "brenwick-cli: " << file << ": " << result.Describe() << "\n";
        return kExitLoadFailed;
    }
    const auto family = FamilyFromMarker(image.m_Image[kFamilyByteOffset]);
    const auto boot = static_cast<int32_t>(kBootAreaSize);
    const auto productId = image.ProductId(boot);
    const auto length = static_cast<uint32_t>(image.m_ImageLen);

    std::cout << "file:          " << file << "\n"
              << "family:        " << (family ? family->name : "unknown") << "\n"
              << "flash base:    " << Hex(image.m_FlashBase, 8) << "\n"
              << "info offset:   " << Hex(image.m_InfoOffset, 3) << "\n"
              << "image length:  " << Hex(length, 5) << " (" << length << " bytes, " << length - kBootAreaSize
              << " behind the boot area)\n"
              << "product id:    " << ProductIdText(productId) << "\n";

    result = image.Stamp(boot);
    if (!result.Ok()) {
        std::cerr << "brenwick-cli: " << file << ": " << result.Describe() << "\n";
        return kExitLoadFailed;
    }
    std::cout << "stamp for boot length " << Hex(kBootAreaSize, 4) << ":\n"
              << "  length word: " << Hex(image.WordAt(boot + image.m_InfoOffset + kLengthWordOffset), 8)
              << " at offset " << Hex(kBootAreaSize + image.m_InfoOffset + kLengthWordOffset, 5) << "\n"
              << "  byte sum:    " << Hex(image.WordAt(length), 8) << " at offset " << Hex(length, 5) << "\n";
    return kExitOk;
}

} // namespace brenwick::cli
