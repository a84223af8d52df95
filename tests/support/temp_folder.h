// A fresh folder of the test's own under the system's temporary folder, removed with the object.
// Header-only, so that tests linking only the framework or only the instrument can use it.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace velda::test {

class CTempFolder {
 public:
  // strPrefix names the folder, so a left-over one tells who made it.
  explicit CTempFolder(const std::string& strPrefix = "velda-test") {
    std::random_device random;
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    for (int nTry = 0; nTry < 100 && m_path.empty(); ++nTry) {
      const std::filesystem::path path = base / (strPrefix + "-" + std::to_string(random()));
      // A name taken by another run is never reused: create_directory makes only a new one.
      if (std::filesystem::create_directory(path, ec)) m_path = path;
    }
  }
  ~CTempFolder() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  bool IsMade() const { return !m_path.empty(); }
  const std::filesystem::path& Path() const { return m_path; }
  std::string Str() const { return m_path.string(); }
  std::filesystem::path operator/(const std::string& strName) const { return m_path / strName; }

 private:
  std::filesystem::path m_path;
};

}  // namespace velda::test
