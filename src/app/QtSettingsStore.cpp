#include "app/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryFile>

namespace brenwick::app {

namespace {

const QString kRecentSection = QStringLiteral("Recent File List");
constexpr int kRecentCount = 3;

std::unique_ptr<QSettings> OpenSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Veltmark"), QStringLiteral("Brenwick"));
}

// Whether the file holds what a settings file written by the program never does: NUL or other control bytes
// (tab, CR and LF aside) or text that is not UTF-8. QSettings reads past such bytes and fails only at the
// next write, when the changes of the run are lost. A file that cannot be opened is not judged here.
bool LooksDamaged(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray bytes = file.readAll();
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') {
            return true;
        }
    }
    // Stateless: a sequence cut off at the end of the file counts as an error too.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = utf8(bytes); // decoded only for the errors met
    return utf8.hasError();
}

// The nearest of the path's folders that exists, found by cutting names off the end of the text (QDir cannot
// climb out of a folder that is not there); empty when there is none.
QString NearestExisting(const QString& folder) {
    QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    while (!QFileInfo::exists(path)) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 || path == QStringLiteral("/")) {
            return {};
        }
        path = slash == 0 ? QStringLiteral("/") : path.left(slash);
    }
    return path;
}

// Whether new entries can be made in the folder, found by making one: the write makes a lock file and a
// temporary file there and renames the latter over the settings file.
bool CanCreateIn(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.Brenwick-XXXXXX"));
    return probe.open(); // and it is removed again as it goes
}

} // namespace

CQtSettingsStore::CQtSettingsStore() : m_Settings(OpenSettings()) {
    if (m_Settings->status() == QSettings::FormatError || LooksDamaged(m_Settings->fileName())) {
        // Writing would merge into the damaged text, or fail; keep it aside for a look and start afresh.
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
    if (file.exists() && !(file.isFile() && file.isWritable())) {
        return false;
    }
    // The folders up to the file are made on the first write: the nearest existing one must take them, and
    // the settings folder, once there, the write's own files.
    const QString folder = NearestExisting(file.absolutePath());
    return !folder.isEmpty() && QFileInfo(folder).isDir() && CanCreateIn(folder);
}

} // namespace brenwick::app
