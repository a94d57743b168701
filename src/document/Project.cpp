#include "document/Project.h"

#include "base/HomeFolder.h"
#include "base/Utf8Path.h"
#include "image/AtomicFile.h"
#include "image/ImageLayout.h"

namespace brenwick {

int CProject::LoadFirmware(const std::string& path, FlashLayout layout) {
    m_LastLoad = m_Firmware.Load(path, m_ReadLimits);
    if (m_LastLoad.Ok() && layout.flashSize != 0) {
        m_LastLoad = m_Firmware.Stamp(layout.bootLength);
    }
    if (!m_LastLoad.Ok()) {
        m_Firmware.m_ImageLen = 0;
        return 0;
    }
    return 1;
}

int CProject::Refuse(LoadError why) {
    m_LastLoad = LoadResult::Failure(why);
    return 0;
}

int CProject::ReloadImage(FlashLayout layout) {
    if (m_FileLoaded == 0) {
        return 0;
    }
    const int loaded = LoadFirmware(m_ProjectFilePath, layout);
    if (!loaded) {
        m_FileLoaded = 0;
    }
    return loaded;
}

int CProject::OnNewDocument(FlashLayout layout) {
    m_FileLoaded = 0;
    if (m_FirstNewDoc == 0) {
        return 1; // a later File New only clears the loaded flag
    }
    m_FirstNewDoc = 0;
    if (!m_ProjectFilePath.empty()) {
        if (LoadFirmware(m_ProjectFilePath, layout)) {
            m_PathName = m_ProjectFilePath;
            m_FileLoaded = 1;
        } else {
            m_ProjectFilePath.clear(); // forget a file that no longer loads
        }
    }
    return 1;
}

int CProject::OnOpenDocument(const std::string& path, FlashLayout layout) {
    if (LoadFirmware(path, layout)) {
        m_ProjectFilePath = path;
        m_PathName = path;
        m_FileLoaded = 1;
        return 1;
    }
    m_FileLoaded = 0; // the project path keeps naming the previous file
    return 0;
}

MakeBinOutcome CProject::MakeBin(const std::string& outputPath) const {
    using namespace image_layout;
    MakeBinOutcome outcome;
    if (m_ProjectFilePath.empty()) {
        outcome.status = MakeBinStatus::NoFile;
        return outcome;
    }
    // An image of its own, stamped for the fixed boot area: the run that may follow uses the document's
    // image and the device's geometry untouched, and a run in progress keeps sending its own buffer.
    CFirmwareImage image;
    outcome.load = image.Load(m_ProjectFilePath, m_ReadLimits);
    if (outcome.load.Ok()) {
        outcome.load = image.Stamp(static_cast<int32_t>(kBootAreaSize));
    }
    if (!outcome.load.Ok()) {
        return outcome;
    }
    const auto size = static_cast<size_t>(image.m_ImageLen) - kBootAreaSize + 4;
    const auto bytes = image.Bytes().subspan(kBootAreaSize, size);
    outcome.errnoValue = WriteFileAtomically(outputPath, bytes);
    outcome.status = outcome.errnoValue == 0 ? MakeBinStatus::Written : MakeBinStatus::WriteFailed;
    outcome.bytes = outcome.errnoValue == 0 ? size : 0;
    return outcome;
}

std::string CProject::DefaultMakeBinPath() {
    return Utf8FromPath(PathFromUtf8(HomeFolder()) / "Firm_xxx.bin");
}

} // namespace brenwick
