#include "midi_setup.h"

#include "alias_midi_driver.h"
#include "system_midi.h"

namespace velda::app {

std::unique_ptr<CMidiSetup> CMidiSetup::Create(const CAppOptions& opt, fw::CMsgLoop* pVirtualLoop,
                                               std::string& strError) {
  std::unique_ptr<CMidiSetup> p(new CMidiSetup());
  CMidiDriver* pDevices = nullptr;
  if (opt.bVirtual) {
    fw::CScheduler* pScheduler = pVirtualLoop;
    if (pScheduler == nullptr) {
      // Real time: the device thread plays the driver's thread, as a real driver's would.
      p->m_pThread = std::make_unique<fw::CDeviceThread>();
      pScheduler = p->m_pThread.get();
    }
    p->m_pVirtual = std::make_unique<CVirtualMidiDriver>(*pScheduler);
    p->m_pVirtual->SetKeepOutMessages(false);  // the program never reads them back
    p->m_pInstrument = std::make_unique<CHostedInstrument>(*p->m_pVirtual, opt.instrument);
    p->m_strDumpFolder = opt.instrument.strDumpFolder;
    pDevices = p->m_pVirtual.get();
  } else {
    p->m_pSystem = OpenSystemMidi(strError);
    if (p->m_pSystem == nullptr) return nullptr;
    pDevices = p->m_pSystem.get();
  }
  p->m_pAlias = std::make_unique<CAliasMidiDriver>(*pDevices, opt.strMidiIn, opt.strMidiOut);
  return p;
}

CMidiSetup::~CMidiSetup() {
  if (!m_bFinished) {
    std::string strFolder;
    std::string strError;
    Finish(strFolder, strError);
  }
  // The instrument goes before its driver, the driver before its thread.
  m_pInstrument.reset();
  m_pVirtual.reset();
  m_pThread.reset();
}

void CMidiSetup::MakeCurrent() { SetMidiDriver(m_pAlias.get()); }

CMidiDriver& CMidiSetup::Devices() const {
  if (m_pVirtual != nullptr) return *m_pVirtual;
  return *m_pSystem;
}

bool CMidiSetup::Finish(std::string& strDumpFolder, std::string& strError) {
  m_bFinished = true;
  if (GetMidiDriver() == m_pAlias.get()) SetMidiDriver(nullptr);
  if (m_pThread != nullptr) m_pThread->Stop();
  strDumpFolder.clear();
  if (m_pInstrument == nullptr || m_strDumpFolder.empty()) return true;
  strDumpFolder = m_strDumpFolder;
  m_strDumpFolder.clear();  // once
  return m_pInstrument->Instrument().DumpHexFolder(strDumpFolder, strError);
}

}  // namespace velda::app
