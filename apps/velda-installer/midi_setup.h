// The MIDI side of one run: the built-in simulated instrument on the virtual driver (on a device
// thread in real time, or on the installer's loop with a virtual clock) or the system's MIDI, seen
// through the device names given with --midi-in and --midi-out.
#pragma once

#include <memory>
#include <string>

#include "app_options.h"
#include "fw/msgloop.h"
#include "midi/driver/midi_driver.h"
#include "midi/driver/virtual/instrument/virtual_setup.h"

namespace velda::app {

class CAliasMidiDriver;

class CMidiSetup {
 public:
  // pVirtualLoop: the installer's loop when it runs on a virtual clock (the simulated instrument
  // then lives in the same time); null for real time. Null with strError when there is no MIDI.
  static std::unique_ptr<CMidiSetup> Create(const CAppOptions& opt, fw::CMsgLoop* pVirtualLoop, std::string& strError);
  ~CMidiSetup();
  CMidiSetup(const CMidiSetup&) = delete;
  CMidiSetup& operator=(const CMidiSetup&) = delete;

  // The driver the installer uses (names as the user chose them) becomes the process's driver.
  void MakeCurrent();
  // The devices under their real names, for --list-ports.
  CMidiDriver& Devices() const;
  // The MIDI system in use ("alsa", "jack"; "virtual" for the simulated instrument).
  const std::string& ApiName() const { return m_strApi; }
  // The simulated instrument, or null.
  CHostedInstrument* Instrument() const { return m_pVirtual != nullptr ? m_pVirtual->Instrument() : nullptr; }

  // The run is over: no device event runs any more, the driver is no longer current, and the
  // simulated instrument's memory is written where --dump asked. strDumpFolder names the folder
  // written (empty when none was asked); false with strError when the dump failed.
  bool Finish(std::string& strDumpFolder, std::string& strError);

 private:
  CMidiSetup() = default;

  std::unique_ptr<CVirtualSetup> m_pVirtual;
  std::unique_ptr<CMidiDriver> m_pSystem;
  std::unique_ptr<CAliasMidiDriver> m_pAlias;
  std::string m_strApi = "virtual";
  bool m_bFinished = false;
};

}  // namespace velda::app
