// The model's heaps: zero-filling, accounting and injected allocation failures.
#include "sim_test.h"

namespace {

class HeapTest : public SimTest {};

TEST_F(HeapTest, BlocksAreCountedUntilFreedAndZeroFilledOnRequest) {
  size_t before = world::LiveHeapBlocks();
  auto *process = static_cast<unsigned char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64));
  auto *local = static_cast<unsigned char *>(LocalAlloc(LMEM_ZEROINIT, 1024));
  ASSERT_NE(process, nullptr);
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(world::LiveHeapBlocks(), before + 2);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(process[i], 0);
  for (int i = 0; i < 1024; ++i) EXPECT_EQ(local[i], 0);
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, process));
  EXPECT_EQ(LocalFree(local), nullptr);
  EXPECT_EQ(world::LiveHeapBlocks(), before);
}

TEST_F(HeapTest, ArmedFailureHitsOnlyTheNthAllocation) {
  world::FailAllocation(2);
  void *first = LocalAlloc(LPTR, 16);
  SetLastError(0);
  void *second = HeapAlloc(GetProcessHeap(), 0, 16);
  DWORD error = GetLastError();
  void *third = LocalAlloc(LPTR, 16);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(error, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_NE(third, nullptr);
  LocalFree(first);
  LocalFree(third);
}

TEST_F(HeapTest, FreeingNothingIsHarmlessAndOtherHeapsAreRefused) {
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, nullptr));
  EXPECT_EQ(LocalFree(nullptr), nullptr);
  EXPECT_EQ(HeapAlloc(nullptr, 0, 16), nullptr);
}

TEST(HeapDeathTest, DoubleFreeStopsTheProgramAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  void *block = HeapAlloc(GetProcessHeap(), 0, 8);
  HeapFree(GetProcessHeap(), 0, block);
  EXPECT_DEATH(HeapFree(GetProcessHeap(), 0, block), "not a live block");
  EXPECT_DEATH(LocalFree(reinterpret_cast<HLOCAL>(0x1234)), "not a live block");
}

}  // namespace
