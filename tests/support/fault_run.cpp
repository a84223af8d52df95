#include "support/fault_run.h"

#include "shell/steps.h"
#include "support/rig.h"
#include "support/scenario_util.h"

namespace velda::test {
namespace {

using V = std::vector<std::uint8_t>;

const V kMain = Pattern(10000, 21);
const V kSub = Pattern(0x900, 22);

// Every request kind, several times: 3 blocks + 2 + 2 behind two area checks on two devices.
std::string FaultRunScript() {
  return Script({
      "KEYWORD,\"#5168_1994KESTRA\"",
      "MODEL_NAME,\"VELDA\"",
      "SET_UPDATE_MODE_ON",
      "UP_BAUDRATE",
      "SET_UPDATE_DEVICE,1,MAIN",
      "OPEN_DATA_FILE,0,main.bin",
      "OPEN_DATA_FILE,1,sub.bin",
      "UPDATE_DEVICE,200000,1000,0",
      "IF",
      "AREA_CHECK,1,0,300000,40",
      "UPDATE_DEVICE,300000,800,1",
      "ENDIF",
      "SET_UPDATE_DEVICE,2,SUB",
      "IF",
      "AREA_CHECK,1,0,400000,40",
      "UPDATE_DEVICE,400000,800,1",
      "ENDIF",
      "SET_UPDATE_MODE_OFF",
      "RESET_BAUDRATE",
  });
}

}  // namespace

std::vector<std::uint8_t> FaultRunPackage() {
  return MakePackage(FaultRunScript(), {{"main.bin", kMain}, {"sub.bin", kSub}});
}

CImage ImageOf(const CInstrumentMemory& memory) {
  CImage image;
  for (const auto& device : memory.Devices()) {
    const std::uint8_t nDevice = device.first;
    device.second.ForEachRun([&image, nDevice](std::uint32_t nAddress, const std::uint8_t* p, std::size_t n) {
      image.emplace_back(nDevice, nAddress, V(p, p + n));
    });
  }
  return image;
}

const CImage& FaultRunImage() {
  static const CImage s_image = [] {
    CInstrumentMemory memory;
    memory.Device(1).Write(0x200000, kMain.data(), kMain.size());
    memory.Device(1).Write(0x300000, kSub.data(), kSub.size());
    memory.Device(2).Write(0x400000, kSub.data(), kSub.size());
    return ImageOf(memory);
  }();
  return s_image;
}

CEnding RunInstallation(const CFaultPlan& plan, std::uint64_t nMaxMs) {
  CInstrumentConfig config;
  config.faultPlan = plan;
  return RunInstallation(config, nMaxMs);
}

CEnding RunInstallation(const CInstrumentConfig& config, std::uint64_t nMaxMs) {
  CRigOptions opt;
  opt.instrument = config;
  CTestRig rig(opt);
  rig.SetPackage(FaultRunPackage());
  for (int i = 0; i < 4; ++i) rig.View().QueueAnswer(fw::IDOK);  // the four start-up questions
  CScriptedView& view = rig.View();
  const auto Told = [&view] {
    return (view.OpenBox() != 0 && view.Boxes().size() > 4) || view.WindowOf(IDD_PORT_SELECT) != 0;
  };
  CEnding ending;
  ending.bTold = rig.RunUntil(Told, nMaxMs);
  ending.nEndMs = rig.Now();
  if (ending.bTold && view.OpenBox() != 0) {
    ending.strBox = view.Boxes().back().strText;
    ending.eOutcome = rig.Dlg()->Outcome();
    // The outcome of a time-out is settled when its box is closed.
    rig.AnswerBox(fw::IDOK);
    rig.RunUntil([&rig] { return rig.Dlg() == nullptr || rig.Dlg()->Outcome() != EOutcome::None; }, 1000);
    if (!rig.Ended() && rig.Dlg() != nullptr) ending.eOutcome = rig.Dlg()->Outcome();
  }
  ending.bMemoryMatches = ImageOf(rig.Instrument().Memory()) == FaultRunImage();
  ending.nFaultsApplied = rig.Instrument().Stats().nFaultsApplied;
  for (std::size_t i = 0; i < kInstrumentRequestKinds; ++i) ending.aReceived[i] = rig.Instrument().Stats().aReceived[i];
  ending.aTrace = rig.Trace().Lines();
  ending.strReplayMismatch = rig.Instrument().ReplayMismatch();
  return ending;
}

}  // namespace velda::test
