// A curve record over arrays the test owns, and allocation-failure sweeps over a
// list of calls that report through a status word.
#ifndef KNOTWORK_TESTS_RECORD_ROOM_HPP
#define KNOTWORK_TESTS_RECORD_ROOM_HPP

#include <functional>
#include <vector>

#include "support.hpp"

namespace kwtest {

// Room for n poles of order k (and as many weights), every value `fill`; the record
// holds only the array pointers.
struct Room {
  std::vector<double> poles, knots, weights;
  BScurve cv{};
  Room(int n, int k, double fill = 0.0) : poles(3 * n, fill), knots(n + k, fill), weights(n, fill) {
    cv.poles = poles.data(), cv.knots = knots.data(), cv.weights = weights.data();
  }
};

// Sweeps each call (see sweep_allocation_failures): every one must meet at least
// `least` allocations and report only allowed statuses when one fails.
using StatusCall = std::function<void(BSrc *)>;
inline void sweep_calls(std::initializer_list<StatusCall> calls,
                        std::initializer_list<BSrc> allowed,
                        const std::function<void()> &after_failure = nullptr, int least = 1) {
  for (const StatusCall &call : calls) {
    const auto op = [&] {
      BSrc rc = -99;
      call(&rc);
      return rc;
    };
    EXPECT_GE(sweep_allocation_failures(op, allowed, after_failure).allocations, least);
  }
}

// A row of a failure table: its name, the call (giving its status, see STATUS_OF)
// and the status it must give. `after` runs after each row (checks of outputs).
struct StatusRow {
  const char *what;
  std::function<BSrc()> call;
  BSrc want;
};
inline void expect_statuses(std::initializer_list<StatusRow> rows,
                            const std::function<void(const char *)> &after = nullptr) {
  for (const StatusRow &r : rows) {
    EXPECT_EQ(r.call(), r.want) << r.what;
    if (after) after(r.what);
  }
}

}  // namespace kwtest

#endif
