#pragma once

#include <QString>
#include <QStringList>

namespace brenwick::app {

// The recent-file list: the newest first, no duplicates, at most three entries.
class CRecentFiles {
  public:
    static constexpr int kMaxCount = 3;

    void Set(const QStringList& files);
    void Add(const QString& path);
    void Remove(const QString& path);
    const QStringList& Files() const { return m_Files; }

  private:
    QStringList m_Files;
};

} // namespace brenwick::app
