#include "test_support.h"

void ComTest::SetUp()
{
    comrt::ResetRuntimeForTests();
    platform.Register();
}

void ComTest::TearDown()
{
    comrt::ResetRuntimeForTests();
    EXPECT_EQ(comrt::LiveObjectCount(), 0) << "COM objects left alive";
    EXPECT_EQ(comrt::LiveStringCount(), 0) << "BSTRs left unfreed";
}
