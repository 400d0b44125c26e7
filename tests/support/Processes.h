// What tests that start other processes share.
#pragma once

#include <gtest/gtest.h>

// A test that cannot run under ThreadSanitizer skips there, saying why.
#ifdef ZEBLO_TSAN_BUILD
#define ZEBLO_SKIP_UNDER_TSAN(reason) GTEST_SKIP() << (reason)
#else
#define ZEBLO_SKIP_UNDER_TSAN(reason) static_cast<void>(0)
#endif

inline constexpr char kQProcessUnderTsan[] =
    "QProcess's fork fails a check in clang 14's TSan runtime (tsan_rtl.cpp:234, thr->slot)";
