// The fixed ring of reply buffers: replies come out in the order they went in, as many as it has
// slots, none longer than a slot.
#include <gtest/gtest.h>

#include <vector>

#include "protocol/reply_ring.h"

namespace velda {
namespace {

using V = std::vector<fw::BYTE>;

V Reply(fw::BYTE nTag, std::size_t n) {
  V a(n, nTag);
  a.front() = 0xF0;
  a.back() = 0xF7;
  return a;
}

V Pop(CReplyRing& ring, std::size_t nCapacity = 64) {
  V a(nCapacity);
  a.resize(ring.PopInto(a.data(), a.size()));
  return a;
}

TEST(ReplyRing, RepliesComeOutInOrderAcrossTheWrap) {
  CReplyRing ring(64);
  fw::BYTE nNext = 0;  // the reply that must come out next
  for (fw::BYTE n = 0; n < 21; ++n) {
    ASSERT_TRUE(ring.Push(Reply(n, 9 + n % 7).data(), 9 + n % 7));
    if (n % 3 == 2) {
      EXPECT_EQ(Pop(ring), Reply(nNext, 9 + nNext % 7));
      ++nNext;
    }
  }
  EXPECT_EQ(ring.Count(), 21u - nNext);
  for (; !ring.IsEmpty(); ++nNext) EXPECT_EQ(Pop(ring), Reply(nNext, 9 + nNext % 7)) << int{nNext};
}

TEST(ReplyRing, AFullRingAndAnOverlongReplyKeepNothing) {
  CReplyRing ring(16);
  const V a = Reply(1, 16);
  for (std::size_t i = 0; i < CReplyRing::kSlots; ++i) ASSERT_TRUE(ring.Push(a.data(), a.size()));
  EXPECT_TRUE(ring.IsFull());
  EXPECT_FALSE(ring.Push(a.data(), a.size()));
  EXPECT_EQ(Pop(ring, 4), V({0xF0, 1, 1, 1})) << "cut to the room given";
  EXPECT_FALSE(ring.Push(Reply(2, 17).data(), 17));
  EXPECT_EQ(ring.PopInto(nullptr, 0), 0u) << "dropped";
  EXPECT_EQ(ring.Count(), CReplyRing::kSlots - 2);
  CReplyRing empty(16);
  EXPECT_EQ(Pop(empty), V{});
}

}  // namespace
}  // namespace velda
