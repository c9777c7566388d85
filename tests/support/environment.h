// Setting and removing variables of the test process's own environment, the
// same way on Windows and elsewhere.
#pragma once

#include <cstdlib>

namespace test_support {

// Sets (value non-null) or removes a variable of this process's environment.
inline void SetEnvironment(const char* name, const char* value)
{
#if defined(_WIN32)
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
#endif
}

}  // namespace test_support
