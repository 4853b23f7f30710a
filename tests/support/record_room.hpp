// A curve record over arrays the test owns, and allocation-failure sweeps over a
// list of calls that report through a status word (failure tables: status_of.hpp).
#ifndef KNOTWORK_TESTS_RECORD_ROOM_HPP
#define KNOTWORK_TESTS_RECORD_ROOM_HPP

#include <functional>
#include <vector>

#include "status_of.hpp"
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

}  // namespace kwtest

#endif
