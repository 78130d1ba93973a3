/* assert(e): when e is false, prints the line number of the assert on the monitor and ends
   the program with R0 = ROZ_R0_ASSERT (<roziduv2_abi.h>). Nothing when NDEBUG is defined. */
#undef assert
#ifdef NDEBUG
#define assert(e) ((void)0)
#else
_Noreturn void __roz_assert_failed(int line);
#define assert(e) ((e) ? (void)0 : __roz_assert_failed(__LINE__))
#endif

#if !defined(__cplusplus) && __STDC_VERSION__ >= 201112L && !defined(static_assert)
#define static_assert _Static_assert
#endif
