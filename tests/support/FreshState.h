#pragma once
// Every process-wide registry and state record put back as a new process
// has it, so that each case of a test binary starts alike whether it runs in
// a process of its own (ctest), after other cases, or repeated.
#include <gtest/gtest.h>

// Resets the demo state, the rocket manager, the clocks and music, the GPU
// registries, the editor's published rows and the start-up record, restores
// a switched display mode and a hidden cursor, and installs a fresh
// recording notifier so that no box can block. Nothing of the previous case (items, views, shaders,
// meshes) may be alive.
void resetProcessState();

// Base of fixtures whose cases touch process-wide state: the reset runs
// before the fixture's own members are made.
struct FreshStateTest : testing::Test {
    FreshStateTest() { resetProcessState(); }
};
