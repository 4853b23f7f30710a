// The sample dumps under examples/ must stay readable and hold the curves they
// are named for.
#include <cmath>
#include <string>

#include "support.hpp"

namespace {

using ExampleFiles = kwtest::GuardedTest;

TEST_F(ExampleFiles, AllSamplesRead) {
  const struct {
    const char *name;
    int order, poles;
    bool rational, periodic, closed;
  } samples[] = {{"line.cv", 2, 2, false, false, false},
                 {"cubic.cv", 4, 6, false, false, false},
                 {"quarter_circle.cv", 3, 3, true, false, false},
                 {"quarter_circle_hex.cv", 3, 3, true, false, false},
                 {"periodic_cubic.cv", 4, 7, false, true, true}};
  const std::string dir = std::string(__FILE__).substr(0, std::string(__FILE__).rfind("/tests/"));
  for (const auto &e : samples) {
    FILE *f = std::fopen((dir + "/examples/" + e.name).c_str(), "r");
    ASSERT_NE(f, nullptr) << e.name;
    BScurve *cv = nullptr;
    BSrc rc;
    BSreadcv(f, &cv, &rc);
    std::fclose(f);
    ASSERT_EQ(rc, BSSUCC) << e.name;
    EXPECT_EQ(cv->order, e.order) << e.name;
    EXPECT_EQ(cv->num_poles, e.poles) << e.name;
    EXPECT_EQ(cv->rational != 0, e.rational) << e.name;
    EXPECT_EQ(cv->periodic != 0, e.periodic) << e.name;
    EXPECT_EQ(cv->phy_closed != 0, e.closed) << e.name;
    if (std::string(e.name) == "quarter_circle_hex.cv") {  // images carry every bit
      const double w = std::sqrt(0.5);
      EXPECT_EQ(cv->weights[1], w);
      EXPECT_EQ(cv->poles[3], w);
      EXPECT_EQ(cv->poles[4], w);
      // The point at t = 1/2 (rational quadratic Bezier) lies on the unit circle.
      double x = 0, y = 0, wsum = 0;
      const double b[3] = {0.25, 0.5, 0.25};
      for (int i = 0; i < 3; ++i) {
        x += b[i] * cv->poles[3 * i];
        y += b[i] * cv->poles[3 * i + 1];
        wsum += b[i] * cv->weights[i];
      }
      EXPECT_NEAR(std::hypot(x / wsum, y / wsum), 1.0, 1e-15);
    }
    BSfreeqelcv(cv, &rc);
  }
}

}  // namespace
