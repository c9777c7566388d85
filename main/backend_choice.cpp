#include "main/backend_choice.h"

#include <cstring>

namespace {

bool Fits(const platform::BackendEntry& entry, BackendNeed need)
{
    return need == BackendNeed::Any || entry.onScreen == (need == BackendNeed::OnScreen);
}

// "sdl, headless": the names of the entries of the kind needed, in the
// table's order.
std::string Names(const platform::BackendTable& table, BackendNeed need)
{
    std::string names;
    for (int i = 0; i < table.count; ++i) {
        if (!Fits(*table.entries[i], need)) continue;
        if (!names.empty()) names += ", ";
        names += table.entries[i]->name;
    }
    return names;
}

}  // namespace

BackendChoice ChooseBackend(const platform::BackendTable& table, platform::EnvironmentLookup environment,
                            BackendNeed need)
{
    BackendChoice choice;
    const char* name = environment("ORCHID_BACKEND");
    if (name != nullptr && *name != '\0') {
        choice.outcome = BackendChoice::Refused;
        const std::string asked = std::string("ORCHID_BACKEND=") + name;
        const platform::BackendEntry* entry = nullptr;
        for (int i = 0; i < table.count && entry == nullptr; ++i)
            if (std::strcmp(table.entries[i]->name, name) == 0) entry = table.entries[i];
        const char* why = "it cannot run here";
        if (entry == nullptr) {
            choice.message = asked + " names no backend; the choices are " + Names(table, need);
        } else if (!Fits(*entry, need)) {
            choice.message = asked + (need == BackendNeed::OnScreen ? " does not play on a screen"
                                                                     : " does not render off-screen") +
                             "; the choices are " + Names(table, need);
        } else if (!entry->canRun(environment, &why)) {
            choice.message = asked + " cannot run here: " + why + "; the choices are " + Names(table, need);
        } else {
            choice.outcome = BackendChoice::Chosen;
            choice.entry = entry;
            choice.named = true;
        }
        return choice;
    }
    for (int i = 0; i < table.count; ++i) {
        const platform::BackendEntry& entry = *table.entries[i];
        if (!Fits(entry, need)) continue;
        const char* why = "it cannot run here";
        if (entry.canRun(environment, &why)) {
            choice.outcome = BackendChoice::Chosen;
            choice.entry = &entry;
            choice.message.clear();
            return choice;
        }
        if (choice.message.empty()) choice.message = why;
    }
    if (choice.message.empty()) choice.message = "this program has no such backend";
    return choice;
}
