// A failed assert: its line on the monitor, then the end with ROZ_R0_ASSERT in R0.
#include <assert.h>
#include <roziduv2.h>

#include "runtime.h"

void __roz_assert_failed(int line) {
    print((unsigned long)line);
    __roz_exit(ROZ_R0_ASSERT);
}
