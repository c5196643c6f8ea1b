// Base of every native test: a machine as built at the start, and at the end
// proof that the test left nothing alive (threads, handles, heap blocks).
#pragma once

#include <gtest/gtest.h>

#include "world.h"

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    world::Reset();
    handles_ = world::LiveHandles();
    heapBlocks_ = world::LiveHeapBlocks();
  }

  void TearDown() override {
    EXPECT_TRUE(world::WaitUntilQuiet()) << "a thread the test started is still running";
    EXPECT_EQ(world::LiveHandles(), handles_) << "handles left open";
    EXPECT_EQ(world::LiveHeapBlocks(), heapBlocks_) << "heap blocks left allocated";
    EXPECT_EQ(world::FailedCloses(), 0u) << "a CloseHandle failed: a handle closed twice?";
    world::Reset();
  }

 private:
  size_t handles_ = 0;
  size_t heapBlocks_ = 0;
};
