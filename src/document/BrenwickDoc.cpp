#include "document/BrenwickDoc.h"

namespace brenwick {

namespace {

// Percent of the application area sent; the panel's figure passes 100 by the last page's padding.
int32_t ProgressOf(int32_t sent, int32_t imageLength, int32_t bootLength) {
    const int32_t span = imageLength - bootLength;
    return span <= 0 ? 0 : static_cast<int32_t>(int64_t{sent} * 100 / span);
}

} // namespace

FlashLayout CBrenwickDoc::Layout() const {
    const DeviceInfo device = m_Link.Device();
    return {device.flashSize, device.bootLength};
}

int CBrenwickDoc::LoadFirmware(const std::string& path) {
    // The worker is sending this buffer: leave it and its length alone.
    return IsImageInUse() ? m_Project.Refuse(LoadError::ImageInUse) : m_Project.LoadFirmware(path, Layout());
}

int CBrenwickDoc::ReloadImage() {
    if (!IsFileLoaded()) {
        return 0;
    }
    // Refused, but the file is still loaded.
    return IsImageInUse() ? m_Project.Refuse(LoadError::ImageInUse) : m_Project.ReloadImage(Layout());
}

int CBrenwickDoc::OnOpenDocument(const std::string& path) {
    // The current file stays loaded while a run sends it.
    return IsImageInUse() ? m_Project.Refuse(LoadError::ImageInUse)
                          : m_Project.OnOpenDocument(path, Layout());
}

void CBrenwickDoc::Detach() {
    m_Link.StopWorker();
    m_Link.ClosePort();
    m_Link.Attach(nullptr);
    m_Link.SetMessageCallback({});
}

DocSnapshot CBrenwickDoc::Snapshot() const {
    DocSnapshot s;
    m_Link.Fill(s);
    s.fileLoaded = IsFileLoaded();
    const CFirmwareImage& image = m_Project.Image();
    s.progress = ProgressOf(s.bytesSent, image.m_ImageLen, s.device.bootLength);
    s.imageProductId = image.ProductId(s.device.bootLength);
    return s;
}

} // namespace brenwick
