// Wine's <time.h>, plus struct timespec as the Universal C run-time declares it; libc++'s
// threading support names it.
// SPDX-License-Identifier: MIT
#pragma once

#include_next <time.h>

struct timespec {
  time_t tv_sec;
  long tv_nsec;
};
