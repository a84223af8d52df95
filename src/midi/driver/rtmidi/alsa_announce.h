// The ALSA sequencer's announce port (System:Announce, 0:1): every client and port that comes,
// goes or changes is announced there at once. A device that goes and comes back between two
// looks at the port lists (a quick re-enumeration, with the same client number) leaves the lists
// as they were, so only the announcement shows it.
#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velda::rtmidi {

class CAlsaAnnounce {
 public:
  // Null when the sequencer cannot be opened or the announce port not subscribed; the lists are
  // then only looked at.
  static std::unique_ptr<CAlsaAnnounce> Open(const std::string& strClientName);
  ~CAlsaAnnounce();
  CAlsaAnnounce(const CAlsaAnnounce&) = delete;
  CAlsaAnnounce& operator=(const CAlsaAnnounce&) = delete;

  // Waits up to nMs for announcements or Wake(); the numbers of the clients announced since the
  // last call (each once, in order), empty when none.
  std::vector<int> Wait(std::uint32_t nMs);
  // Ends a Wait at once; any thread.
  void Wake();

 private:
  CAlsaAnnounce(snd_seq_t* pSeq, int fdWake);
  void Drain(std::vector<int>& aClients);

  snd_seq_t* m_pSeq;
  int m_fdWake;
};

}  // namespace velda::rtmidi
