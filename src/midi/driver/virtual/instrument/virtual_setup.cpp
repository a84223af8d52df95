#include "midi/driver/virtual/instrument/virtual_setup.h"

#include "instrument/instrument_settings.h"

namespace velda {

std::unique_ptr<CVirtualSetup> CVirtualSetup::Create(fw::CScheduler* pVirtualLoop, const CVirtualSetupOptions& opt,
                                                     std::string& strError) {
  CInstrumentConfig config = opt.instrument;
  for (const std::string& strSetting : opt.aSettings) {
    std::string strReason;
    if (!ParseInstrumentAssignment(strSetting, config, strReason)) {
      strError = "instrument setting \"";
      strError += strSetting;
      strError += "\": ";
      strError += strReason;
      return nullptr;
    }
  }
  std::unique_ptr<CVirtualSetup> p(new CVirtualSetup());
  fw::CScheduler* pScheduler = pVirtualLoop;
  if (pScheduler == nullptr) {
    p->m_pThread = std::make_unique<fw::CDeviceThread>();
    pScheduler = p->m_pThread.get();
  }
  p->m_pDriver = std::make_unique<CVirtualMidiDriver>(*pScheduler);
  p->m_pDriver->SetKeepOutMessages(opt.bKeepOutMessages);
  if (opt.bInstrument) {
    const CInstrumentPortNames names = InstrumentPortNames(opt.eNaming);
    p->m_pInstrument = std::make_unique<CHostedInstrument>(*p->m_pDriver, config, names.strIn, names.strOut);
    if (!names.strSystem.empty()) {
      p->m_pDriver->SetInSystemName(p->m_pInstrument->Link().InDeviceId(), names.strSystem);
      p->m_pDriver->SetOutSystemName(p->m_pInstrument->Link().OutDeviceId(), names.strSystem);
    }
    p->m_strDumpFolder = config.strDumpFolder;
  }
  return p;
}

CVirtualSetup::~CVirtualSetup() {
  // The instrument goes before its driver, the driver before its thread.
  m_pInstrument.reset();
  m_pDriver.reset();
  m_pThread.reset();
}

bool CVirtualSetup::Finish(std::string& strDumpFolder, std::string& strError) {
  if (m_pThread != nullptr) m_pThread->Stop();
  strDumpFolder.clear();
  if (m_pInstrument == nullptr || m_strDumpFolder.empty()) return true;
  strDumpFolder = m_strDumpFolder;
  m_strDumpFolder.clear();  // once
  return m_pInstrument->Instrument().DumpHexFolder(strDumpFolder, strError);
}

}  // namespace velda
