#pragma once

#include "image/FirmwareImage.h"
#include "image/LoadResult.h"

#include <cstddef>
#include <string>

namespace brenwick {

enum class MakeBinStatus { Written, NoFile, LoadFailed, WriteFailed };

struct MakeBinOutcome {
    MakeBinStatus status = MakeBinStatus::LoadFailed;
    LoadResult load;    // why the file did not load
    int errnoValue = 0; // why the output could not be written
    size_t bytes = 0;   // bytes written
};

// The device's flash layout as far as the image needs it: a load stamps the image once it is known.
struct FlashLayout {
    int32_t flashSize = 0; // 0: no device has reported its geometry yet
    int32_t bootLength = 0;
};

// The firmware file the operator works with: its path, the image read from it and whether it is loaded. Each
// document has its own; the front end's thread calls all of it.
class CProject {
  public:
    // Reads the file into the image and stamps it when the layout is known; non-zero on success.
    int LoadFirmware(const std::string& path, FlashLayout layout);
    // Reads the project file again (the Start button's precondition); non-zero when it loaded.
    int ReloadImage(FlashLayout layout);
    // File New; the first one reloads the project file (the last one of the previous session).
    int OnNewDocument(FlashLayout layout);
    // File Open, a recent file, a dropped file or a file named on the command line.
    int OnOpenDocument(const std::string& path, FlashLayout layout);
    // A file named at start-up takes the place of reloading the last one.
    void SkipFirstReload() { m_FirstNewDoc = 0; }
    // Records why a load was refused without touching the image (a run is sending it); returns 0.
    int Refuse(LoadError why);
    // The stamped application area of the project file as a flat binary file, from an image of its own.
    MakeBinOutcome MakeBin(const std::string& outputPath) const;
    static std::string DefaultMakeBinPath();

    // The path of the current firmware file: set by a successful open, kept in the settings by the front end.
    const std::string& FilePath() const { return m_ProjectFilePath; }
    void SetFilePath(std::string path) { m_ProjectFilePath = std::move(path); }
    bool IsLoaded() const { return m_FileLoaded != 0; }
    const CFirmwareImage& Image() const { return m_Firmware; }
    const LoadResult& LastLoadResult() const { return m_LastLoad; }
    void SetReadLimits(ReadLimits limits) { m_ReadLimits = std::move(limits); }
    const std::string& PathName() const { return m_PathName; }

  private:
    CFirmwareImage m_Firmware;
    std::string m_ProjectFilePath;
    int m_FileLoaded = 0;
    int m_FirstNewDoc = 1;
    LoadResult m_LastLoad;
    ReadLimits m_ReadLimits;
    std::string m_PathName; // the document's title and recent-file entry
};

} // namespace brenwick
