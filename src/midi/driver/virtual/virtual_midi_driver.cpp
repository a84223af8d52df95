// The virtual driver's devices: adding them, their presence, the mapper.
#include "midi/driver/virtual/virtual_midi_driver.h"

#include "fw/wnd.h"

namespace velda {

using namespace vmidi;

namespace {

void ReportDeviceChange() { fw::PostToMainWindow(fw::WM_DEVICECHANGE, fw::DBT_DEVNODES_CHANGED, 0); }

}  // namespace

CVirtualMidiDriver::CVirtualMidiDriver(fw::CScheduler& scheduler) : m_scheduler(scheduler) {}

CVirtualMidiDriver::~CVirtualMidiDriver() { m_gate.Close(); }

void CVirtualMidiDriver::Schedule(std::uint32_t nDelayMs, std::function<void()> fn) {
  m_scheduler.ScheduleAfter(nDelayMs, m_gate.Guard(std::move(fn)));
}

// ---------------------------------------------------------------------------------------------
// Devices

template <class TDevice>
int CVirtualMidiDriver::AddDevice(std::vector<TDevice>& aDevices, const std::string& strName,
                                  const decltype(TDevice::opt)& opt) {
  int nId = 0;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    TDevice dev;
    dev.strName = strName.substr(0, MAXPNAMELEN - 1);
    dev.opt = opt;
    aDevices.push_back(std::move(dev));
    nId = static_cast<int>(aDevices.size()) - 1;
  }
  ReportDeviceChange();
  return nId;
}

int CVirtualMidiDriver::AddInDevice(const std::string& strName, const CVirtualInOptions& opt) {
  return AddDevice(m_aIn, strName, opt);
}

int CVirtualMidiDriver::AddOutDevice(const std::string& strName, const CVirtualOutOptions& opt) {
  return AddDevice(m_aOut, strName, opt);
}

CInstrumentPortNames InstrumentPortNames(EPortNaming eNaming) {
  if (eNaming == EPortNaming::LinuxUsb) {
    return {"HALVEN USB MIDI 1", "HALVEN USB MIDI 1", "HALVEN USB:HALVEN USB MIDI 1 20:0"};
  }
  return {VIRTUAL_INSTRUMENT_IN, VIRTUAL_INSTRUMENT_OUT, {}};
}

void CVirtualMidiDriver::SetInSystemName(int nId, const std::string& strName) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_aIn.at(static_cast<std::size_t>(nId)).opt.strSystemName = strName;
}

void CVirtualMidiDriver::SetOutSystemName(int nId, const std::string& strName) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_aOut.at(static_cast<std::size_t>(nId)).opt.strSystemName = strName;
}

std::string CVirtualMidiDriver::InSystemName(UINT uDeviceId) {
  std::lock_guard<std::mutex> lock(m_mx);
  return SystemNameOf(m_aIn, uDeviceId);
}

std::string CVirtualMidiDriver::OutSystemName(UINT uDeviceId) {
  std::lock_guard<std::mutex> lock(m_mx);
  return SystemNameOf(m_aOut, uDeviceId);
}

void CVirtualMidiDriver::SetInPresent(int nId, bool bPresent) { ChangePresence({nId}, {}, bPresent); }

void CVirtualMidiDriver::SetOutPresent(int nId, bool bPresent) { ChangePresence({}, {nId}, bPresent); }

void CVirtualMidiDriver::SetPairPresent(int nInId, int nOutId, bool bPresent) {
  ChangePresence({nInId}, {nOutId}, bPresent);
}

void CVirtualMidiDriver::ChangePresence(const std::vector<int>& aIn, const std::vector<int>& aOut, bool bPresent) {
  bool bChanged = false;
  {
    std::lock_guard<std::mutex> lock(m_mx);
    const bool bInChanged = SetPresence(m_aIn, aIn, bPresent, [this](std::uint32_t nHandle) {
      CInHandle& h = m_inHandles[nHandle];
      h.bDead = true;
      h.bStarted = false;
    });
    const bool bOutChanged =
        SetPresence(m_aOut, aOut, bPresent, [this](std::uint32_t nHandle) { m_outHandles[nHandle].bDead = true; });
    bChanged = bInChanged || bOutChanged;
  }
  if (bChanged) {
    ReportDeviceChange();
  }
}

void CVirtualMidiDriver::SetMapperAvailable(bool bAvailable) {
  std::lock_guard<std::mutex> lock(m_mx);
  m_bMapperAvailable = bAvailable;
}

CVirtualMidiDriver::CInHandle* CVirtualMidiDriver::FindIn(HMIDIIN h, std::uint32_t* pnHandle) {
  return FindHandle(m_inHandles, h, pnHandle);
}

CVirtualMidiDriver::COutHandle* CVirtualMidiDriver::FindOut(HMIDIOUT h, std::uint32_t* pnHandle) {
  return FindHandle(m_outHandles, h, pnHandle);
}

}  // namespace velda
