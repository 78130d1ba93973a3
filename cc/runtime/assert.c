// A failed assert: its line on the monitor, then the end with ROZ_R0_ASSERT in R0 and what
// failed where in R1..R4 (<roziduv2_abi.h>).
#include <assert.h>
#include <roziduv2.h>

#include "runtime.h"

void __roz_assert_failed(const char* expression, const char* file, int line, const char* function) {
    print((unsigned long)line);
    __roz_exit_with(ROZ_R0_ASSERT, (unsigned long)expression, (unsigned long)file, (unsigned long)(long)line,
                    (unsigned long)function);
}
