// Setting environment variables from tests, on POSIX and on Windows.
#pragma once

#include <cstdlib>

/// Sets `name` to `value`, or removes it when `value` is null.
inline void SetEnvironment(const char* name, const char* value)
{
#if defined(_WIN32)
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}
