// The simulated instrument's settings as text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "instrument/instrument_settings.h"
#include "support/instrument_fake_host.h"
#include "support/temp_folder.h"

namespace velda {
namespace {

using test::Hex;

bool Set(std::string_view strKey, std::string_view strValue, CInstrumentConfig& config, std::string& strError) {
  return ParseInstrumentSetting(strKey, strValue, config, strError);
}

TEST(InstrumentSettings, PlainKeys) {
  CInstrumentConfig config;
  std::string strError;
  ASSERT_TRUE(Set("keyword", "ABC", config, strError)) << strError;
  EXPECT_EQ(config.strKeyword, "ABC");
  ASSERT_TRUE(Set("keyword", "", config, strError)) << "an empty keyword is a keyword too";
  EXPECT_EQ(config.strKeyword, "");
  ASSERT_TRUE(Set("inquiry-text", "VELDA 2", config, strError));
  EXPECT_EQ(config.strInquiryText, "VELDA 2");
  ASSERT_TRUE(Set("restart", "off", config, strError));
  EXPECT_FALSE(config.bRestartOnModeOn);
  ASSERT_TRUE(Set("restart", "on", config, strError));
  EXPECT_TRUE(config.bRestartOnModeOn);
  ASSERT_TRUE(Set("restart-ms", "20000", config, strError));
  EXPECT_EQ(config.nRestartMs, 20000u);
  ASSERT_TRUE(Set("latency-ms", "0", config, strError));
  EXPECT_EQ(config.nLatencyMs, 0u);
  ASSERT_TRUE(Set("split-gap-ms", "40", config, strError));
  EXPECT_EQ(config.faultPlan.nSplitGapMs, 40u);
  ASSERT_TRUE(Set("late-ms", "7000", config, strError));
  EXPECT_EQ(config.faultPlan.nLateMs, 7000u);
  ASSERT_TRUE(Set("dump", "/tmp/x", config, strError));
  EXPECT_EQ(config.strDumpFolder, "/tmp/x");
  ASSERT_TRUE(ParseInstrumentAssignment("latency-ms=15", config, strError)) << strError;
  EXPECT_EQ(config.nLatencyMs, 15u);
  ASSERT_TRUE(ParseInstrumentAssignment("keyword=a=b", config, strError)) << "only the first = splits";
  EXPECT_EQ(config.strKeyword, "a=b");
}

TEST(InstrumentSettings, ErrorsLeaveTheConfigAlone) {
  CInstrumentConfig config;
  const CInstrumentConfig before = config;
  std::string strError;
  const auto Rejected = [&](std::string_view strKey, std::string_view strValue) {
    strError.clear();
    const bool bOk = Set(strKey, strValue, config, strError);
    EXPECT_FALSE(strError.empty()) << strKey << "=" << strValue;
    return !bOk;
  };
  EXPECT_TRUE(Rejected("colour", "red"));
  EXPECT_EQ(strError, "unknown instrument setting 'colour'");
  EXPECT_TRUE(Rejected("restart", "yes"));
  EXPECT_EQ(strError, "restart: expected on or off");
  EXPECT_TRUE(Rejected("replay", "/nonexistent/velda.trace"));
  EXPECT_EQ(strError, "cannot read the trace /nonexistent/velda.trace");
  EXPECT_TRUE(Rejected("latency-ms", "-1"));
  EXPECT_EQ(strError, "latency-ms: '-1' is not a number");
  EXPECT_TRUE(Rejected("restart-ms", "3s"));
  EXPECT_TRUE(Rejected("restart-ms", ""));
  EXPECT_TRUE(Rejected("latency-ms", "4294967296")) << "beyond 32 bits";
  EXPECT_TRUE(Rejected("keyword", "caf\xC3\xA9"));
  EXPECT_EQ(strError, "keyword: only 7-bit characters travel in a message");
  EXPECT_TRUE(Rejected("inquiry-text", "\x80"));
  EXPECT_TRUE(Rejected("dump", ""));
  EXPECT_FALSE(ParseInstrumentAssignment("latency-ms", config, strError));
  EXPECT_EQ(strError, "instrument setting 'latency-ms': expected key=value");
  EXPECT_EQ(config.strKeyword, before.strKeyword);
  EXPECT_EQ(config.strInquiryText, before.strInquiryText);
  EXPECT_EQ(config.bRestartOnModeOn, before.bRestartOnModeOn);
  EXPECT_EQ(config.nRestartMs, before.nRestartMs);
  EXPECT_EQ(config.nLatencyMs, before.nLatencyMs);
  EXPECT_TRUE(config.strDumpFolder.empty());
}

TEST(InstrumentSettings, FaultsAddToThePlan) {
  CInstrumentConfig config;
  std::string strError;
  ASSERT_TRUE(Set("fault", "refuse:block-start:3", config, strError)) << strError;
  ASSERT_TRUE(Set("fault", "status02:data-packet:5:3", config, strError)) << strError;
  ASSERT_TRUE(ParseInstrumentAssignment("fault=never-return:mode-on:1", config, strError)) << strError;
  const auto& aRules = config.faultPlan.aRules;
  ASSERT_EQ(aRules.size(), 3u);
  EXPECT_EQ(aRules[0].eFault, EInstrumentFault::Refuse);
  EXPECT_EQ(aRules[0].eRequest, EInstrumentRequest::BlockStart);
  EXPECT_EQ(aRules[0].nOccurrence, 3u);
  EXPECT_EQ(aRules[0].nCount, 1u);
  EXPECT_EQ(aRules[1].eFault, EInstrumentFault::Status02);
  EXPECT_EQ(aRules[1].eRequest, EInstrumentRequest::DataPacket);
  EXPECT_EQ(aRules[1].nOccurrence, 5u);
  EXPECT_EQ(aRules[1].nCount, 3u);
  EXPECT_EQ(aRules[2].eFault, EInstrumentFault::NeverReturn);
  EXPECT_EQ(config.faultPlan.FaultFor(EInstrumentRequest::DataPacket, 7), EInstrumentFault::Status02);
  EXPECT_EQ(config.faultPlan.FaultFor(EInstrumentRequest::DataPacket, 8), EInstrumentFault::None);
}

TEST(InstrumentSettings, EveryFaultAndRequestNameIsAccepted) {
  for (const std::string_view strFault :
       {"no-reply", "refuse", "status02", "corrupt", "split", "double", "foreign", "never-return"}) {
    for (std::size_t i = 0; i < kInstrumentRequestKinds; ++i) {
      const auto eRequest = static_cast<EInstrumentRequest>(i);
      CFaultPlan plan;
      std::string strError;
      const std::string strFaultText = std::string(strFault) + ":" + std::string(sim::RequestName(eRequest)) + ":2";
      ASSERT_TRUE(ParseFaultSetting(strFaultText, plan, strError)) << strFaultText << ": " << strError;
      ASSERT_EQ(plan.aRules.size(), 1u);
      EXPECT_EQ(sim::FaultName(plan.aRules[0].eFault), strFault);
      EXPECT_EQ(plan.aRules[0].eRequest, eRequest);
    }
  }
}

TEST(InstrumentSettings, UnsolicitedBytes) {
  CFaultPlan plan;
  std::string strError;
  ASSERT_TRUE(ParseFaultSetting("unsolicited:6000:F0 43 50 03 00 00 40 01 F7", plan, strError)) << strError;
  ASSERT_TRUE(ParseFaultSetting("unsolicited:0:f04350030000 42f7", plan, strError)) << strError;
  ASSERT_EQ(plan.aUnsolicited.size(), 2u);
  EXPECT_EQ(plan.aUnsolicited[0].nAtMs, 6000u);
  EXPECT_EQ(Hex(plan.aUnsolicited[0].aBytes), "F0 43 50 03 00 00 40 01 F7");
  EXPECT_EQ(plan.aUnsolicited[1].nAtMs, 0u);
  EXPECT_EQ(Hex(plan.aUnsolicited[1].aBytes), "F0 43 50 03 00 00 42 F7");
  EXPECT_TRUE(plan.aRules.empty());
}

TEST(InstrumentSettings, FaultErrors) {
  const auto Error = [](std::string_view strFaultText) {
    CFaultPlan plan;
    std::string strError;
    EXPECT_FALSE(ParseFaultSetting(strFaultText, plan, strError)) << strFaultText;
    EXPECT_TRUE(plan.aRules.empty());
    EXPECT_TRUE(plan.aUnsolicited.empty());
    return strError;
  };
  EXPECT_EQ(Error("explode:block-start:1"), "unknown fault 'explode'");
  EXPECT_EQ(Error("refuse:block-begin:1"), "unknown request 'block-begin'");
  EXPECT_EQ(Error("refuse:block-start:0"), "fault occurrence '0' is not a number from 1 on");
  EXPECT_EQ(Error("refuse:block-start:x"), "fault occurrence 'x' is not a number from 1 on");
  EXPECT_EQ(Error("refuse:block-start:1:0"), "fault count '0' is not a number from 1 on");
  EXPECT_EQ(Error("refuse:block-start"),
            "fault 'refuse:block-start': expected <fault>:<request>:<occurrence>[:<count>]");
  EXPECT_EQ(Error("refuse:block-start:1:2:3"),
            "fault 'refuse:block-start:1:2:3': expected <fault>:<request>:<occurrence>[:<count>]");
  EXPECT_EQ(Error(""), "fault '': expected <fault>:<request>:<occurrence>[:<count>]");
  EXPECT_EQ(Error("unsolicited:100"), "unsolicited fault: expected unsolicited:<time-ms>:<hex bytes>");
  EXPECT_EQ(Error("unsolicited:soon:F7"), "unsolicited fault: time 'soon' is not a number of ms");
  EXPECT_EQ(Error("unsolicited:100:F0 4"), "unsolicited fault: 'F0 4' is not a list of hex bytes");
  EXPECT_EQ(Error("unsolicited:100:"), "unsolicited fault: '' is not a list of hex bytes");
  EXPECT_EQ(Error("unsolicited:100:G0"), "unsolicited fault: 'G0' is not a list of hex bytes");
}

TEST(InstrumentSettings, MemoryFolderIsReadAtOnce) {
  const test::CTempFolder temp("velda-instrument-settings");
  const std::filesystem::path& dir = temp.Path();
  {
    std::ofstream file(dir / "device-1.hex", std::ios::binary);
    file << ":0300300002337A1E\r\n:00000001FF\r\n";
  }
  CInstrumentConfig config;
  std::string strError;
  ASSERT_TRUE(Set("memory", dir.string(), config, strError)) << strError;
  ASSERT_NE(config.pPresetMemory, nullptr);
  ASSERT_NE(config.pPresetMemory->FindDevice(1), nullptr);
  EXPECT_EQ(config.pPresetMemory->FindDevice(1)->Read(0x32), 0x7A);

  test::CFakeHost host;
  CSimInstrument instrument(config, host);
  EXPECT_EQ(instrument.ReadByte(1, 0x30), 0x02) << "the instrument starts with the preset";

  {
    std::ofstream file(dir / "device-2.hex", std::ios::binary);
    file << ":0300300002337A1E\r\n";
  }
  const auto pBefore = config.pPresetMemory;
  EXPECT_FALSE(Set("memory", dir.string(), config, strError));
  EXPECT_NE(strError.find("device-2.hex: line 1: no end-of-file record"), std::string::npos) << strError;
  EXPECT_EQ(config.pPresetMemory, pBefore);
  EXPECT_FALSE(Set("memory", (dir / "nothing").string(), config, strError));
  EXPECT_NE(strError.find("not a folder"), std::string::npos) << strError;
}

TEST(InstrumentSettings, HelpNamesEveryKeyFaultAndRequest) {
  const std::string strHelp = InstrumentSettingsHelp();
  for (const std::string_view strKey : {"keyword=", "inquiry-text=", "restart=", "restart-ms=", "latency-ms=",
                                        "memory=", "dump=", "split-gap-ms=", "fault=", "unsolicited:"}) {
    EXPECT_NE(strHelp.find(strKey), std::string::npos) << strKey;
  }
  for (const EInstrumentFault eFault :
       {EInstrumentFault::NoReply, EInstrumentFault::Refuse, EInstrumentFault::Status02, EInstrumentFault::CorruptReply,
        EInstrumentFault::SplitReply, EInstrumentFault::DoubleReply, EInstrumentFault::ForeignReply,
        EInstrumentFault::NeverReturn}) {
    EXPECT_NE(strHelp.find("  " + std::string(sim::FaultName(eFault)) + " "), std::string::npos)
        << sim::FaultName(eFault);
  }
  for (std::size_t i = 0; i < kInstrumentRequestKinds; ++i) {
    const std::string strName(sim::RequestName(static_cast<EInstrumentRequest>(i)));
    EXPECT_NE(strHelp.find(" " + strName), std::string::npos) << strName;
  }
}

}  // namespace
}  // namespace velda
