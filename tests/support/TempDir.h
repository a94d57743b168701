#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything in it when the test ends.
class CTempDir {
  public:
    CTempDir() {
        static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        std::random_device random;
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        // A name that is taken (create_directory gives false) is met by drawing another.
        for (int attempt = 0; attempt < 100 && m_Path.empty(); ++attempt) {
            std::string name = "brenwick-test-";
            for (int i = 0; i < 10; ++i) {
                name += kDigits[random() % (sizeof kDigits - 1)];
            }
            std::error_code ec;
            if (std::filesystem::create_directory(base / name, ec)) {
                m_Path = base / name;
            } else if (ec) {
                break;
            }
        }
    }
    ~CTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_Path, ec);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    std::string Path(const std::string& name) const { return (m_Path / name).string(); }
    const std::filesystem::path& Root() const { return m_Path; }

    // Writes the file, and the folders on its way that do not exist yet.
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(Folders(name), std::ios::binary) << text;
        return Path(name);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(Folders(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

  private:
    std::string Folders(const std::string& name) const {
        std::error_code ec; // a folder that cannot be made shows as the file failing to open
        std::filesystem::create_directories((m_Path / name).parent_path(), ec);
        return Path(name);
    }
    std::filesystem::path m_Path;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
