// Shared test helpers: a fixture that runs in guarded debug memory and fails a
// test that leaks, the allocation-failure sweep, and a no-heap scope.
#ifndef KNOTWORK_TESTS_SUPPORT_HPP
#define KNOTWORK_TESTS_SUPPORT_HPP

#include <gtest/gtest.h>

// The standard headers the tests use everywhere (tests include only the others).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "frame/frame.hpp"
#include "knotwork.h"

namespace kwtest {

// Resets the library's global state that tests touch (trace, flags, injection,
// tolerances, debug level, pool hooks) to its load values.
void reset_library_state();

// Starts and ends every test with the global state at its load values (debug level 0).
class CleanStateTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_library_state(); }
  void TearDown() override {
    BSdbglev = 0;
    reset_library_state();
  }
};

// Runs every test at debug level 20 and checks on tear-down that no guarded block
// is left live and no guard was damaged.
class GuardedTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  int32_t live_at_start_ = 0;
};

// Calls op repeatedly at debug level 20 with the k-th allocation failing (k = 1, 2,
// ...; once, and from then on), until a run sees no injected failure. Each failing
// run must report one of the allowed statuses, leave no block live, and pass the
// caller's check. Returns the number of allocations the clean run made.
struct SweepResult {
  int runs = 0;
  std::int64_t allocations = 0;
};
SweepResult sweep_allocation_failures(const std::function<BSrc()> &op,
                                      std::initializer_list<BSrc> allowed,
                                      const std::function<void()> &after_failure = nullptr);

// Counts heap requests of the library while alive; heap_requests() must stay 0 on
// hot paths.
class NoHeapScope {
 public:
  NoHeapScope() : start_(knotwork::heap_request_count()) {}
  std::int64_t heap_requests() const { return knotwork::heap_request_count() - start_; }

 private:
  std::int64_t start_;
};

// Captures what a callable writes to standard output (reading `input` as standard input).
std::string capture_stdout(const std::function<void()> &fn);
std::string capture_stdout(const std::string &input, const std::function<void()> &fn);

// The error trace as BSdbgprint writes it.
std::string trace_text();

}  // namespace kwtest

#endif
