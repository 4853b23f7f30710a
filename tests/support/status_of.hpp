// A call that reports through a BSrc named rc, as a function returning that status,
// for tables of failure cases: STATUS_OF(BSfoo(args, &rc)); and a checker of such
// tables: expect_statuses({{BSINARG, [&](BSrc *rc) { BSfoo(args, rc); }}, ...}).
#ifndef KNOTWORK_TESTS_STATUS_OF_HPP
#define KNOTWORK_TESTS_STATUS_OF_HPP

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <utility>

#include "knotwork.h"

#define STATUS_OF(call) \
  [&] {                 \
    BSrc rc = 0;        \
    call;               \
    return rc;          \
  }

namespace kwtest {

// Runs each call with the status word at 0 and expects the case's status.
using StatusCase = std::pair<BSrc, std::function<void(BSrc *)>>;
inline void expect_statuses(std::initializer_list<StatusCase> cases) {
  int i = 0;
  for (const StatusCase &c : cases) {
    BSrc rc = BSSUCC;
    c.second(&rc);
    EXPECT_EQ(rc, c.first) << "case " << i++;
  }
}

}  // namespace kwtest

#endif
