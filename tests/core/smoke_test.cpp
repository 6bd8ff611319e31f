#include <gtest/gtest.h>
#include <windows.h>

#include "core/resource_strings.h"
#include "tests/common/test_support.h"

// The build runs: a Windows program under Wine that finds the locale resource library beside it.
TEST(Smoke, LoadsTheLocaleResourceLibrary)
{
    gly_test::LocaleResources resources;
    ASSERT_NE(resources.Module(), nullptr) << GetLastError();
    EXPECT_FALSE(LoadResString(625).empty());
    EXPECT_TRUE(LoadResString(1).empty());
}
