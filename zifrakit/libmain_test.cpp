// The entry routines succeed for every reason the loader gives, and do nothing else.
#include <gtest/gtest.h>

#include "zifrakit/libmain.h"

namespace {

TEST(Libmain, EntryPointSucceedsForEveryReason) {
  // Process detach, process attach, thread attach, thread detach, and an unknown reason.
  int marker = 0;
  for (unsigned long reason : {0ul, 1ul, 2ul, 3ul, 99ul}) {
    EXPECT_EQ(DllEntryPoint(&marker, reason, nullptr), 1) << reason;
    EXPECT_EQ(DllEntryPoint(nullptr, reason, &marker), 1) << reason;
  }
  EXPECT_EQ(marker, 0);
}

TEST(Libmain, WepReturnsOne) {
  for (int exiting : {0, 1}) EXPECT_EQ(WEP(exiting), 1) << exiting;
}

}  // namespace
