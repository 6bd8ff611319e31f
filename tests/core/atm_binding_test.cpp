#include "core/atm_binding.h"

#include <gtest/gtest.h>

#include "core/font_resource_loader.h"

// No Type 1 manager exists here: the binding takes its "not present" path.
TEST(AtmBinding, AbsentManagerLeavesNothingBound)
{
    EXPECT_EQ(AtmInitialize(), 0);
    AtmBindingState state = GetAtmBindingState();
    EXPECT_FALSE(state.bound);
    EXPECT_EQ(state.library, nullptr);
    EXPECT_EQ(state.entryPoints, 0);
    EXPECT_FALSE(state.windows95);
    // Nothing bound, nothing to finish.
    EXPECT_EQ(AtmFinish(), kAtmNotBound);

    FontResourceLoader loader;
    loader.Initialize();
    EXPECT_EQ(loader.type1ManagerPresent, 0);
}

TEST(AtmBinding, LibraryWithoutThePresenceTestIsReleased)
{
    // A library that loads but exports none of the manager's entry points.
    const HMODULE before = GetModuleHandleA("msimg32.dll");
    EXPECT_EQ(AtmInitializeFromLibrary("msimg32.dll"), 0);
    const AtmBindingState state = GetAtmBindingState();
    EXPECT_FALSE(state.bound);
    EXPECT_EQ(state.library, nullptr);
    EXPECT_EQ(state.entryPoints, 0);
    // Released again: only a reference that existed before stays.
    if (!before) {
        EXPECT_EQ(GetModuleHandleA("msimg32.dll"), nullptr);
    }
}
