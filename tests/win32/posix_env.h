/* setenv and unsetenv for the tests' Windows build, on the C library's
 * _putenv_s (an empty value removes the variable). Included into every
 * test source there by the build. */
#ifndef LICHTBOX_TESTS_WIN32_POSIX_ENV_H
#define LICHTBOX_TESTS_WIN32_POSIX_ENV_H

#include <stdlib.h>

static inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name) != NULL) return 0;
    return _putenv_s(name, value);
}

static inline int unsetenv(const char* name) { return _putenv_s(name, ""); }

#endif
