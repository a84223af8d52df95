// One open output: an RtMidi output (ALSA) or a port of our JACK client, connected to a port.
// Each long message goes out whole in one call; it is copied, so the header is done when the
// call returns.
#pragma once

#include <cstddef>
#include <memory>

#include "midi/driver/midi_driver.h"

class RtMidiOut;

namespace velda::rtmidi {

class CJackClient;
class CJackPort;

class CRtMidiOutput {
 public:
  // nMaxMessage: the longest message the API carries whole.
  CRtMidiOutput(std::unique_ptr<RtMidiOut> pOut, std::size_t nMaxMessage);
  CRtMidiOutput(CJackClient* pClient, CJackPort* pPort);
  ~CRtMidiOutput();
  CRtMidiOutput(const CRtMidiOutput&) = delete;
  CRtMidiOutput& operator=(const CRtMidiOutput&) = delete;

  HMIDIOUT Handle() { return reinterpret_cast<HMIDIOUT>(this); }
  MMRESULT LongMsg(MIDIHDR* pHdr);
  // Whether RtMidi reported an error since the port opened.
  bool Failed() const { return m_bFailed; }
  void SetFailed() { m_bFailed = true; }

 private:
  std::unique_ptr<RtMidiOut> m_pOut;
  CJackClient* m_pJack = nullptr;
  CJackPort* m_pJackPort = nullptr;
  std::size_t m_nMaxMessage;
  bool m_bFailed = false;
};

}  // namespace velda::rtmidi
