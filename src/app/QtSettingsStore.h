#pragma once

#include "document/SettingsStore.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>

namespace brenwick::app {

// The per-user settings file ($XDG_CONFIG_HOME/Veltmark/Brenwick.conf) behind the document's store
// interface. Sections keep their names ("Settings\Ints", "FilePaths", ...).
class CQtSettingsStore : public ISettingsStore {
  public:
    CQtSettingsStore();

    std::optional<std::string> GetString(const std::string& section, const std::string& name) override;
    // Written through to the file at once, so that a failure is known to the caller.
    bool PutString(const std::string& section, const std::string& name, const std::string& value) override;

    QStringList RecentFiles();
    bool PutRecentFiles(const QStringList& files);

    QString FileName() const { return m_Settings->fileName(); }
    // The file existed but could not be read as settings (Qt's format error, or control bytes or text that is
    // not UTF-8 in it): it was moved aside to the file name plus ".bad" and the program runs on defaults.
    bool ReadFailed() const { return m_ReadFailed; }
    // Whether a write can succeed: the file, if there, is a writable file, and the nearest existing folder on
    // its path lets files be made in it (checked by making and removing one). A missing file or missing
    // folders that can be made count as writable; nothing of the settings' own is made.
    bool IsWritable() const;

  private:
    static QString Key(const std::string& section, const std::string& name);

    std::unique_ptr<QSettings> m_Settings;
    bool m_ReadFailed = false;
};

} // namespace brenwick::app
