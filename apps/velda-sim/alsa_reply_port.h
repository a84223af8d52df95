// velda-sim's output port on the ALSA sequencer, in place of a library's. The kernel copies an
// event into the receiving program's input pool without waiting; when the pool (about 5.6 KB by
// default) has no room, the receiver loses every event queued for it, and a library's send
// leaves the refused event in its buffer to go out again before the next reply. So a reply goes
// out in parts of kPartBytes, each sent when every program subscribed to the port has room for it,
// and sent directly: a part the sequencer refuses is reported and dropped, never sent twice, and
// the next reply goes out as if nothing happened.
#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velda::sim {

class CAlsaReplyPort {
 public:
  static constexpr std::size_t kPartBytes = 256;
  static constexpr int kRoomWaitMs = 2000;  // a receiver that reads nothing for this long is stuck

  // Null with a sentence when the sequencer or the port cannot be opened.
  static std::unique_ptr<CAlsaReplyPort> Open(const std::string& strClientName, const std::string& strPortName,
                                              std::string& strError);
  ~CAlsaReplyPort();
  CAlsaReplyPort(const CAlsaReplyPort&) = delete;
  CAlsaReplyPort& operator=(const CAlsaReplyPort&) = delete;

  // Sends one message to every subscriber; false with a sentence when the sequencer refused a part
  // (the rest of the message is then not sent).
  bool Send(const std::uint8_t* p, std::size_t n, std::string& strError);

 private:
  CAlsaReplyPort(snd_seq_t* pSeq, int nPort);
  // Waits until every subscribed program's input pool can take nCells (or kRoomWaitMs passed).
  void WaitForRoom(int nCells);
  bool SubscribersHaveRoom(int nCells);

  snd_seq_t* m_pSeq;
  int m_nPort;
  int m_fd = -1;  // the sequencer device, for asking about other programs' pools
};

}  // namespace velda::sim
