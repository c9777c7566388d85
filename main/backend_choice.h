// Which entry of the backend table (platform/backend_table.h) a run
// installs: the one ORCHID_BACKEND names, or else the first, in the table's
// order, of the kind the run needs that can run here.
#pragma once

#include <string>

#include "platform/backend_table.h"

// What the run needs of its backend.
enum class BackendNeed {
    Any,       // the show as it comes: on a screen when there is one
    OnScreen,  // a viewer: a screen, keys, the mode dialog
    OffScreen  // rendering into a frame sink
};

struct BackendChoice {
    enum Outcome {
        Chosen,
        // ORCHID_BACKEND names no entry, one of another kind, or one that
        // cannot run here: a usage error.
        Refused,
        // No entry of the kind needed can run here.
        NoneCanRun,
    };
    Outcome outcome = NoneCanRun;
    const platform::BackendEntry* entry = nullptr;  // when chosen
    bool named = false;  // chosen because ORCHID_BACKEND names it
    // When refused, one line (without the program's name or a newline) that
    // names the choices; when none can run, why the first entry of the kind
    // needed cannot ("there is no display (...)").
    std::string message;
};

BackendChoice ChooseBackend(const platform::BackendTable& table, platform::EnvironmentLookup environment,
                            BackendNeed need);
