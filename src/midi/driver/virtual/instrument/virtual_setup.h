// The virtual MIDI side of a run, wired in one place: the virtual driver and the simulated
// instrument on its two devices. In virtual time the device events run on the installer's own
// loop, so the instrument lives on the same clock; in real time a device thread of the setup's
// own plays the driver's thread, as a real driver's would. The program, the benchmark and the
// test rig each build one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fw/device_thread.h"
#include "fw/scheduler.h"
#include "instrument/sim_instrument.h"
#include "midi/driver/virtual/instrument/hosted_instrument.h"
#include "midi/driver/virtual/virtual_midi_driver.h"

namespace velda {

struct CVirtualSetupOptions {
  bool bInstrument = true;                     // the simulated instrument ...
  EPortNaming eNaming = EPortNaming::Windows;  // ... on these port names
  CInstrumentConfig instrument;                // its settings and fault plan; strDumpFolder: dump on Finish
  // Further settings ("key=value", as the instrument's hosts take them), applied after instrument.
  std::vector<std::string> aSettings;
  // Whether the driver keeps a copy of every message sent (tests read them back; a long run
  // would hold a copy of the whole upload).
  bool bKeepOutMessages = true;
};

class CVirtualSetup {
 public:
  // pVirtualLoop: the installer's loop on a virtual clock; null: real time, on a device thread.
  // Null with strError when a setting is not understood.
  static std::unique_ptr<CVirtualSetup> Create(fw::CScheduler* pVirtualLoop, const CVirtualSetupOptions& opt,
                                               std::string& strError);
  ~CVirtualSetup();
  CVirtualSetup(const CVirtualSetup&) = delete;
  CVirtualSetup& operator=(const CVirtualSetup&) = delete;

  CVirtualMidiDriver& Driver() const { return *m_pDriver; }
  // The simulated instrument, or null.
  CHostedInstrument* Instrument() const { return m_pInstrument.get(); }

  // The run is over: no device event runs on the device thread any more, and the instrument's
  // memory is written where strDumpFolder asked, once. strDumpFolder names the folder written
  // (empty when none was asked); false with strError when the dump failed.
  bool Finish(std::string& strDumpFolder, std::string& strError);

 private:
  CVirtualSetup() = default;

  std::unique_ptr<fw::CDeviceThread> m_pThread;
  std::unique_ptr<CVirtualMidiDriver> m_pDriver;
  std::unique_ptr<CHostedInstrument> m_pInstrument;
  std::string m_strDumpFolder;
};

}  // namespace velda
