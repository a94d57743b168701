#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brenwick::panel {

// The recent-file list: the newest first, no duplicates, at most three entries. Paths are kept as given:
// each front end makes them absolute in its own way first, so that one file has one entry.
class CRecentFiles {
  public:
    static constexpr std::size_t kMaxCount = 3;

    // The stored list, newest first; duplicates and entries beyond the third are dropped.
    void Set(const std::vector<std::string>& files);
    void Add(const std::string& path);
    void Remove(const std::string& path);
    bool Contains(const std::string& path) const;
    const std::vector<std::string>& Files() const { return m_Files; }

  private:
    std::vector<std::string> m_Files;
};

} // namespace brenwick::panel
