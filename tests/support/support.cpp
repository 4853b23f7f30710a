#include "support.hpp"

#include <cstdio>

namespace kwtest {

void reset_library_state() {
  BSdeinifail();
  BSglobalallocfailurerate = 0.0;
  BSalloczero = 0;
  BSfreezero = 0;
  BSdbginit();
  BSstolmthd(0);
  BSrc rc;
  BSchgdeppar(1e-6, &rc);
  BSparameters.orient_tol = 5e-11;
  BSparameters.offset_tol = 1e-3;
  BSparameters.chrdht_tol = 1e-3;
  BSparameters.aux_rel_tol = 1e-2;
  BSparameters.aux_fraction = 0.25;
  BSparameters.arclen_tol = 1e-3;
  BSparameters.aux_tangent = 0.41421356237309503;
  knotwork::disarm_allocation_failure();
  BSsetqemem(nullptr, nullptr);
}

void GuardedTest::SetUp() {
  reset_library_state();
  BSdbglev = knotwork::kDebugLevel;
  live_at_start_ = BSlist_al.count;
}

void GuardedTest::TearDown() {
  EXPECT_EQ(BSlist_al.count, live_at_start_) << "guarded blocks leaked by this test";
  std::string report = capture_stdout([] { BSchkmemo(); });
  EXPECT_EQ(report.find("*** memory scratch"), report.npos) << report;  // guard damage only
  BSdbglev = 0;
  reset_library_state();
}

SweepResult sweep_allocation_failures(const std::function<BSrc()> &op,
                                      std::initializer_list<BSrc> allowed,
                                      const std::function<void()> &after_failure) {
  SweepResult result;
  const int32_t saved_level = BSdbglev;
  BSdbglev = knotwork::kDebugLevel;
  for (bool sticky : {false, true}) {
    for (std::int64_t k = 1; k < 100000; ++k) {
      const int32_t live = BSlist_al.count;
      const std::int64_t before = knotwork::heap_request_count();
      knotwork::arm_allocation_failure(k, sticky);
      const BSrc rc = op();
      const std::int64_t made = knotwork::heap_request_count() - before;
      knotwork::disarm_allocation_failure();
      ++result.runs;
      if (made < k) {  // the k-th request never came: the run was clean
        EXPECT_EQ(rc, BSSUCC) << "clean run failed";
        result.allocations = made;
        break;
      }
      bool ok = false;
      for (BSrc a : allowed) ok = ok || rc == a;
      EXPECT_TRUE(ok) << "allocation " << k << (sticky ? " onwards" : "") << " failed gave " << rc;
      EXPECT_EQ(BSlist_al.count, live) << "leak after failing allocation " << k;
      if (after_failure) after_failure();
    }
  }
  BSdbglev = saved_level;
  return result;
}

std::string capture_stdout(const std::function<void()> &fn) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  fn();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string capture_stdout(const std::string &input, const std::function<void()> &fn) {
  FILE *in = std::tmpfile(), *saved = stdin;
  std::fputs(input.c_str(), in);
  std::rewind(in);
  stdin = in;
  std::string out = capture_stdout(fn);
  stdin = saved;
  std::fclose(in);
  return out;
}

std::string trace_text() {
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  BSdbgprint(f);
  std::fclose(f);
  std::string s(buf, len);
  std::free(buf);
  return s;
}

}  // namespace kwtest
