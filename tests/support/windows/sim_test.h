// The Windows build of the tests' base: no model to build or count, so a plain
// test; what the native build proves with the model's counts is proven there.
#pragma once

#include <gtest/gtest.h>

class SimTest : public ::testing::Test {};
