// The simulated instrument's place in the virtual driver: its input and output device (by
// default "HALVEN USB IN 0-1" and "HALVEN USB OUT 0-1"), and the host side the instrument talks
// to. A message handed to the output device reaches the instrument whole, from a device event;
// the bytes the instrument delivers fill the installer's queued input blocks in order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "instrument/sim_instrument.h"
#include "midi/driver/virtual/life_gate.h"
#include "midi/driver/virtual/virtual_midi_driver.h"

namespace velda {

class CVirtualInstrumentLink : public CInstrumentHost {
 public:
  using FnReceive = std::function<void(std::vector<std::uint8_t>)>;

  // Adds the two devices to the driver; they stay (present or not) for the driver's life, which
  // must be longer than the link's.
  // A nSysExLimit other than 0 makes the output device refuse longer messages.
  explicit CVirtualInstrumentLink(CVirtualMidiDriver& driver, const std::string& strInName = VIRTUAL_INSTRUMENT_IN,
                                  const std::string& strOutName = VIRTUAL_INSTRUMENT_OUT,
                                  std::uint32_t nSysExLimit = 0);
  ~CVirtualInstrumentLink() override;
  CVirtualInstrumentLink(const CVirtualInstrumentLink&) = delete;
  CVirtualInstrumentLink& operator=(const CVirtualInstrumentLink&) = delete;

  // Who receives the messages sent to the instrument (its message handler); until set, the
  // messages are only recorded by the driver.
  void SetReceiver(FnReceive fnReceive);

  // From now on nothing reaches the instrument and its timed events do nothing; waits for one
  // that runs on another thread. Called before the instrument goes.
  void Detach();

  // What lies between the instrument and the installer: each delivery becomes the parts given
  // back, delivered one after the other (tests: a bridge that splits long messages and lets
  // other bytes in between). Unset, a delivery arrives as it is.
  using FnShape = std::function<std::vector<std::vector<std::uint8_t>>(std::vector<std::uint8_t>)>;
  void SetDeliveryShape(FnShape fnShape) { m_fnShape = std::move(fnShape); }

  // Device ids in the driver.
  int InDeviceId() const { return m_nIn; }
  int OutDeviceId() const { return m_nOut; }

  // CInstrumentHost. Each takes effect as a device event, in the order called, so a reply
  // delivered before a restart reaches the installer before the devices vanish.
  void Deliver(std::vector<std::uint8_t> aBytes) override;
  void Schedule(std::uint32_t nDelayMs, std::function<void()> fn) override;
  void SetPresent(bool bPresent) override;

 private:
  CVirtualMidiDriver& m_driver;
  int m_nIn = -1;
  int m_nOut = -1;
  FnShape m_fnShape;
  CLifeGate m_gate;  // the instrument's own timed events end with the link
};

}  // namespace velda
