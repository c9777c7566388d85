// The show's own state that loading it does not set, as a fresh process has
// it.
#pragma once

#include "demo/demo.h"
#include "effects/effects.h"

namespace test_support {

inline void FreshDemo()
{
    demoRandomState = 1;
    flashLevel = flashPhase = 0;
    crossFade.Set(0, nullptr, nullptr);
    effects.SetColour(0);
}

}  // namespace test_support
