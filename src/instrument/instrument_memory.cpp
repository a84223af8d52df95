#include "instrument/instrument_memory.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "instrument/intel_hex.h"

namespace velda {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = "device-";
constexpr std::string_view kSuffix = ".hex";

bool ReadWholeFile(const fs::path& path, std::string& strText) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  strText = text.str();
  return !file.bad();
}

}  // namespace

const CSparseMemory* CInstrumentMemory::FindDevice(std::uint8_t nDevice) const {
  const auto it = m_aDevices.find(nDevice);
  return it == m_aDevices.end() ? nullptr : &it->second;
}

void CInstrumentMemory::Merge(const CInstrumentMemory& other) {
  for (const auto& [nDevice, bank] : other.m_aDevices) m_aDevices[nDevice].Merge(bank);
}

bool LoadHexFolder(const std::string& strDir, CInstrumentMemory& memory, std::string& strError) {
  std::error_code ec;
  if (!fs::is_directory(strDir, ec)) {
    strError = "memory folder " + strDir + ": not a folder";
    return false;
  }
  CInstrumentMemory loaded;
  fs::directory_iterator it(strDir, ec);
  if (ec) {
    strError = "memory folder " + strDir + ": " + ec.message();
    return false;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    const std::string strName = entry.path().filename().string();
    std::uint8_t nDevice = 0;
    switch (sim::ClassifyHexFileName(strName, nDevice)) {
      case sim::EHexFileName::NotDevice:
        continue;
      case sim::EHexFileName::BadNumber:
        strError = entry.path().string() + ": not a device number from 0 to 127 without leading zeros";
        return false;
      case sim::EHexFileName::Device:
        break;
    }
    std::error_code ecFile;
    std::string strText;
    if (!entry.is_regular_file(ecFile) || !ReadWholeFile(entry.path(), strText)) {
      strError = entry.path().string() + ": cannot be read";
      return false;
    }
    std::string strReason;
    if (!sim::ParseIntelHex(strText, loaded.Device(nDevice), strReason)) {
      strError = entry.path().string() + ": " + strReason;
      return false;
    }
  }
  if (ec) {
    strError = "memory folder " + strDir + ": " + ec.message();
    return false;
  }
  memory.Merge(loaded);
  return true;
}

bool DumpHexFolder(const std::string& strDir, const CInstrumentMemory& memory, std::string& strError) {
  std::error_code ec;
  fs::create_directories(strDir, ec);
  if (!fs::is_directory(strDir, ec)) {
    strError = "dump folder " + strDir + ": cannot be created";
    return false;
  }
  for (const auto& [nDevice, bank] : memory.Devices()) {
    const fs::path path = fs::path(strDir) / sim::HexFileName(nDevice);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    // Written as it is formatted: the text of a large memory is several times its size.
    sim::WriteIntelHex(bank, [&file](std::string_view strPiece) {
      file.write(strPiece.data(), static_cast<std::streamsize>(strPiece.size()));
    });
    file.close();
    if (!file) {
      strError = path.string() + ": cannot be written";
      return false;
    }
  }
  return true;
}

namespace sim {

std::string HexFileName(std::uint8_t nDevice) {
  return std::string(kPrefix) + std::to_string(nDevice) + std::string(kSuffix);
}

EHexFileName ClassifyHexFileName(std::string_view strName, std::uint8_t& nDevice) {
  if (strName.size() <= kPrefix.size() + kSuffix.size() || !strName.starts_with(kPrefix) ||
      !strName.ends_with(kSuffix)) {
    return EHexFileName::NotDevice;
  }
  const std::string_view strNumber = strName.substr(kPrefix.size(), strName.size() - kPrefix.size() - kSuffix.size());
  if (strNumber.size() > 3 || (strNumber.size() > 1 && strNumber.front() == '0')) return EHexFileName::BadNumber;
  unsigned nValue = 0;
  for (const char c : strNumber) {
    if (c < '0' || c > '9') return EHexFileName::BadNumber;
    nValue = nValue * 10 + static_cast<unsigned>(c - '0');
  }
  if (nValue > kMaxDeviceNumber) return EHexFileName::BadNumber;
  nDevice = static_cast<std::uint8_t>(nValue);
  return EHexFileName::Device;
}

}  // namespace sim
}  // namespace velda
