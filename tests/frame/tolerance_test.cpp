// The tolerance record, its setters and the console editor.
#include <cstdio>
#include <string>
#include <tuple>

#include "support.hpp"

namespace {

class Tolerance : public ::testing::Test {
 protected:
  void SetUp() override { kwtest::reset_library_state(); }
  void TearDown() override { kwtest::reset_library_state(); }
};

TEST_F(Tolerance, DefaultsAtLoad) {
  EXPECT_EQ(BSparameters.dist_tol, 1e-6);
  EXPECT_EQ(BSparameters.orient_tol, 5e-11);
  EXPECT_EQ(BSparameters.zero_tol, 1e-14);
  EXPECT_EQ(BSparameters.aux_tangent, 0.41421356237309503);
  EXPECT_EQ(BSparameters.endpt_tol, 1e-6);
}

TEST_F(Tolerance, DependentFamilyFromBasis) {
  BSrc rc = 99;
  EXPECT_EQ(BSchgdeppar(1e-5, &rc), TRUE);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSparameters.dist_tol, 1e-5);
  EXPECT_DOUBLE_EQ(BSparameters.dist_sqtol, 1e-10);
  EXPECT_DOUBLE_EQ(BSparameters.zero_tol, 1e-12);
  EXPECT_DOUBLE_EQ(BSparameters.fine_dist_tol, 1e-8);
  EXPECT_DOUBLE_EQ(BSparameters.orient_tol, 5e-6);
  EXPECT_DOUBLE_EQ(BSparameters.parallel_sqtol, 2.5e-11);
  EXPECT_DOUBLE_EQ(BSparameters.tenth_basis_tol, 1e-6);
  EXPECT_EQ(BSparameters.offset_tol, 1e-3);
  EXPECT_EQ(BSparameters.chrdht_tol, 1e-3);
  EXPECT_EQ(BSparameters.arclen_tol, 1e-3);
}

TEST_F(Tolerance, IndexOutOfRangeRefused) {
  BSrc rc = 0;
  for (int32_t bad : {19, -1})
    EXPECT_EQ(std::tuple(BSchangepar(&rc, bad, 1.0), rc), std::tuple(FALSE, 27));
  EXPECT_EQ(BSchangepar(&rc, 18, 2e-6), TRUE);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(BSparameters.endpt_tol, 2e-6);
  EXPECT_EQ(BSchangepar(&rc, 0, 3.0), TRUE);
  EXPECT_EQ(BSparameters.half_basis_tol, 3.0);
}

TEST_F(Tolerance, MethodSwitchQueriesWithOtherValues) {
  EXPECT_EQ(BSstolmthd(1), 0);
  EXPECT_EQ(BSstolmthd(5), 1);
  EXPECT_EQ(BSstolmthd(-1), 1);
  EXPECT_EQ(BSstolmthd(0), 1);
  EXPECT_EQ(BSstolmthd(-1), 0);
}

// Feeds `input` to the console editor on standard input and returns what it prints.
std::string run_editor(const std::string &input) {
  FILE *in = fmemopen(const_cast<char *>(input.data()), input.size(), "r");
  FILE *saved = stdin;
  stdin = in;
  std::string out = kwtest::capture_stdout([] { BSchangetol(); });
  stdin = saved;
  std::fclose(in);
  return out;
}

TEST_F(Tolerance, EditorSessions) {
  const std::string line = "\n ==============================\n";
  const std::string none =
      line + "\n Modify tolerances (y/[n]) : " + "\n No tolerances were modified.\n" + line + "\n";
  EXPECT_EQ(run_editor("n\n"), none);
  EXPECT_EQ(run_editor("\n"), none);
  EXPECT_NE(run_editor("y\nn\nn\nn\nn\n").find(line + "\n No tolerances were modified.\n"),
            std::string::npos);
  EXPECT_EQ(BSparameters.dist_tol, 1e-6);
  EXPECT_EQ(run_editor("y\ny\n1e-5\ny\n0.5\nY\n0.25\ny\n2\n"),
            line +
                "\n Modify tolerances (y/[n]) : "
                "\n Modify basis_tol (y/[n])  :  Key in new basis_tol    : "
                "\n Modify dist_tol (y/[n])   :  Key in new dist_tol     : "
                "\n Modify chrdht_tol (y/[n]) :  Key in new chrdht_tol   : "
                "\n Modify offset_tol (y/[n]) :  Key in new offset_tol   : " +
                line +
                "\n Modified tolerances are:\n"
                "    New basis_tol    = 0.000010\n"
                "    New dist_tol     = 0.500000\n"
                "    New dist_sqtol   = 0.250000\n"
                "    New chrdht_tol   = 0.250000\n"
                "    New offset_tol   = 2.000000\n" +
                line + "\n");
  EXPECT_EQ(BSparameters.basis_tol, 1e-5);
  EXPECT_DOUBLE_EQ(BSparameters.zero_tol, 1e-12);
  EXPECT_EQ(std::tuple(BSparameters.dist_tol, BSparameters.dist_sqtol, BSparameters.chrdht_tol,
                       BSparameters.offset_tol),
            std::tuple(0.5, 0.25, 0.25, 2.0));
}

TEST_F(Tolerance, DbginitAtMinus99RunsEveryChecker) {
  BSdbglev = -99;
  FILE *in = fmemopen(const_cast<char *>("n\n"), 2, "r");
  FILE *saved = stdin;
  stdin = in;
  int32_t code = -1;
  const std::string out = kwtest::capture_stdout([&] { code = BSdbginit(); });
  stdin = saved;
  std::fclose(in);
  BSdbglev = 0;
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out.rfind("n is a negative number.Poisoning is completed. address = 0x", 0), 0u);
  EXPECT_NE(out.find("No tolerances were modified."), std::string::npos);
  EXPECT_NE(out.find(" *** BSdbglev is NOT 20 ***\n *** input pointer is NULL ***\n"),
            std::string::npos);
}

}  // namespace
