#include "midi/driver/rtmidi/rtmidi_output.h"

#include <rtmidi/RtMidi.h>

#include <string>

#include "midi/driver/rtmidi/library_notes.h"

namespace velda::rtmidi {

CRtMidiOutput::CRtMidiOutput(std::unique_ptr<RtMidiOut> pOut, std::size_t nMaxMessage)
    : m_pOut(std::move(pOut)), m_nMaxMessage(nMaxMessage) {}

CRtMidiOutput::~CRtMidiOutput() = default;

MMRESULT CRtMidiOutput::LongMsg(MIDIHDR* pHdr) {
  const DWORD dwFlags = LoadHeaderFlags(*pHdr);
  if ((dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if (pHdr->dwBufferLength > m_nMaxMessage) {
    // The API would drop it without a word: refused here instead.
    LibraryNote("a message of " + std::to_string(pHdr->dwBufferLength) +
                " bytes is longer than this MIDI API carries (" + std::to_string(m_nMaxMessage) + "): not sent");
    return MMSYSERR_INVALPARAM;
  }
  StoreHeaderFlags(*pHdr, (dwFlags & ~MHDR_DONE) | MHDR_INQUEUE);
  try {
    m_pOut->sendMessage(reinterpret_cast<const unsigned char*>(pHdr->lpData), pHdr->dwBufferLength);
  } catch (const RtMidiError& e) {
    LibraryNote(std::string("rtmidi: ") + e.what());
    m_bFailed = true;
  }
  StoreHeaderFlags(*pHdr, (LoadHeaderFlags(*pHdr) & ~MHDR_INQUEUE) | MHDR_DONE);
  return m_bFailed ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

}  // namespace velda::rtmidi
