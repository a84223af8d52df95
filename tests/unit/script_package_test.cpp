// The package image readers and the structure check run at load.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/codepage.h"
#include "script/package_check.h"
#include "script/package_reader.h"
#include "script/script_number.h"

namespace velda {
namespace {

using Bytes = std::vector<fw::BYTE>;

// Package bytes written out by hand here, independently of the readers under test.
void PutU32(Bytes& a, fw::UINT n) {
  a.push_back(static_cast<fw::BYTE>(n >> 24));
  a.push_back(static_cast<fw::BYTE>(n >> 16));
  a.push_back(static_cast<fw::BYTE>(n >> 8));
  a.push_back(static_cast<fw::BYTE>(n));
}
void PutInverted(Bytes& a, const std::string& s) {
  for (const char c : s) a.push_back(static_cast<fw::BYTE>(255 - static_cast<fw::BYTE>(c)));
}
void PutEntry(Bytes& a, const std::string& strName, const Bytes& aData) {
  PutU32(a, static_cast<fw::UINT>(strName.size()));
  PutInverted(a, strName);
  PutU32(a, static_cast<fw::UINT>(aData.size()));
  a.insert(a.end(), aData.begin(), aData.end());
}
Bytes Package(const std::string& strScript) {
  Bytes a;
  PutU32(a, static_cast<fw::UINT>(strScript.size()));
  PutInverted(a, strScript);
  return a;
}
fw::UINT EntriesStart(const Bytes& a) {
  return (fw::UINT{a[0]} << 24 | fw::UINT{a[1]} << 16 | fw::UINT{a[2]} << 8 | fw::UINT{a[3]}) + 4;
}
// The data of the entry whose data length field is at nPos.
Bytes DataAt(const Bytes& a, fw::UINT nPos) {
  fw::UINT nLen = 0;
  EXPECT_TRUE(ReadBigEndianU32(a, nPos, nLen));
  return Bytes(a.begin() + nPos, a.begin() + nPos + nLen);
}

// ---------------------------------------------------------------------------------------------
// Big-endian lengths, inversion, bounded copies.

TEST(PackageReadU32, ReadsMostSignificantByteFirstAndAdvancesByFour) {
  const Bytes a = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  fw::UINT nPos = 0;
  fw::UINT n = 0;
  ASSERT_TRUE(ReadBigEndianU32(a, nPos, n));
  EXPECT_EQ(n, 0x12345678u);
  EXPECT_EQ(nPos, 4u);
  nPos = 2;
  ASSERT_TRUE(ReadBigEndianU32(a, nPos, n));
  EXPECT_EQ(n, 0x56789ABCu);
  EXPECT_EQ(nPos, 6u);
  nPos = 4;
  ASSERT_TRUE(ReadBigEndianU32(a, nPos, n));
  EXPECT_EQ(n, 0x9ABCDEF0u);
  EXPECT_EQ(nPos, 8u);
}

TEST(PackageReadU32, FewerThanFourBytesLeftReadsNothing) {
  const Bytes a = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  for (fw::UINT nStart : {3u, 5u, 6u, 7u, 0xFFFFFFFEu}) {
    fw::UINT nPos = nStart;
    fw::UINT n = 77;
    EXPECT_FALSE(ReadBigEndianU32(a, nPos, n)) << nStart;
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(nPos, nStart);
  }
  fw::UINT nPos = 0;
  fw::UINT n = 0;
  EXPECT_FALSE(ReadBigEndianU32(Bytes{1, 2, 3}, nPos, n));
}

TEST(PackageInversion, FlipsAllEightBitsAndUndoesItself) {
  Bytes a = {0x00, 0xFF, 0x41, 0x0D, 0x0A, 0x80};
  InvertBytes(a);
  EXPECT_EQ(a, (Bytes{0xFF, 0x00, 0xBE, 0xF2, 0xF5, 0x7F}));
  InvertBytes(a);
  EXPECT_EQ(a, (Bytes{0x00, 0xFF, 0x41, 0x0D, 0x0A, 0x80}));
}

TEST(PackageInversion, DecodesStoredTextKeepingEveryByte) {
  Bytes a;
  PutInverted(a, std::string("IF\r\n\xE4", 5));
  EXPECT_EQ(DecodeInverted(a).Str(), std::string("IF\r\n\xE4", 5));
  EXPECT_TRUE(DecodeInverted({}).IsEmpty());
}

TEST(PackageCopyBytes, CopiesWithinTheImageAndAdvances) {
  const Bytes a = {1, 2, 3, 4, 5, 6};
  Bytes dst(6, 0xEE);
  fw::UINT nPos = 1;
  EXPECT_EQ(CopyPackageBytes(a, nPos, dst.data(), 3), 3u);
  EXPECT_EQ(nPos, 4u);
  EXPECT_EQ(dst, (Bytes{2, 3, 4, 0xEE, 0xEE, 0xEE}));
  // Up to the very end is still inside.
  EXPECT_EQ(CopyPackageBytes(a, nPos, dst.data(), 2), 2u);
  EXPECT_EQ(nPos, 6u);
  EXPECT_EQ(CopyPackageBytes(a, nPos, dst.data(), 0), 0u);
  EXPECT_EQ(nPos, 6u);
}

TEST(PackageCopyBytes, PassingTheEndCopiesNothingAndKeepsTheCursor) {
  const Bytes a = {1, 2, 3, 4, 5, 6};
  Bytes dst(8, 0xEE);
  fw::UINT nPos = 4;
  EXPECT_EQ(CopyPackageBytes(a, nPos, dst.data(), 3), 0u);
  EXPECT_EQ(nPos, 4u);
  EXPECT_EQ(dst, Bytes(8, 0xEE));
  // A length so large that cursor + length wraps around 32 bits must not look small.
  EXPECT_EQ(CopyPackageBytes(a, nPos, dst.data(), 0xFFFFFFFEu), 0u);
  EXPECT_EQ(nPos, 4u);
  nPos = 7;  // a cursor already beyond the image
  EXPECT_EQ(CopyPackageBytes(a, nPos, dst.data(), 0), 0u);
  EXPECT_EQ(nPos, 7u);
}

TEST(PackageCopyBytes, FitsInPackageNeverWraps) {
  EXPECT_TRUE(FitsInPackage(10, 0, 10));
  EXPECT_TRUE(FitsInPackage(10, 10, 0));
  EXPECT_FALSE(FitsInPackage(10, 10, 1));
  EXPECT_FALSE(FitsInPackage(10, 11, 0));
  EXPECT_FALSE(FitsInPackage(10, 5, 0xFFFFFFFFu));
  EXPECT_FALSE(FitsInPackage(10, 0xFFFFFFF0u, 0x20u));
}

// ---------------------------------------------------------------------------------------------
// Entry lookup.

class PackageFindEntry : public ::testing::Test {
 protected:
  void TearDown() override { fw::SetAnsiCodePage(1252); }
};

TEST_F(PackageFindEntry, FindsByLowerCasedNameAndStopsOnTheDataLength) {
  Bytes a = Package("OPEN_DATA_FILE,0,main.bin\r\n");
  PutEntry(a, "LOADER", {9});
  PutEntry(a, "MAIN.BIN", {1, 2, 3});
  const CEntryLookup found = FindPackageEntry(a, EntriesStart(a), "main.bin");
  ASSERT_TRUE(found.bFound);
  // 4 (L) + 27 (script) + 4 + 6 + 4 + 1 (LOADER) + 4 + 8 (the name): the data length field.
  EXPECT_EQ(found.nPos, 58u);
  EXPECT_EQ(DataAt(a, found.nPos), (Bytes{1, 2, 3}));
}

TEST_F(PackageFindEntry, StoredCapitalsAreFoundBySmallLettersAndTheReverse) {
  Bytes a = Package("");
  PutEntry(a, "FIRMWARE.BIN", {0x11});
  PutEntry(a, "voices.dat", {0x22});
  const CEntryLookup upper = FindPackageEntry(a, 4, EntryNameArgument("firmware.bin"));
  ASSERT_TRUE(upper.bFound);
  EXPECT_EQ(DataAt(a, upper.nPos), Bytes{0x11});
  // The script writes capitals: the caller's clean-up lower-cases them before the lookup.
  const CEntryLookup lower = FindPackageEntry(a, 4, EntryNameArgument("VOICES.DAT"));
  ASSERT_TRUE(lower.bFound);
  EXPECT_EQ(DataAt(a, lower.nPos), Bytes{0x22});
  // The compare itself is exact: a name that is not lower-case matches nothing.
  EXPECT_FALSE(FindPackageEntry(a, 4, "VOICES.DAT").bFound);
}

TEST_F(PackageFindEntry, NamesDifferingOnlyInCaseFindTheFirstInFileOrder) {
  Bytes a = Package("IF\r\n");
  PutEntry(a, "Data", {0xA1});
  PutEntry(a, "DATA", {0xB2});
  PutEntry(a, "data", {0xC3});
  for (const char* psz : {"Data", "DATA", "data", "dAtA"}) {
    const CEntryLookup found = FindPackageEntry(a, EntriesStart(a), EntryNameArgument(psz));
    ASSERT_TRUE(found.bFound) << psz;
    EXPECT_EQ(DataAt(a, found.nPos), Bytes{0xA1}) << psz;
  }
}

TEST_F(PackageFindEntry, AnEmptyNameIsFoundOnlyByAnEmptyName) {
  Bytes a = Package("");
  PutEntry(a, "a", {1});
  PutEntry(a, "", {2, 2});
  PutEntry(a, "b", {3});
  const CEntryLookup empty = FindPackageEntry(a, 4, "");
  ASSERT_TRUE(empty.bFound);
  EXPECT_EQ(DataAt(a, empty.nPos), (Bytes{2, 2}));
  EXPECT_EQ(DataAt(a, FindPackageEntry(a, 4, "b").nPos), Bytes{3});
  EXPECT_FALSE(FindPackageEntry(a, 4, " ").bFound);
}

TEST_F(PackageFindEntry, NeverLooksInsideTheScript) {
  // The script's stored bytes form an entry named "x" of their own: a walk that began at offset 4
  // would find it there; the walk from L + 4 must not.
  Bytes bait;
  PutEntry(bait, "x", {});
  std::string strScript;
  for (const fw::BYTE b : bait) strScript.push_back(static_cast<char>(255 - b));
  Bytes a = Package(strScript);
  PutEntry(a, "y", {5});
  ASSERT_TRUE(FindPackageEntry(a, 4, "x").bFound);  // the bait works
  EXPECT_FALSE(FindPackageEntry(a, EntriesStart(a), "x").bFound);
  EXPECT_TRUE(FindPackageEntry(a, EntriesStart(a), "y").bFound);
}

TEST_F(PackageFindEntry, AMatchWhoseDataLengthIsCutOffIsFoundWithNothingToReadAfterIt) {
  // Script length 0, then an entry named "\0" and one byte of its data length before the end.
  const Bytes a = {0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 0x10};
  const CEntryLookup found = FindPackageEntry(a, EntriesStart(a), fw::CString(std::string_view("\0", 1)));
  ASSERT_TRUE(found.bFound);
  EXPECT_EQ(found.nPos, 9u);  // on the (cut-off) data length field, inside the image
  fw::UINT nPos = found.nPos;
  fw::UINT nLen = 7;
  EXPECT_FALSE(ReadBigEndianU32(a, nPos, nLen));
  EXPECT_EQ(nPos, 9u);
  EXPECT_EQ(nLen, 0u);
}

TEST_F(PackageFindEntry, AFailedSearchEndsAtTheEndOfTheFile) {
  Bytes a = Package("SET_UPDATE_MODE_ON\r\n");
  PutEntry(a, "one", {1, 2});
  PutEntry(a, "two", {3, 4, 5});  // its data ends exactly at the end of the file
  const CEntryLookup found = FindPackageEntry(a, EntriesStart(a), "three");
  EXPECT_FALSE(found.bFound);
  EXPECT_EQ(found.nPos, a.size());
}

TEST_F(PackageFindEntry, NoEntriesOrAStartBeyondTheFileFindsNothing) {
  const Bytes a = Package("IF\r\n");
  EXPECT_FALSE(FindPackageEntry(a, EntriesStart(a), "").bFound);
  EXPECT_FALSE(FindPackageEntry(a, 1000, "").bFound);
  EXPECT_FALSE(FindPackageEntry(a, 0xFFFFFFFFu, "").bFound);
}

TEST_F(PackageFindEntry, ABrokenTailIsNeverReadBeyondTheImage) {
  // Each image is exactly as long as the vector: a read past it would be caught by the sanitizers.
  Bytes good = Package("");
  PutEntry(good, "ok", {7});
  std::vector<Bytes> broken;
  broken.push_back(good);
  broken.back().insert(broken.back().end(), {0x00, 0x00});  // name length cut off
  broken.push_back(good);
  PutU32(broken.back(), 50);  // name passes the end
  PutInverted(broken.back(), "ab");
  broken.push_back(good);
  PutU32(broken.back(), 2);
  PutInverted(broken.back(), "zz");
  broken.back().push_back(0);  // data length cut off
  broken.push_back(good);
  PutU32(broken.back(), 2);
  PutInverted(broken.back(), "zz");
  PutU32(broken.back(), 0xFFFFFFF0u);  // data passes the end (and would wrap a 32-bit cursor)
  broken.back().push_back(1);
  for (const Bytes& a : broken) {
    const CEntryLookup missing = FindPackageEntry(a, 4, "none");
    EXPECT_FALSE(missing.bFound);
    EXPECT_EQ(missing.nPos, a.size());
    EXPECT_TRUE(FindPackageEntry(a, 4, "ok").bFound);
  }
}

TEST_F(PackageFindEntry, LowerCasesByTheAnsiCodePage) {
  Bytes a = Package("");
  PutEntry(a,
           "\xC4"
           "BC",
           {1});  // A with diaeresis in code page 1252
  EXPECT_TRUE(FindPackageEntry(a, 4,
                               "\xE4"
                               "bc")
                  .bFound);

  // In a double-byte code page the byte after a lead byte is part of the character and keeps its
  // case, even where it looks like a capital letter.
  fw::SetAnsiCodePage(932);
  Bytes b = Package("");
  PutEntry(b,
           "\x82"
           "A"
           "X",
           {2});
  EXPECT_TRUE(FindPackageEntry(b, 4,
                               "\x82"
                               "A"
                               "x")
                  .bFound);
  EXPECT_FALSE(FindPackageEntry(b, 4,
                                "\x82"
                                "a"
                                "x")
                   .bFound);
}

// ---------------------------------------------------------------------------------------------
// The structure check.

TEST(PackageCheck, SoundPackagesPass) {
  Bytes empty;
  PutU32(empty, 0);
  EXPECT_TRUE(CheckPackage(empty).IsSound());

  Bytes a = Package("SET_UPDATE_MODE_ON\r\nIF\r\n");
  PutEntry(a, "", {});
  PutEntry(a, "main", {1, 2, 3});
  const CPackageCheck check = CheckPackage(a);
  EXPECT_TRUE(check.IsSound());
  EXPECT_EQ(check.eFault, EPackageFault::None);
  EXPECT_TRUE(check.strDescription.empty());

  // A script byte that decodes to 0xFF is text, not a NUL.
  EXPECT_TRUE(CheckPackage(Package("\xFF")).IsSound());
}

TEST(PackageCheck, HeaderAndScriptFaults) {
  for (const Bytes& a : {Bytes{}, Bytes{0}, Bytes{0, 0, 0}}) {
    const CPackageCheck check = CheckPackage(a);
    EXPECT_EQ(check.eFault, EPackageFault::TruncatedHeader);
    EXPECT_NE(check.strDescription.find(std::to_string(a.size()) + " bytes"), std::string::npos)
        << check.strDescription;
  }

  Bytes past = Package("IF\r\n");
  past[3] = 5;  // one more script byte than the file holds
  CPackageCheck check = CheckPackage(past);
  EXPECT_EQ(check.eFault, EPackageFault::ScriptLengthPastEnd);
  EXPECT_NE(check.strDescription.find('5'), std::string::npos) << check.strDescription;
  Bytes huge;
  PutU32(huge, 0xFFFFFFFFu);
  EXPECT_EQ(CheckPackage(huge).eFault, EPackageFault::ScriptLengthPastEnd);

  Bytes nul = Package(std::string("IF\r\n\0ENDIF", 10));
  PutEntry(nul, "x", {});
  check = CheckPackage(nul);
  EXPECT_EQ(check.eFault, EPackageFault::NulInScript);
  EXPECT_NE(check.strDescription.find("script byte 4"), std::string::npos) << check.strDescription;
  EXPECT_NE(check.strDescription.find("offset 8"), std::string::npos) << check.strDescription;
}

TEST(PackageCheck, EntryFaultsNameTheEntryAndItsOffset) {
  Bytes base = Package("IF\r\n");  // entries start at offset 8
  PutEntry(base, "ok", {1, 2});    // 4 + 2 + 4 + 2 = 12 bytes: the next entry is at offset 20

  Bytes nameLen = base;
  nameLen.insert(nameLen.end(), {0, 0, 0});
  Bytes name = base;
  PutU32(name, 4);
  PutInverted(name, "abc");
  Bytes dataLen = base;
  PutU32(dataLen, 3);
  PutInverted(dataLen, "abc");
  dataLen.insert(dataLen.end(), {0, 0, 0});
  Bytes data = base;
  PutU32(data, 3);
  PutInverted(data, "abc");
  PutU32(data, 3);
  data.insert(data.end(), {1, 2});

  const struct {
    const Bytes* pImage;
    EPackageFault eFault;
  } cases[] = {{&nameLen, EPackageFault::NameLengthPastEnd},
               {&name, EPackageFault::NamePastEnd},
               {&dataLen, EPackageFault::DataLengthPastEnd},
               {&data, EPackageFault::DataPastEnd}};
  for (const auto& c : cases) {
    const CPackageCheck check = CheckPackage(*c.pImage);
    EXPECT_EQ(check.eFault, c.eFault) << PackageFaultName(c.eFault);
    EXPECT_NE(check.strDescription.find("entry 1 at offset 20"), std::string::npos) << check.strDescription;
  }
}

TEST(PackageCheck, TheFirstFaultInFileOrderIsReported) {
  Bytes a = Package(std::string("\0", 1));
  PutU32(a, 100);  // a broken entry after a NUL in the script
  EXPECT_EQ(CheckPackage(a).eFault, EPackageFault::NulInScript);
}

TEST(PackageCheck, APackageBeyondThirtyTwoBitsIsRefused) {
  Bytes a = Package("IF\r\n");
  EXPECT_EQ(CheckPackage(a, a.size()).eFault, EPackageFault::None);
  const CPackageCheck check = CheckPackage(a, a.size() - 1);
  EXPECT_EQ(check.eFault, EPackageFault::TooLarge);
  EXPECT_FALSE(check.strDescription.empty());
}

TEST(PackageCheck, FaultNamesAreStable) {
  EXPECT_STREQ(PackageFaultName(EPackageFault::None), "ok");
  EXPECT_STREQ(PackageFaultName(EPackageFault::TruncatedHeader), "truncated-header");
  EXPECT_STREQ(PackageFaultName(EPackageFault::ScriptLengthPastEnd), "script-length-past-end");
  EXPECT_STREQ(PackageFaultName(EPackageFault::NulInScript), "nul-in-script");
  EXPECT_STREQ(PackageFaultName(EPackageFault::NameLengthPastEnd), "name-length-past-end");
  EXPECT_STREQ(PackageFaultName(EPackageFault::NamePastEnd), "name-past-end");
  EXPECT_STREQ(PackageFaultName(EPackageFault::DataLengthPastEnd), "data-length-past-end");
  EXPECT_STREQ(PackageFaultName(EPackageFault::DataPastEnd), "data-past-end");
  EXPECT_STREQ(PackageFaultName(EPackageFault::TooLarge), "too-large");
}

}  // namespace
}  // namespace velda
