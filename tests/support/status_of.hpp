// A call that reports through a BSrc named rc, as a function returning that status,
// for tables of failure cases: STATUS_OF(BSfoo(args, &rc)).
#ifndef KNOTWORK_TESTS_STATUS_OF_HPP
#define KNOTWORK_TESTS_STATUS_OF_HPP

#include "knotwork.h"

#define STATUS_OF(call) \
  [&] {                 \
    BSrc rc = 0;        \
    call;               \
    return rc;          \
  }

#endif
