// The system's MIDI devices: the ALSA sequencer through RtMidi, or JACK through one client of our
// own (jack_client.h), chosen explicitly. Ports are listed by name (the product name is the
// port's own name, at most 31 bytes; our own client's ports are left out); input and output have
// the buffer semantics of the rest of the driver layer (rtmidi_input.h, rtmidi_output.h).
//
// Device changes: a thread looks at the port lists a few times a second, and on ALSA also at once
// when the sequencer announces a client or port (alsa_announce.h); it reports every change (and
// the JACK server going away) through fnDeviceChange, by default as WM_DEVICECHANGE with
// DBT_DEVNODES_CHANGED and data 0 to the main window. An announcement about a client whose port
// was listed is a change even when the lists look the same afterwards: the device went and came
// back between two looks.
//
// The JACK server going away: our client is then dead, and making a new client before the dead
// one is closed crashes libjack. So once the server is gone the driver lists no devices and opens
// nothing; when every port is closed, it closes the dead client and looks for a server again (a
// restarted one is used from then on).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/driver/midi_driver.h"
#include "midi/driver/rtmidi/port_names.h"

class RtMidiIn;
class RtMidiOut;

namespace velda::rtmidi {

class CRtMidiInput;
class CRtMidiOutput;
class CJackClient;
class CAlsaAnnounce;

struct CRtMidiOptions {
  EMidiApi eApi = EMidiApi::Alsa;
  std::string strClientName = "velda";   // our clients' name (JACK adds "-01" ... to the others)
  std::uint32_t nWatchMs = 200;          // how often the port lists are looked at; 0: never (nor announcements)
  std::function<void()> fnDeviceChange;  // empty: WM_DEVICECHANGE to the main window
};

class CRtMidiDriver : public CMidiDriver {
 public:
  // Null with a sentence for the user when the API cannot start (no JACK server, no ALSA
  // sequencer). Nothing is printed; the libraries' messages go to the library notes.
  static std::unique_ptr<CRtMidiDriver> Create(const CRtMidiOptions& opt, std::string& strError);
  ~CRtMidiDriver() override;
  CRtMidiDriver(const CRtMidiDriver&) = delete;
  CRtMidiDriver& operator=(const CRtMidiDriver&) = delete;

  EMidiApi Api() const { return m_opt.eApi; }
  // The longest message the API carries whole (JACK: 16379 bytes per event).
  static std::size_t MaxMessage(EMidiApi eApi);
  // Whether the JACK server went away while we were connected.
  bool ServerGone() const;

  UINT InGetNumDevs() override;
  MMRESULT InGetDevCaps(UINT_PTR uDeviceId, MIDIINCAPS* pCaps, UINT cbCaps) override;
  MMRESULT InOpen(HMIDIIN* phMidiIn, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                  DWORD fdwOpen) override;
  MMRESULT InStart(HMIDIIN hMidiIn) override;
  MMRESULT InStop(HMIDIIN hMidiIn) override;
  MMRESULT InReset(HMIDIIN hMidiIn) override;
  MMRESULT InClose(HMIDIIN hMidiIn) override;
  MMRESULT InPrepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT InUnprepareHeader(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT InAddBuffer(HMIDIIN hMidiIn, MIDIHDR* pHdr, UINT cbHdr) override;

  UINT OutGetNumDevs() override;
  MMRESULT OutGetDevCaps(UINT_PTR uDeviceId, MIDIOUTCAPS* pCaps, UINT cbCaps) override;
  MMRESULT OutOpen(HMIDIOUT* phMidiOut, UINT uDeviceId, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                   DWORD fdwOpen) override;
  MMRESULT OutPrepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutUnprepareHeader(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutLongMsg(HMIDIOUT hMidiOut, MIDIHDR* pHdr, UINT cbHdr) override;
  MMRESULT OutReset(HMIDIOUT hMidiOut) override;
  MMRESULT OutClose(HMIDIOUT hMidiOut) override;
  // RtMidi's name of the port.
  std::string InSystemName(UINT uDeviceId) override;
  std::string OutSystemName(UINT uDeviceId) override;

 private:
  struct CPort {
    std::string strFull;     // RtMidi's name
    std::string strProduct;  // what the capabilities show
    bool operator==(const CPort&) const = default;
  };

  explicit CRtMidiDriver(const CRtMidiOptions& opt);
  // The listing objects (ALSA) or our client (JACK); m_mxDir held.
  bool MakeDirectory(std::string& strError);
  void DropDirectory();
  // Whether devices may be listed and opened now; after the server went away and every port is
  // closed, starts over with a new server if one answers. m_mxDir held.
  bool Usable();
  std::vector<CPort> ListIn();
  std::vector<CPort> ListOut();
  void WatchLoop();
  // Waits for the next look: the period, an announcement or the stop. The clients announced.
  std::vector<int> WaitForNextLook();
  // Whether a listed port belongs to one of these clients.
  bool ListsAnyOf(const std::vector<int>& aClients) const;
  CRtMidiInput* FindIn(HMIDIIN h);
  CRtMidiOutput* FindOut(HMIDIOUT h);

  CRtMidiOptions m_opt;
  mutable std::mutex m_mxDir;  // before m_mxHandles when both are taken
  std::unique_ptr<CJackClient> m_pJack;
  std::unique_ptr<RtMidiIn> m_pListIn;
  std::unique_ptr<RtMidiOut> m_pListOut;
  bool m_bGone = false;
  std::uint64_t m_nLastRevive = 0;
  std::vector<CPort> m_aIn;  // numbered as by the last count
  std::vector<CPort> m_aOut;
  std::vector<CPort> m_aSeenIn;  // the watcher's last look
  std::vector<CPort> m_aSeenOut;

  std::mutex m_mxHandles;
  std::map<void*, std::unique_ptr<CRtMidiInput>> m_ins;
  std::map<void*, std::unique_ptr<CRtMidiOutput>> m_outs;

  std::unique_ptr<CAlsaAnnounce> m_pAnnounce;  // ALSA only, and only with a watcher
  std::mutex m_mxStop;
  std::condition_variable m_cvStop;
  bool m_bStop = false;
  std::thread m_watcher;
};

}  // namespace velda::rtmidi
