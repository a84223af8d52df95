// RtMidi's own threads print to std::cerr at any time, while the program opens and closes ports:
// their lines must become notes, whole, with no data race (the tsan build runs this).
#include <gtest/gtest.h>

#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/driver/rtmidi/library_notes.h"

namespace velda::rtmidi {
namespace {

TEST(RtMidiNotes, LinesFromLibraryThreadsBecomeWholeNotesWhilePortsOpen) {
  std::mutex mx;
  std::vector<std::string> aNotes;
  SetLibraryNoteSink([&](const std::string& s) {
    const std::lock_guard<std::mutex> lock(mx);
    aNotes.push_back(s);
  });
  constexpr int kLines = 300;
  auto fnWriter = [](char cName) {
    for (int i = 0; i < kLines; ++i) {
      // RtMidi's own form: a blank line before and after, in several writes.
      std::cerr << '\n' << "MidiInAlsa::alsaMidiHandler: thread " << cName << " line " << i << "\n\n";
    }
  };
  std::thread a(fnWriter, 'a');
  std::thread b(fnWriter, 'b');
  for (int i = 0; i < kLines; ++i) CaptureLibraryOutput();  // what every port open does
  a.join();
  b.join();
  SetLibraryNoteSink(nullptr);

  ASSERT_EQ(aNotes.size(), 2U * kLines);
  int aNext[2] = {0, 0};
  for (const std::string& s : aNotes) {
    const std::string strHead = "rtmidi: MidiInAlsa::alsaMidiHandler: thread ";
    ASSERT_EQ(s.rfind(strHead, 0), 0U) << s;
    const int nThread = s[strHead.size()] - 'a';
    ASSERT_TRUE(nThread == 0 || nThread == 1) << s;
    EXPECT_EQ(s.substr(strHead.size() + 1), " line " + std::to_string(aNext[nThread]++)) << s;
  }
}

}  // namespace
}  // namespace velda::rtmidi
