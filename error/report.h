// The one way every subsystem reports into the error log.
//
// A source file names its module once, as the path the report shows
// ("pixmap/pixmap", "effects/polygon_render", "demo"):
//
//     ORCHID_REPORT_MODULE("pixmap/pixmap");
//
// and then reports with the line of the check, or with a fixed line where
// the module's reports carry numbers of their own:
//
//     REPORT(ERR_PIXMAP, "Invalid bpp.\n");            // throws
//     RECORD(ERR_PIXMAP, "Not initialized.\n");        // records only
//     REPORT_AT(59, ERR_OUT_OF_MEMORY, "T3D_Coordinate *c\n", 56);
//     RECORD_AT(121, ERR_TINY3D, "T3D_Polygon class not initialized.\n");
#pragma once

#include "error/error_log.h"

#define ORCHID_REPORT_MODULE(path) [[maybe_unused]] static constexpr const char kReportModule[] = path

#define REPORT(category, message, ...) \
    errorLog.Throw((category), (message), __LINE__, kReportModule __VA_OPT__(, ) __VA_ARGS__)
#define RECORD(category, message, ...) \
    errorLog.AddEntry((category), (message), __LINE__, kReportModule __VA_OPT__(, ) __VA_ARGS__)
#define REPORT_AT(line, category, message, ...) \
    errorLog.Throw((category), (message), (line), kReportModule __VA_OPT__(, ) __VA_ARGS__)
#define RECORD_AT(line, category, message, ...) \
    errorLog.AddEntry((category), (message), (line), kReportModule __VA_OPT__(, ) __VA_ARGS__)
