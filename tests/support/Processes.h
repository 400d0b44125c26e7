// What tests that start other processes share.
#pragma once

#include <gtest/gtest.h>

// Clang 14's ThreadSanitizer runtime fails inside fork() in a test program that already runs
// threads; under it, the tests that start processes are skipped.
#ifdef ZEBLO_TSAN_BUILD
#define ZEBLO_SKIP_UNDER_TSAN() GTEST_SKIP() << "starts processes, which fork cannot under TSan"
#else
#define ZEBLO_SKIP_UNDER_TSAN() static_cast<void>(0)
#endif
