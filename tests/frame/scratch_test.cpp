// The scratch buffer and the epilogue guard used by every operation.
#include "support.hpp"

namespace {

using Scratch = kwtest::CleanStateTest;

TEST_F(Scratch, StackBelowThresholdHeapAboveGuardedAtDebugLevel) {
  kwtest::NoHeapScope scope;
  {
    knotwork::ScratchBuffer small(4091);
    ASSERT_TRUE(small.ok());
    EXPECT_TRUE(small.on_stack());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(small.as<double>()) % 16, 0u);
  }
  EXPECT_EQ(scope.heap_requests(), 0);
  {
    knotwork::ScratchBuffer large(4092);
    ASSERT_TRUE(large.ok());
    EXPECT_FALSE(large.on_stack());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(large.as<double>()) % 16, 0u);
    // the marker word in front of heap data says "heap"
    uint32_t marker;
    std::memcpy(&marker, large.as<unsigned char>() - 4, 4);
    EXPECT_EQ(marker, 1u);
    large.as<double>()[4092 / 8 - 1] = 1.0;
  }
  EXPECT_EQ(scope.heap_requests(), 1);
  // guarded blocks at the debug level
  BSdbglev = 20;
  {
    knotwork::ScratchBuffer buf(64);
    ASSERT_TRUE(buf.ok());
    EXPECT_EQ(BSlist_al.count, 1);
    EXPECT_EQ(buf.as<unsigned char>()[-1], 'd');
    EXPECT_EQ(buf.as<unsigned char>()[0], 0xFF);
  }
  EXPECT_EQ(BSlist_al.count, 0);
  knotwork::ScratchBuffer buf(16);  // acquiring again releases the previous block
  buf.acquire(32);
  EXPECT_EQ(BSlist_al.count, 1);
}

TEST_F(Scratch, AllocationFailureReportsStatus33) {
  auto op = [](size_t n) {
    BSrc rc;
    [&] {
      ::knotwork::Epilogue guard("BSscratchop", &rc);
      knotwork::ScratchBuffer a(n), b(2 * n);
      rc = a.ok() && b.ok() ? BSSUCC : BSNOSTKMEMORY;
    }();
    return rc;
  };
  const auto result = kwtest::sweep_allocation_failures([&] { return op(100); }, {BSNOSTKMEMORY});
  EXPECT_EQ(result.allocations, 2);  // two guarded scratch blocks at debug level 20
  knotwork::arm_allocation_failure(1, false);
  EXPECT_EQ(op(10000), BSNOSTKMEMORY);  // heap path outside debug mode
  knotwork::disarm_allocation_failure();
  EXPECT_EQ(op(10000), BSSUCC);
}

TEST_F(Scratch, ToleranceOverrideRestoresOnScopeExit) {
  const double before = BSparameters.knot_tol;
  {
    knotwork::ToleranceOverride o(&BSparameters::knot_tol, 1e-12);
    EXPECT_EQ(BSparameters.knot_tol, 1e-12);
  }
  EXPECT_EQ(BSparameters.knot_tol, before);
}

}  // namespace
