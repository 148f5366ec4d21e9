#pragma once
// The demo's process state made anew, as a new process has it, so that each
// case of a test binary starts alike whether it runs in a process of its own
// (ctest), after other cases, or repeated.
#include <gtest/gtest.h>

// Destroys the records of the case before and makes a fresh set
// (app/ProcessState.h), restores a switched display mode and a hidden
// cursor, and installs a fresh recording notifier so that no box can block.
// Nothing of the previous case (items, views) may be alive. The GPU
// resources are not among them: a test's GL context makes its own
// (support/GlTestContext.h), as the Demo item does for its window.
void resetProcessState();

// Base of fixtures whose cases touch process-wide state: the reset runs
// before the fixture's own members are made.
struct FreshStateTest : testing::Test {
    FreshStateTest() { resetProcessState(); }
};
