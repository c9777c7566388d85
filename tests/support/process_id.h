// The test process's own id, the same way on Windows and elsewhere: it keeps
// the names of files, folders and displays of suites that run at once apart.
#pragma once

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace test_support {

inline int ProcessId()
{
#if defined(_WIN32)
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

}  // namespace test_support
