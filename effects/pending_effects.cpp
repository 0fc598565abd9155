// Entry points of the effects that draw nothing yet. Each one moves to the
// source group of its effect family when that family is built.
#include "effects/effects.h"

#define KV_PENDING(name) \
  KV_EFFECT(name) {      \
    (void)pixels;        \
    (void)t;             \
    (void)start;         \
    (void)end;           \
    (void)progress;      \
    (void)param;         \
    return 0;            \
  }

