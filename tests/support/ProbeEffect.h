#pragma once
// A test-only effect to place below the item under test: it counts its
// renders and runs a check of the test's own at each one, while the item's
// GL state is in force.
#include "items/IEffect.h"

#include <functional>
#include <string>

struct ProbeEffect : IEffect {
    int renders = 0;
    std::function<void()> onRender;

    std::string getEffectName() override { return "Probe"; }
    void render(RenderNameListItem*) override
    {
        ++renders;
        if (onRender)
            onRender();
    }
};
