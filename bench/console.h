// The console reporter every benchmark program prints through, made to read
// cleanly in a log as well as on a terminal.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "os/files.h"

namespace bench {

class Console : public benchmark::ConsoleReporter {
public:
    // Colour escapes only when standard output is a terminal: a reporter made
    // by the program takes no --benchmark_color, and a log or a pipe wants
    // plain text.
    Console() : ConsoleReporter(os::IsTerminal(stdout) ? OO_ColorTabular : OO_Tabular) {}

    // The run's context (date, CPU, caches, load) as the library prints it,
    // less its warning that the library was built without NDEBUG. Debian
    // builds libbenchmark that way (its assertions stay in, optimised all
    // the same); the timed loops are this program's own code, built in
    // Release, so the warning says nothing about the figures below it.
    bool ReportContext(const Context& context) override
    {
        std::ostream& err = GetErrorStream();
        std::ostringstream text;
        SetErrorStream(&text);
        bool ok = ConsoleReporter::ReportContext(context);
        SetErrorStream(&err);
        std::istringstream lines(text.str());
        for (std::string line; std::getline(lines, line);) {
            if (line.find("Library was built as DEBUG") == std::string::npos) err << line << '\n';
        }
        return ok;
    }
};

}  // namespace bench
