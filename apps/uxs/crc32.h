// CRC-32 (the one of zip and PNG: reflected polynomial EDB88320, initial and final value all
// ones), so that an entry's fingerprint can be compared with what other tools print.
#pragma once

#include <cstdint>
#include <span>

namespace velda::uxs {

std::uint32_t Crc32(std::span<const std::uint8_t> aBytes);

}  // namespace velda::uxs
