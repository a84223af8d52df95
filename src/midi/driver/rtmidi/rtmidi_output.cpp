#include "midi/driver/rtmidi/rtmidi_output.h"

#include <rtmidi/RtMidi.h>

#include <string>

#include "midi/driver/rtmidi/jack_client.h"
#include "midi/driver/rtmidi/library_notes.h"

namespace velda::rtmidi {

CRtMidiOutput::CRtMidiOutput(std::unique_ptr<RtMidiOut> pOut, std::size_t nMaxMessage)
    : m_pOut(std::move(pOut)), m_nMaxMessage(nMaxMessage) {}

CRtMidiOutput::CRtMidiOutput(CJackClient* pClient, CJackPort* pPort)
    : m_pJack(pClient), m_pJackPort(pPort), m_nMaxMessage(CJackClient::kMaxMessage) {}

CRtMidiOutput::~CRtMidiOutput() {
  if (m_pJack != nullptr) m_pJack->ClosePort(m_pJackPort);
}

MMRESULT CRtMidiOutput::LongMsg(MIDIHDR* pHdr) {
  const DWORD dwFlags = LoadHeaderFlags(*pHdr);
  if ((dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  // A refused event stays in alsa-lib's output buffer and would go out with the next send, a
  // request delivered twice: a port that failed once sends nothing more until it is reopened.
  if (m_bFailed) return MMSYSERR_ERROR;
  if (pHdr->dwBufferLength > m_nMaxMessage) {
    // The API would drop it without a word: refused here instead.
    LibraryNote("a message of " + std::to_string(pHdr->dwBufferLength) +
                " bytes is longer than this MIDI API carries (" + std::to_string(m_nMaxMessage) + "): not sent");
    return MMSYSERR_INVALPARAM;
  }
  StoreHeaderFlags(*pHdr, (dwFlags & ~MHDR_DONE) | MHDR_INQUEUE);
  try {
    const auto* pBytes = reinterpret_cast<const unsigned char*>(pHdr->lpData);
    if (m_pJack != nullptr) {
      if (!m_pJack->Send(m_pJackPort, pBytes, pHdr->dwBufferLength)) {
        LibraryNote("jack: a message of " + std::to_string(pHdr->dwBufferLength) + " bytes could not be queued");
        m_bFailed = true;
      }
    } else {
      m_pOut->sendMessage(pBytes, pHdr->dwBufferLength);
    }
  } catch (const RtMidiError& e) {
    LibraryNote(std::string("rtmidi: ") + e.what());
    m_bFailed = true;
  }
  StoreHeaderFlags(*pHdr, (LoadHeaderFlags(*pHdr) & ~MHDR_INQUEUE) | MHDR_DONE);
  return m_bFailed ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

}  // namespace velda::rtmidi
