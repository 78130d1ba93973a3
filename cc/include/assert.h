/* assert(e): when e is false, prints the line number of the assert on the monitor and ends
   the program with R0 = ROZ_R0_ASSERT and the expression, file, line and function in R1..R4
   (<roziduv2_abi.h>), which the runner and the window report. Nothing when NDEBUG is defined. */
#undef assert
#ifdef NDEBUG
#define assert(e) ((void)0)
#else
_Noreturn void __roz_assert_failed(const char* expression, const char* file, int line, const char* function);
#define assert(e) ((e) ? (void)0 : __roz_assert_failed(#e, __FILE__, __LINE__, __func__))
#endif

#if !defined(__cplusplus) && __STDC_VERSION__ >= 201112L && !defined(static_assert)
#define static_assert _Static_assert
#endif
