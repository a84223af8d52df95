// The requests the instrument understands, told apart by their frame alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velda {

enum class EInstrumentRequest : std::uint8_t {
  Inquiry,
  ModeOn,
  ModeOff,
  BaudUp,
  BaudReset,
  SetDevice,
  BlockStart,
  DataPacket,
  WriteBlock,
  BlockChecksum,
  AreaCheck,
};
inline constexpr std::size_t kInstrumentRequestKinds = 11;

namespace sim {

// Group and command bytes (offsets 5 and 6) of a request; its reply carries the same group and
// the command with bit 6 set.
struct CRequestCode {
  std::uint8_t nGroup = 0;
  std::uint8_t nCommand = 0;
};
CRequestCode RequestCode(EInstrumentRequest eRequest);

// The names used in fault plans: "inquiry", "mode-on", ..., "area-check".
std::string_view RequestName(EInstrumentRequest eRequest);
std::optional<EInstrumentRequest> RequestFromName(std::string_view strName);

// Which request a message is: F0 43 50 03 00 <group> <command> ... F7 with no byte of 80 or more
// between F0 and F7. nullopt for anything else (another header, an unknown group or command,
// a broken frame): the instrument does not answer such messages. Payload lengths are not judged.
std::optional<EInstrumentRequest> ClassifyRequest(const std::uint8_t* p, std::size_t n);

}  // namespace sim
}  // namespace velda
