#include "base/HomeFolder.h"
#include "base/Utf8Path.h"
#include "image/AtomicFile.h"
#include "image/ImageLayout.h"
#include "protocol/BrenwickDoc.h"

namespace brenwick {

int CBrenwickDoc::LoadFirmware(const std::string& path) {
    if (m_ImageInUse) {
        m_LastLoad = LoadResult::Failure(LoadError::ImageInUse);
        return 0; // the worker is sending this buffer: leave it and its length alone
    }
    m_LastLoad = m_Firmware.Load(path, m_ReadLimits);
    if (m_LastLoad.Ok() && m_FlashSize != 0) {
        StampImage(); // records a refusal in m_LastLoad
    }
    if (!m_LastLoad.Ok()) {
        m_Firmware.m_ImageLen = 0;
        return 0;
    }
    return 1;
}

int CBrenwickDoc::StampImage() {
    m_LastLoad = m_Firmware.Stamp(m_BootLength);
    return m_LastLoad.Ok() ? 1 : 0;
}

int CBrenwickDoc::ReloadImage() {
    if (m_FileLoaded == 0) {
        return 0;
    }
    if (m_ImageInUse) {
        m_LastLoad = LoadResult::Failure(LoadError::ImageInUse);
        return 0; // refused, but the file is still loaded
    }
    const int loaded = LoadFirmware(g_ProjectFilePath);
    if (!loaded) {
        m_FileLoaded = 0;
    }
    return loaded;
}

int CBrenwickDoc::OnNewDocument() {
    m_FileLoaded = 0;
    if (m_FirstNewDoc == 0) {
        return 1; // a later File New only clears the loaded flag
    }
    m_FirstNewDoc = 0;
    if (!g_ProjectFilePath.empty()) {
        if (LoadFirmware(g_ProjectFilePath)) {
            m_PathName = g_ProjectFilePath;
            m_FileLoaded = 1;
        } else {
            g_ProjectFilePath.clear(); // forget a file that no longer loads
        }
    }
    m_Modified = false;
    return 1;
}

int CBrenwickDoc::OnOpenDocument(const std::string& path) {
    m_Modified = false;
    if (m_ImageInUse) {
        m_LastLoad = LoadResult::Failure(LoadError::ImageInUse);
        return 0; // the current file stays loaded
    }
    if (LoadFirmware(path)) {
        g_ProjectFilePath = path;
        m_PathName = path;
        m_FileLoaded = 1;
        return 1;
    }
    m_FileLoaded = 0; // the project path keeps naming the previous file
    return 0;
}

MakeBinOutcome CBrenwickDoc::MakeBin(const std::string& outputPath) const {
    using namespace image_layout;
    MakeBinOutcome outcome;
    if (g_ProjectFilePath.empty()) {
        outcome.status = MakeBinStatus::NoFile;
        return outcome;
    }
    // An image of its own, stamped for the fixed boot area: the run that may follow uses the document's
    // image and the device's geometry untouched, and a run in progress keeps sending its own buffer.
    CFirmwareImage image;
    outcome.load = image.Load(g_ProjectFilePath, m_ReadLimits);
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

std::string CBrenwickDoc::DefaultMakeBinPath() {
    return Utf8FromPath(PathFromUtf8(HomeFolder()) / "Firm_xxx.bin");
}

} // namespace brenwick
