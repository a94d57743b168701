#include "app/RecentFiles.h"

#include <QFileInfo>

namespace brenwick::app {

namespace {

QString Normalised(const QString& path) {
    const QFileInfo info(path);
    return info.isRelative() ? info.absoluteFilePath() : path;
}

} // namespace

void CRecentFiles::Set(const QStringList& files) {
    m_Files.clear();
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        Add(*it);
    }
}

void CRecentFiles::Add(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    const QString file = Normalised(path);
    m_Files.removeAll(file);
    m_Files.prepend(file);
    while (m_Files.size() > kMaxCount) {
        m_Files.removeLast();
    }
}

void CRecentFiles::Remove(const QString& path) {
    m_Files.removeAll(Normalised(path));
}

} // namespace brenwick::app
