#include "timer/show_steps.h"

ShowSteps::ShowSteps() : next(0), resyncs(0), holding(0) {}

void ShowSteps::Start(int32_t time)
{
    next = time;
    resyncs = 0;
    holding = 0;
}

void ShowSteps::Seek(int32_t time)
{
    next = time;
    holding = 0;
}

int32_t ShowSteps::Next(int32_t heard)
{
    // The heard position more than kMaxLead hundredths behind the next
    // update: hold until it catches up.
    if (next - heard > kMaxLead) {
        if (!holding) ++resyncs;
        holding = 1;
        return -1;
    }
    holding = 0;
    // The latest time whose update is due: the music has been heard past it.
    const int32_t due = heard - 1;
    if (due < next) return -1;
    // More than kMaxCatchUp updates due at once, next to due: jump.
    if (due - next + 1 > kMaxCatchUp) {
        ++resyncs;
        next = due;
    }
    return next++;
}
