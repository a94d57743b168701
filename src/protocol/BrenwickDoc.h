#pragma once

#include "image/FirmwareImage.h"
#include "image/LoadResult.h"

#include <atomic>
#include <cstdint>
#include <string>

// The path of the current firmware file: set by a successful open, kept in the settings by the front end,
// read again before every programming run.
extern std::string g_ProjectFilePath;

enum class MakeBinStatus { Written, LoadFailed, WriteFailed };

struct MakeBinOutcome {
    MakeBinStatus status = MakeBinStatus::LoadFailed;
    LoadResult load;    // why the file did not load
    int errnoValue = 0; // why the output could not be written
    size_t bytes = 0;   // bytes written
};

// The one document: the firmware image, the link to the device and the port settings.
class CBrenwickDoc {
  public:
    CBrenwickDoc() = default;
    CBrenwickDoc(const CBrenwickDoc&) = delete;
    CBrenwickDoc& operator=(const CBrenwickDoc&) = delete;

    // --- firmware image ---
    // Reads the file into the image and stamps it when a device has reported its geometry; non-zero on
    // success.
    int LoadFirmware(const std::string& path);
    // Reads the current project file again (the Start button's precondition); non-zero when it loaded.
    int ReloadImage();
    // File New, and the first initialisation at start-up (which reloads the last project file).
    int OnNewDocument();
    // File Open, a recent file, a dropped file or a file named on the command line.
    int OnOpenDocument(const std::string& path);
    // Exports the stamped application area of the project file as a flat binary file.
    MakeBinOutcome MakeBin(const std::string& outputPath);
    MakeBinOutcome MakeBin() { return MakeBin(DefaultMakeBinPath()); }
    static std::string DefaultMakeBinPath();

    const LoadResult& LastLoadResult() const { return m_LastLoad; }
    const std::string& PathName() const { return m_PathName; }
    bool IsModified() const { return m_Modified; }

    CFirmwareImage m_Firmware; // m_Image, m_ImageLen, m_FlashBase, m_InfoOffset
    int m_FileLoaded = 0;
    int m_FirstNewDoc = 1;

    // Device geometry, written by the receiver when the device reports it (0 until then).
    std::atomic<int32_t> m_FlashSize{0};
    std::atomic<int32_t> m_BootLength{0};

  private:
    // Called only by LoadFirmware, after the family is known.
    int StampImage();

    LoadResult m_LastLoad;
    std::string m_PathName; // the document's title and recent-file entry
    bool m_Modified = false;
};
