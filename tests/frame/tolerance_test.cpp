// The tolerance record, its setters and the console editor.

#include "support.hpp"

namespace {

using Tolerance = kwtest::CleanStateTest;

TEST_F(Tolerance, DefaultsAtLoadAndTheDependentFamily) {
  const auto &t = BSparameters;
  EXPECT_EQ(std::tuple(t.dist_tol, t.orient_tol, t.zero_tol, t.aux_tangent, t.endpt_tol),
            std::tuple(1e-6, 5e-11, 1e-14, 0.41421356237309503, 1e-6));
  BSrc rc = 99;
  EXPECT_EQ(std::tuple(BSchgdeppar(1e-5, &rc), rc), std::tuple(TRUE, BSSUCC));
  const double derived[][2] = {{t.dist_sqtol, 1e-10},       {t.zero_tol, 1e-12},
                               {t.fine_dist_tol, 1e-8},     {t.orient_tol, 5e-6},
                               {t.parallel_sqtol, 2.5e-11}, {t.tenth_basis_tol, 1e-6}};
  for (const auto &d : derived) EXPECT_DOUBLE_EQ(d[0], d[1]);
  EXPECT_EQ(std::tuple(t.dist_tol, t.offset_tol, t.chrdht_tol, t.arclen_tol),
            std::tuple(1e-5, 1e-3, 1e-3, 1e-3));
}

TEST_F(Tolerance, IndexOutOfRangeRefusedAndMethodSwitch) {
  BSrc rc = 0;
  for (int32_t bad : {19, -1})
    EXPECT_EQ(std::tuple(BSchangepar(&rc, bad, 1.0), rc), std::tuple(FALSE, 27));
  EXPECT_EQ(std::tuple(BSchangepar(&rc, 18, 2e-6), rc, BSparameters.endpt_tol),
            std::tuple(TRUE, BSSUCC, 2e-6));
  EXPECT_EQ(std::tuple(BSchangepar(&rc, 0, 3.0), BSparameters.half_basis_tol),
            std::tuple(TRUE, 3.0));
  const int32_t got[] = {BSstolmthd(1), BSstolmthd(5), BSstolmthd(-1), BSstolmthd(0),
                         BSstolmthd(-1)};
  EXPECT_EQ(std::vector<int32_t>(got, got + 5), (std::vector<int32_t>{0, 1, 1, 1, 0}));
}

std::string run_editor(const std::string &input) {
  return kwtest::capture_stdout(input, BSchangetol);
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
  int32_t code = -1;
  const std::string out = kwtest::capture_stdout("n\n", [&] { code = BSdbginit(); });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out.rfind("n is a negative number.Poisoning is completed. address = 0x", 0), 0u);
  EXPECT_NE(out.find("No tolerances were modified."), std::string::npos);
  EXPECT_NE(out.find(" *** BSdbglev is NOT 20 ***\n *** input pointer is NULL ***\n"),
            std::string::npos);
}

}  // namespace
