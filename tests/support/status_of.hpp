// A call that reports through a BSrc named rc, as a function returning that status,
// for tables of failure cases: STATUS_OF(BSfoo(args, &rc)); and a checker of such
// tables: expect_statuses({{"name", STATUS_OF(BSfoo(args, &rc)), BSINARG}, ...}).
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

// A row of a failure table: its name, the call giving its status (see STATUS_OF) and
// the status it must give. A row may also be written {status, [&](BSrc *rc) {...}}:
// the call then writes its status through rc, which starts at 0 (BSSUCC).
struct StatusRow {
  const char *what;
  std::function<BSrc()> call;
  BSrc want;
  StatusRow(const char *w, std::function<BSrc()> c, BSrc s)
      : what(w), call(std::move(c)), want(s) {}
  StatusRow(BSrc s, std::function<void(BSrc *)> c)
      : what(nullptr),
        call([c = std::move(c)] {
          BSrc rc = BSSUCC;
          c(&rc);
          return rc;
        }),
        want(s) {}
};

// Runs each row and expects its status; `after` runs after each row (checks of
// outputs), given the row's name (null for an unnamed row).
inline void expect_statuses(std::initializer_list<StatusRow> rows,
                            const std::function<void(const char *)> &after = nullptr) {
  int i = 0;
  for (const StatusRow &r : rows) {
    EXPECT_EQ(r.call(), r.want) << (r.what != nullptr ? r.what : "case ") << i;
    if (after) after(r.what);
    ++i;
  }
}

}  // namespace kwtest

#endif
