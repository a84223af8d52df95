// uxs plan: the memory it says an installation writes is what a virtual installation writes, and
// its duration estimate matches a real-clock run whose simulated instrument has the same rate.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/child_process.h"
#include "fw/cstring.h"
#include "install_plan.h"
#include "package_listing.h"
#include "support/rig.h"

namespace velda::uxs {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::uint8_t>;

class UxsPlan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = fs::temp_directory_path() / ("uxs-plan-test-" + std::to_string(::getpid()));
    fs::create_directories(s_dir);
    test::CChildProcess make(
        VELDA_SAMPLE_EXE, {"make", std::string(VELDA_SOURCE_DIR) + "/examples/sample", (s_dir / "velda.uxs").string()},
        s_dir, s_dir, "sample");
    ASSERT_EQ(make.Wait(), 0);
  }
  static void TearDownTestSuite() { fs::remove_all(s_dir); }
  static fs::path Package() { return s_dir / "velda.uxs"; }
  static V PackageBytes() {
    std::ifstream in(Package(), std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    const std::string s = ss.str();
    return V(s.begin(), s.end());
  }

  static inline fs::path s_dir;
};

TEST_F(UxsPlan, WritesWhatAVirtualInstallationWrites) {
  CInstallPlan plan;
  std::string strError;
  ASSERT_TRUE(MakeInstallPlan(Package().string(), {}, 48, plan, strError)) << strError;
  ASSERT_TRUE(plan.bCompleted) << plan.strOutcome;

  const V aImage = PackageBytes();
  test::CTestRig rig;
  rig.SetPackage(aImage);
  rig.View().SetDefaultAnswer(fw::IDOK);
  ASSERT_TRUE(rig.RunToEnd());

  std::map<std::string, V> mapData;  // the entry a lookup by the lower-cased name finds
  for (const CListedEntry& e : ListPackage(aImage).aEntries) {
    fw::CString strLower(e.strName);
    strLower.MakeLower();
    const auto aData = EntryData(aImage, e);
    if (e.bFound) mapData[strLower.Str()] = V(aData.begin(), aData.end());
  }
  std::uint64_t nPlanned = 0;
  for (const CPlanWrite& w : plan.aWrites) {
    ASSERT_TRUE(mapData.contains(w.strEntry)) << w.strEntry;
    const V& aData = mapData[w.strEntry];
    ASSERT_LE(std::uint64_t{w.nEntryOffset} + w.nLength, aData.size());
    const V aWant(aData.begin() + w.nEntryOffset, aData.begin() + w.nEntryOffset + w.nLength);
    EXPECT_EQ(rig.Instrument().ReadRange(static_cast<std::uint8_t>(w.nDevice), w.nAddress, w.nLength), aWant)
        << "device " << w.nDevice << " address " << w.nAddress;
    nPlanned += w.nLength;
  }
  std::uint64_t nWritten = 0;
  for (const auto& [nDevice, bank] : rig.Instrument().Memory().Devices()) nWritten += bank.WrittenCount();
  EXPECT_EQ(nWritten, nPlanned);  // nothing written that the plan does not name
  EXPECT_GT(nPlanned, 300'000u);

  // The traffic it counts is the installation's, byte for byte both ways.
  std::uint64_t nSent = 0;
  for (const V& m : rig.Sent()) nSent += m.size();
  std::uint64_t nReceived = 0;
  for (const std::string& strLine : rig.Trace().Of('<')) {
    std::istringstream pairs(strLine);
    for (std::string strPair; pairs >> strPair;) ++nReceived;
  }
  EXPECT_EQ(plan.nRequests, rig.Sent().size());
  EXPECT_EQ(plan.nSentBytes, nSent);
  EXPECT_EQ(plan.nReceivedBytes, nReceived);
  EXPECT_GT(nReceived, 0u);
}

TEST_F(UxsPlan, EstimateIsWithinFivePercentOfARealClockRun) {
  // Few exchanges over a slow link: the real run's own scheduling delays, which a loaded machine
  // adds to every exchange, stay small beside what is estimated. About 20 s.
  const fs::path package = s_dir / "slow.uxs";
  {
    const V a = test::MakePackage(
        "SET_UPDATE_MODE_ON\r\nSET_UPDATE_DEVICE,1,MAIN\r\nOPEN_DATA_FILE,0,big\r\nUPDATE_DEVICE,0,10000,0\r\n"
        "SET_UPDATE_MODE_OFF\r\n",
        {{"big", V(0xC000, 0x5A)}});
    std::ofstream f(package, std::ios::binary);
    f.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
  }
  CInstrumentConfig config;
  config.bRestartOnModeOn = false;
  CInstallPlan plan;
  std::string strError;
  ASSERT_TRUE(MakeInstallPlan(package.string(), config, 4, plan, strError)) << strError;
  ASSERT_TRUE(plan.bCompleted);
  EXPECT_GT(plan.nTransferMs, 12'000u);

  const fs::path trace = s_dir / "real.trace";
  test::CChildProcess run(VELDA_INSTALLER_EXE,
                          {"--virtual", "--tui", "--yes", "--instrument", "restart=off", "--instrument", "rate=4",
                           "--trace", trace.string(), package.string()},
                          s_dir, s_dir, "real");
  ASSERT_EQ(run.Wait(180'000), 0) << run.Err();
  // The installation ends with its last request (the final baud reset).
  std::ifstream in(trace);
  std::uint64_t nLastSent = 0;
  for (std::string strLine; std::getline(in, strLine);) {
    std::istringstream line(strLine);
    std::uint64_t nMs = 0;
    std::string strDir;
    if (line >> nMs >> strDir && strDir == ">") nLastSent = nMs;
  }
  ASSERT_GT(nLastSent, 0u);
  EXPECT_NEAR(static_cast<double>(plan.nDurationMs), static_cast<double>(nLastSent),
              0.05 * static_cast<double>(nLastSent))
      << "plan " << plan.nDurationMs << " ms, real " << nLastSent << " ms";
  std::printf("estimate %llu ms, real-clock run %llu ms\n", static_cast<unsigned long long>(plan.nDurationMs),
              static_cast<unsigned long long>(nLastSent));
}

}  // namespace
}  // namespace velda::uxs
