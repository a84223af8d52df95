// The instrument's sparse memory banks and their Intel HEX files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "instrument/instrument_memory.h"
#include "instrument/intel_hex.h"
#include "instrument/sparse_memory.h"
#include "support/instrument_fake_host.h"
#include "support/temp_folder.h"

namespace velda {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Hex;

using test::CTempFolder;

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteText(const fs::path& path, std::string_view strText) {
  std::ofstream file(path, std::ios::binary);
  file << strText;
}

TEST(InstrumentSparseMemory, NeverWrittenReadsAsErased) {
  CSparseMemory memory;
  EXPECT_EQ(memory.Read(0), 0xFF);
  EXPECT_FALSE(memory.IsWritten(0));
  EXPECT_TRUE(memory.IsEmpty());
  memory.WriteByte(0x1234, 0x00);
  EXPECT_EQ(memory.Read(0x1234), 0x00);
  EXPECT_TRUE(memory.IsWritten(0x1234));
  EXPECT_FALSE(memory.IsWritten(0x1235));
  EXPECT_EQ(memory.Read(0x1235), 0xFF);
  EXPECT_EQ(memory.WrittenCount(), 1u);
}

TEST(InstrumentSparseMemory, RangesCrossPages) {
  CSparseMemory memory;
  const auto aData = Bytes("11 22 33 44 55");
  const std::uint32_t nAt = CSparseMemory::kPageSize - 2;
  memory.Write(nAt, aData.data(), aData.size());
  std::vector<std::uint8_t> aBack(7);
  memory.Read(nAt - 1, aBack.data(), aBack.size());
  EXPECT_EQ(Hex(aBack), "FF 11 22 33 44 55 FF");
  EXPECT_TRUE(memory.AllWritten(nAt, 5));
  EXPECT_FALSE(memory.AllWritten(nAt, 6));
  EXPECT_FALSE(memory.AllWritten(nAt - 1, 2));
  EXPECT_TRUE(memory.AllWritten(nAt, 0));
  EXPECT_EQ(memory.Sum(nAt, 5), 0x11u + 0x22 + 0x33 + 0x44 + 0x55);
  EXPECT_EQ(memory.Sum(nAt, 6), 0x11u + 0x22 + 0x33 + 0x44 + 0x55 + 0xFF) << "erased bytes count FF";

  std::vector<std::pair<std::uint32_t, std::string>> aRuns;
  memory.ForEachRun([&](std::uint32_t nAddress, const std::uint8_t* p, std::size_t n) {
    aRuns.emplace_back(nAddress, Hex(std::vector<std::uint8_t>(p, p + n)));
  });
  ASSERT_EQ(aRuns.size(), 2u);
  EXPECT_EQ(aRuns[0], std::make_pair(nAt, std::string("11 22")));
  EXPECT_EQ(aRuns[1], std::make_pair(CSparseMemory::kPageSize, std::string("33 44 55")));
}

TEST(InstrumentSparseMemory, TopOfTheAddressSpace) {
  CSparseMemory memory;
  const auto aData = Bytes("01 02 03 04");
  memory.Write(0xFFFFFFFE, aData.data(), aData.size());
  EXPECT_EQ(memory.WrittenCount(), 2u) << "bytes beyond FFFFFFFF are dropped, not wrapped";
  EXPECT_EQ(memory.Read(0xFFFFFFFF), 0x02);
  EXPECT_FALSE(memory.IsWritten(0));
  EXPECT_TRUE(memory.AllWritten(0xFFFFFFFE, 2));
  EXPECT_FALSE(memory.AllWritten(0xFFFFFFFE, 3));
  std::vector<std::uint8_t> aBack(4);
  memory.Read(0xFFFFFFFE, aBack.data(), aBack.size());
  EXPECT_EQ(Hex(aBack), "01 02 FF FF");
}

TEST(InstrumentSparseMemory, HoldsA16MiBUpload) {
  CSparseMemory memory;
  std::vector<std::uint8_t> aBlock(65536);
  for (std::size_t i = 0; i < aBlock.size(); ++i) aBlock[i] = static_cast<std::uint8_t>(i * 7);
  const std::uint32_t nBase = 0x01000000;
  for (std::uint32_t nBlock = 0; nBlock < 256; ++nBlock)
    memory.Write(nBase + nBlock * 65536, aBlock.data(), aBlock.size());
  EXPECT_EQ(memory.WrittenCount(), 16u * 1024 * 1024);
  EXPECT_TRUE(memory.AllWritten(nBase, 16u * 1024 * 1024));
  EXPECT_FALSE(memory.AllWritten(nBase - 1, 2));
  std::uint64_t nBlockSum = 0;
  for (const std::uint8_t b : aBlock) nBlockSum += b;
  EXPECT_EQ(memory.Sum(nBase, 16u * 1024 * 1024), 256 * nBlockSum);
  EXPECT_EQ(memory.Read(nBase + 0x00FFFFFF), aBlock.back());
}

TEST(InstrumentIntelHex, HandComputedRecord) {
  CSparseMemory memory;
  const auto aData = Bytes("02 33 7A");
  memory.Write(0x0030, aData.data(), aData.size());
  EXPECT_EQ(sim::FormatIntelHex(memory), ":0300300002337A1E\r\n:00000001FF\r\n");
}

TEST(InstrumentIntelHex, OnlyWrittenBytesInLinesOf16WithExtendedAddresses) {
  CSparseMemory memory;
  std::vector<std::uint8_t> aData(20);
  for (std::size_t i = 0; i < aData.size(); ++i) aData[i] = static_cast<std::uint8_t>(i);
  memory.Write(0x0008, aData.data(), aData.size());  // 0008..001B: two lines
  memory.WriteByte(0x00012345, 0xAB);
  EXPECT_EQ(sim::FormatIntelHex(memory),
            ":080008000001020304050607D4\r\n"
            ":0C00100008090A0B0C0D0E0F1011121342\r\n"
            ":020000040001F9\r\n"
            ":01234500ABEC\r\n"
            ":00000001FF\r\n");
  EXPECT_EQ(sim::FormatIntelHex(CSparseMemory{}), ":00000001FF\r\n");
}

TEST(InstrumentIntelHex, RoundTripAcrossSegments) {
  CSparseMemory memory;
  std::mt19937 random(1994);
  for (int i = 0; i < 200; ++i) {
    std::vector<std::uint8_t> aData(random() % 300 + 1);
    for (std::uint8_t& b : aData) b = static_cast<std::uint8_t>(random());
    const std::uint32_t nAt = (random() % 8) * 0x10000 + random() % 0x10000;
    memory.Write(nAt, aData.data(), aData.size());
  }
  memory.WriteByte(0xFFFFFFFF, 0x5A);
  const std::string strText = sim::FormatIntelHex(memory);
  CSparseMemory back;
  std::string strError;
  ASSERT_TRUE(sim::ParseIntelHex(strText, back, strError)) << strError;
  EXPECT_EQ(sim::FormatIntelHex(back), strText);
  EXPECT_EQ(back.WrittenCount(), memory.WrittenCount());
  EXPECT_EQ(back.Read(0xFFFFFFFF), 0x5A);
}

TEST(InstrumentIntelHex, ReadsWhatOtherToolsWrite) {
  // Lower-case digits, LF lines, a blank line, an extended segment address and a start address.
  const std::string strText =
      ":020000021000EC\n"
      "\n"
      ":03000100aabbcccb\n"
      ":0400000500001234B1\n"
      ":00000001FF\n"
      ":this line comes after the end and is not read\n";
  CSparseMemory memory;
  std::string strError;
  ASSERT_TRUE(sim::ParseIntelHex(strText, memory, strError)) << strError;
  EXPECT_EQ(memory.Read(0x10001), 0xAA);
  EXPECT_EQ(memory.Read(0x10003), 0xCC);
  EXPECT_EQ(memory.WrittenCount(), 3u);
}

TEST(InstrumentIntelHex, ErrorsNameTheLineAndLeaveMemoryAlone) {
  const auto Error = [](std::string_view strText) {
    CSparseMemory memory;
    memory.WriteByte(7, 7);
    std::string strError;
    EXPECT_FALSE(sim::ParseIntelHex(strText, memory, strError));
    EXPECT_EQ(memory.WrittenCount(), 1u);
    return strError;
  };
  EXPECT_EQ(Error(":0300300002337A1E\r\n:0300300002337A1F\r\n:00000001FF\r\n"), "line 2: checksum mismatch");
  EXPECT_EQ(Error("0300300002337A1E\n"), "line 1: a record must begin with ':'");
  EXPECT_EQ(Error(":0300300002337A1\n"), "line 1: not an even number of hex digits");
  EXPECT_EQ(Error(":0300300002337G1E\n"), "line 1: not an even number of hex digits");
  EXPECT_EQ(Error(":0400300002337A1D\n"), "line 1: byte count does not match the record length");
  EXPECT_EQ(Error(":00000006FA\n"), "line 1: unknown record type 6");
  EXPECT_EQ(Error(":0300300002337A1E\n"), "line 1: no end-of-file record");
  EXPECT_EQ(Error(":020000040001F8\n"), "line 1: checksum mismatch");
  EXPECT_EQ(Error(":03000004000100F8\n:00000001FF\n"), "line 1: extended linear address record needs 2 bytes");
  EXPECT_EQ(Error(":02000004FFFFFC\n:02FFFF000102FD\n:00000001FF\n"), "line 2: data beyond address FFFFFFFF");
}

TEST(InstrumentHexFolder, FileNames) {
  std::uint8_t nDevice = 99;
  EXPECT_EQ(sim::HexFileName(0), "device-0.hex");
  EXPECT_EQ(sim::HexFileName(12), "device-12.hex");
  EXPECT_EQ(sim::ClassifyHexFileName("device-12.hex", nDevice), sim::EHexFileName::Device);
  EXPECT_EQ(nDevice, 12);
  EXPECT_EQ(sim::ClassifyHexFileName("device-0.hex", nDevice), sim::EHexFileName::Device);
  EXPECT_EQ(nDevice, 0);
  EXPECT_EQ(sim::ClassifyHexFileName("device-127.hex", nDevice), sim::EHexFileName::Device);
  EXPECT_EQ(sim::ClassifyHexFileName("device-128.hex", nDevice), sim::EHexFileName::BadNumber);
  EXPECT_EQ(sim::ClassifyHexFileName("device-012.hex", nDevice), sim::EHexFileName::BadNumber);
  EXPECT_EQ(sim::ClassifyHexFileName("device-x.hex", nDevice), sim::EHexFileName::BadNumber);
  EXPECT_EQ(sim::ClassifyHexFileName("device-.hex", nDevice), sim::EHexFileName::NotDevice);
  EXPECT_EQ(sim::ClassifyHexFileName("device-1.bin", nDevice), sim::EHexFileName::NotDevice);
  EXPECT_EQ(sim::ClassifyHexFileName("readme.txt", nDevice), sim::EHexFileName::NotDevice);
}

TEST(InstrumentHexFolder, DumpAndLoadAgain) {
  CTempFolder folder;
  CInstrumentMemory memory;
  const auto aData = Bytes("02 33 7A");
  memory.Device(0).Write(0x30, aData.data(), aData.size());
  memory.Device(5).WriteByte(0x00012345, 0xAB);
  std::string strError;
  ASSERT_TRUE(DumpHexFolder(folder.Str(), memory, strError)) << strError;
  EXPECT_EQ(ReadText(folder.Path() / "device-0.hex"), ":0300300002337A1E\r\n:00000001FF\r\n");
  EXPECT_TRUE(fs::exists(folder.Path() / "device-5.hex"));
  EXPECT_FALSE(fs::exists(folder.Path() / "device-1.hex"));

  WriteText(folder.Path() / "notes.txt", "not a device file");
  CInstrumentMemory back;
  ASSERT_TRUE(LoadHexFolder(folder.Str(), back, strError)) << strError;
  ASSERT_EQ(back.Devices().size(), 2u);
  ASSERT_NE(back.FindDevice(5), nullptr);
  EXPECT_EQ(back.FindDevice(5)->Read(0x00012345), 0xAB);
  EXPECT_EQ(back.FindDevice(0)->Read(0x31), 0x33);
  EXPECT_EQ(back.FindDevice(1), nullptr);
}

TEST(InstrumentHexFolder, DumpCreatesTheFolder) {
  CTempFolder folder;
  CInstrumentMemory memory;
  memory.Device(3).WriteByte(1, 2);
  std::string strError;
  const fs::path nested = folder.Path() / "a" / "b";
  ASSERT_TRUE(DumpHexFolder(nested.string(), memory, strError)) << strError;
  EXPECT_TRUE(fs::exists(nested / "device-3.hex"));
}

TEST(InstrumentHexFolder, LoadErrorsAreClearAndChangeNothing) {
  CTempFolder folder;
  CInstrumentMemory memory;
  memory.Device(0).WriteByte(0, 0x11);
  std::string strError;

  EXPECT_FALSE(LoadHexFolder((folder.Path() / "missing").string(), memory, strError));
  EXPECT_NE(strError.find("not a folder"), std::string::npos) << strError;

  WriteText(folder.Path() / "device-1.hex", ":0300300002337A1E\n:00000001FF\n");
  WriteText(folder.Path() / "device-2.hex", ":0300300002337A1F\n:00000001FF\n");
  EXPECT_FALSE(LoadHexFolder(folder.Str(), memory, strError));
  EXPECT_NE(strError.find("device-2.hex: line 1: checksum mismatch"), std::string::npos) << strError;
  EXPECT_EQ(memory.Devices().size(), 1u) << "device 1 was not loaded either";

  fs::remove(folder.Path() / "device-2.hex");
  WriteText(folder.Path() / "device-200.hex", ":00000001FF\n");
  EXPECT_FALSE(LoadHexFolder(folder.Str(), memory, strError));
  EXPECT_NE(strError.find("device-200.hex"), std::string::npos) << strError;
  EXPECT_EQ(memory.Devices().size(), 1u);

  fs::remove(folder.Path() / "device-200.hex");
  ASSERT_TRUE(LoadHexFolder(folder.Str(), memory, strError)) << strError;
  EXPECT_EQ(memory.FindDevice(1)->Read(0x30), 0x02);
  EXPECT_EQ(memory.FindDevice(0)->Read(0), 0x11) << "loading adds to what is there";
}

TEST(InstrumentHexFolder, ObjcopyReadsTheDump) {
  if (std::system("objcopy --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "objcopy is not installed";
  CTempFolder folder;
  CInstrumentMemory memory;
  const auto aData = Bytes("02 33 7A");
  memory.Device(0).Write(0x00010030, aData.data(), aData.size());
  memory.Device(0).WriteByte(0x00010040, 0xC3);
  std::string strError;
  ASSERT_TRUE(DumpHexFolder(folder.Str(), memory, strError)) << strError;
  const fs::path bin = folder.Path() / "device-0.bin";
  const std::string strCommand =
      "objcopy -I ihex -O binary '" + (folder.Path() / "device-0.hex").string() + "' '" + bin.string() + "'";
  ASSERT_EQ(std::system(strCommand.c_str()), 0) << strCommand;
  // The binary starts at the lowest address and fills the gap with zeros.
  const std::string strBin = ReadText(bin);
  ASSERT_EQ(strBin.size(), 0x11u);
  std::vector<std::uint8_t> aBin(strBin.begin(), strBin.end());
  EXPECT_EQ(Hex(aBin), "02 33 7A 00 00 00 00 00 00 00 00 00 00 00 00 00 C3");
}

}  // namespace
}  // namespace velda
