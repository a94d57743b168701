#include "app/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace brenwick::app {

namespace {

const QString kRecentSection = QStringLiteral("Recent File List");
constexpr int kRecentCount = 3;

std::unique_ptr<QSettings> OpenSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Veltmark"), QStringLiteral("Brenwick"));
}

} // namespace

CQtSettingsStore::CQtSettingsStore() : m_Settings(OpenSettings()) {
    if (m_Settings->status() == QSettings::FormatError) {
        // Writing would merge into the damaged text; keep it aside for a look and start afresh.
        m_ReadFailed = true;
        const QString file = m_Settings->fileName();
        m_Settings.reset();
        QFile::remove(file + QStringLiteral(".bad"));
        QFile::rename(file, file + QStringLiteral(".bad"));
        m_Settings = OpenSettings();
    }
}

QString CQtSettingsStore::Key(const std::string& section, const std::string& name) {
    // A backslash in a section name separates sub-sections, as a slash does.
    QString key = QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(name);
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return key;
}

std::optional<std::string> CQtSettingsStore::GetString(const std::string& section, const std::string& name) {
    const QVariant value = m_Settings->value(Key(section, name));
    if (!value.isValid()) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

bool CQtSettingsStore::PutString(const std::string& section, const std::string& name,
                                 const std::string& value) {
    m_Settings->setValue(Key(section, name), QString::fromStdString(value));
    m_Settings->sync();
    return m_Settings->status() == QSettings::NoError;
}

QStringList CQtSettingsStore::RecentFiles() {
    QStringList files;
    for (int k = 1; k <= kRecentCount; ++k) {
        const QString file = m_Settings->value(kRecentSection + QStringLiteral("/File%1").arg(k)).toString();
        if (!file.isEmpty()) {
            files.append(file);
        }
    }
    return files;
}

bool CQtSettingsStore::PutRecentFiles(const QStringList& files) {
    m_Settings->remove(kRecentSection);
    for (int k = 0; k < files.size() && k < kRecentCount; ++k) {
        m_Settings->setValue(kRecentSection + QStringLiteral("/File%1").arg(k + 1), files[k]);
    }
    m_Settings->sync();
    return m_Settings->status() == QSettings::NoError;
}

bool CQtSettingsStore::IsWritable() const {
    const QFileInfo file(m_Settings->fileName());
    if (file.exists()) {
        return file.isFile() && file.isWritable();
    }
    // The folders up to the file are made on the first write: the nearest existing one must take them.
    QDir dir = file.dir();
    while (!dir.exists()) {
        if (!dir.cdUp()) {
            return false;
        }
    }
    return QFileInfo(dir.absolutePath()).isWritable();
}

} // namespace brenwick::app
