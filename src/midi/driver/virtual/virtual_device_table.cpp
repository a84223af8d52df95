#include "midi/driver/virtual/virtual_device_table.h"

namespace velda::vmidi {

HMIDIIN ToInHandle(std::uint32_t n) { return reinterpret_cast<HMIDIIN>(static_cast<std::uintptr_t>(n)); }
HMIDIOUT ToOutHandle(std::uint32_t n) { return reinterpret_cast<HMIDIOUT>(static_cast<std::uintptr_t>(n)); }
std::uint32_t FromHandle(const void* h) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(h)); }

bool IsHeaderArgOk(const MIDIHDR* pHdr, UINT cbHdr) { return pHdr != nullptr && cbHdr >= sizeof(MIDIHDR); }

void MarkDone(MIDIHDR& hdr) { StoreHeaderFlags(hdr, (LoadHeaderFlags(hdr) & ~MHDR_INQUEUE) | MHDR_DONE); }

void MarkQueued(MIDIHDR& hdr) { StoreHeaderFlags(hdr, (LoadHeaderFlags(hdr) & ~MHDR_DONE) | MHDR_INQUEUE); }

MMRESULT PrepareHeader(MIDIHDR* pHdr) {
  if (pHdr->lpData == nullptr || pHdr->dwBufferLength == 0) {
    return MMSYSERR_INVALPARAM;
  }
  StoreHeaderFlags(*pHdr, LoadHeaderFlags(*pHdr) | MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(MIDIHDR* pHdr) {
  const DWORD dwFlags = LoadHeaderFlags(*pHdr);
  if ((dwFlags & MHDR_INQUEUE) != 0) {
    return MIDIERR_STILLPLAYING;
  }
  StoreHeaderFlags(*pHdr, dwFlags & ~MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT HeaderCall(bool bHandleOpen, MIDIHDR* pHdr, UINT cbHdr, MMRESULT (*pfnApply)(MIDIHDR*)) {
  if (!IsHeaderArgOk(pHdr, cbHdr)) {
    return MMSYSERR_INVALPARAM;
  }
  if (!bHandleOpen) {
    return MMSYSERR_INVALHANDLE;
  }
  return pfnApply(pHdr);
}

void ReturnHeld(std::vector<MIDIHDR*>& aHeld) {
  for (MIDIHDR* pHdr : aHeld) {
    MarkDone(*pHdr);
  }
  aHeld.clear();
}

}  // namespace velda::vmidi
