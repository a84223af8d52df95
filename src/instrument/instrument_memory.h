// The instrument's memory banks, one per device number (set device selects one), and their
// Intel HEX files: device-<n>.hex, n in decimal, one file per device in a folder.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "instrument/sparse_memory.h"

namespace velda {

class CInstrumentMemory {
 public:
  // The bank of device nDevice, created empty on first use.
  CSparseMemory& Device(std::uint8_t nDevice) { return m_aDevices[nDevice]; }
  // nullptr when nothing was ever written to or loaded for that device.
  const CSparseMemory* FindDevice(std::uint8_t nDevice) const;
  const std::map<std::uint8_t, CSparseMemory>& Devices() const { return m_aDevices; }

  // Writes every written byte of other's banks into the same banks here.
  void Merge(const CInstrumentMemory& other);
  void Clear() { m_aDevices.clear(); }

 private:
  std::map<std::uint8_t, CSparseMemory> m_aDevices;
};

// Device numbers travel as one 7-bit byte.
inline constexpr unsigned kMaxDeviceNumber = 127;

// Reads every device-<n>.hex file of strDir into memory (other files are left alone). On an
// error memory is unchanged and strError names the file and the reason.
bool LoadHexFolder(const std::string& strDir, CInstrumentMemory& memory, std::string& strError);

// Writes device-<n>.hex into strDir (created if missing) for every bank of memory, holding only
// the written bytes; other files in the folder are not touched.
bool DumpHexFolder(const std::string& strDir, const CInstrumentMemory& memory, std::string& strError);

namespace sim {

std::string HexFileName(std::uint8_t nDevice);

// What a file name in a memory folder is: not a device file, the file of a device (nDevice set),
// or shaped like one but with a number that is not a device number (leading zeros, above 127).
enum class EHexFileName { NotDevice, Device, BadNumber };
EHexFileName ClassifyHexFileName(std::string_view strName, std::uint8_t& nDevice);

}  // namespace sim
}  // namespace velda
