#include "panel/RecentFiles.h"

#include <algorithm>

namespace brenwick::panel {

void CRecentFiles::Set(const std::vector<std::string>& files) {
    m_Files.clear();
    for (auto it = files.crbegin(); it != files.crend(); ++it) {
        Add(*it);
    }
}

void CRecentFiles::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    Remove(path);
    m_Files.insert(m_Files.begin(), path);
    if (m_Files.size() > kMaxCount) {
        m_Files.resize(kMaxCount);
    }
}

void CRecentFiles::Remove(const std::string& path) {
    std::erase(m_Files, path);
}

bool CRecentFiles::Contains(const std::string& path) const {
    return std::find(m_Files.begin(), m_Files.end(), path) != m_Files.end();
}

} // namespace brenwick::panel
