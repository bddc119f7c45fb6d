// Shared pieces of the module's tests: a scratch working directory and a COM
// fixture that proves no reference and no BSTR is left behind.
#pragma once

#include <gtest/gtest.h>

#include "com/com_api.h"
#include "fake_platform.h"
#include "scratch_directory.h"

class ComTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    FakePlatform platform;
};
