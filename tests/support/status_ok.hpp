// Calls that must succeed, for routines reporting through a status word named rc:
// KW_OK(BSfoo(args, &rc)) asserts BSSUCC, KW_EXPECT_OK checks it without stopping the
// test. rc starts at -99, so a routine that never writes its status fails.
#ifndef KNOTWORK_TESTS_STATUS_OK_HPP
#define KNOTWORK_TESTS_STATUS_OK_HPP

#include <gtest/gtest.h>

#include "knotwork.h"

#define KW_STATUS(call) \
  [&] {                 \
    BSrc rc = -99;      \
    call;               \
    return rc;          \
  }()
#define KW_OK(call) ASSERT_EQ(KW_STATUS(call), BSSUCC) << #call
#define KW_EXPECT_OK(call) EXPECT_EQ(KW_STATUS(call), BSSUCC) << #call

#endif
