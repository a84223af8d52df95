#include "midi_setup.h"

#include "alias_midi_driver.h"
#include "system_midi.h"

namespace velda::app {

std::unique_ptr<CMidiSetup> CMidiSetup::Create(const CAppOptions& opt, fw::CMsgLoop* pVirtualLoop,
                                               std::string& strError) {
  std::unique_ptr<CMidiSetup> p(new CMidiSetup());
  CMidiDriver* pDevices = nullptr;
  if (opt.bVirtual) {
    CVirtualSetupOptions virtualOpt;
    virtualOpt.instrument = opt.instrument;
    virtualOpt.bKeepOutMessages = false;  // the program never reads them back
    p->m_pVirtual = CVirtualSetup::Create(pVirtualLoop, virtualOpt, strError);
    if (p->m_pVirtual == nullptr) return nullptr;
    pDevices = &p->m_pVirtual->Driver();
  } else {
    p->m_pSystem = OpenSystemMidi(opt.strMidiApi, p->m_strApi, strError);
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
  m_pAlias.reset();
  m_pVirtual.reset();
}

void CMidiSetup::MakeCurrent() { SetMidiDriver(m_pAlias.get()); }

CMidiDriver& CMidiSetup::Devices() const {
  if (m_pVirtual != nullptr) return m_pVirtual->Driver();
  return *m_pSystem;
}

bool CMidiSetup::Finish(std::string& strDumpFolder, std::string& strError) {
  m_bFinished = true;
  if (GetMidiDriver() == m_pAlias.get()) SetMidiDriver(nullptr);
  strDumpFolder.clear();
  if (m_pVirtual == nullptr) return true;
  return m_pVirtual->Finish(strDumpFolder, strError);
}

}  // namespace velda::app
