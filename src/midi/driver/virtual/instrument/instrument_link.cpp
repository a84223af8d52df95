#include "midi/driver/virtual/instrument/instrument_link.h"

namespace velda {

namespace {

CVirtualOutOptions OutOptions(std::uint32_t nSysExLimit) {
  CVirtualOutOptions opt;
  opt.nLongMsgLimit = nSysExLimit;
  return opt;
}

}  // namespace

CVirtualInstrumentLink::CVirtualInstrumentLink(CVirtualMidiDriver& driver, const std::string& strInName,
                                               const std::string& strOutName, std::uint32_t nSysExLimit)
    : m_driver(driver),
      m_nIn(driver.AddInDevice(strInName)),
      m_nOut(driver.AddOutDevice(strOutName, OutOptions(nSysExLimit))) {}

CVirtualInstrumentLink::~CVirtualInstrumentLink() { Detach(); }

void CVirtualInstrumentLink::Detach() {
  m_gate.Close();
  m_driver.SetOutSink(m_nOut, nullptr);
}

void CVirtualInstrumentLink::SetReceiver(FnReceive fnReceive) {
  if (!fnReceive) {
    m_driver.SetOutSink(m_nOut, nullptr);
    return;
  }
  m_driver.SetOutSink(m_nOut, m_gate.GuardArgs(std::move(fnReceive)));
}

void CVirtualInstrumentLink::Deliver(std::vector<std::uint8_t> aBytes) {
  if (!m_fnShape) {
    m_driver.InjectBytes(m_nIn, std::move(aBytes));
    return;
  }
  for (std::vector<std::uint8_t>& aPart : m_fnShape(std::move(aBytes))) {
    m_driver.InjectBytes(m_nIn, std::move(aPart));
  }
}

void CVirtualInstrumentLink::Schedule(std::uint32_t nDelayMs, std::function<void()> fn) {
  m_driver.Scheduler().ScheduleAfter(nDelayMs, m_gate.Guard(std::move(fn)));
}

void CVirtualInstrumentLink::SetPresent(bool bPresent) {
  m_driver.Scheduler().ScheduleAfter(
      0, m_gate.Guard([this, bPresent] { m_driver.SetPairPresent(m_nIn, m_nOut, bPresent); }));
}

}  // namespace velda
