// knotwork intersect: the intersection points and overlaps of two curves read from
// files (BScvcvint); the intersection marks of `knotwork svg --intersect`.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"

namespace cli {

int mark_intersections(svg::Drawing *drawing, const std::vector<const BScurve *> &curves,
                       std::vector<std::string> *reports) {
  svg::Layer &points = drawing->add_layer(svg::Style::Knots, "intersection points (BScvcvint)");
  svg::Layer &overlaps = drawing->add_layer(svg::Style::Query, "overlaps (BScvcvint)");
  for (size_t i = 0; i < curves.size(); ++i)
    for (size_t j = i + 1; j < curves.size(); ++j) {
      int32_t ni = 0, no = 0;
      BSboolean fa = FALSE, fb = FALSE;
      double *p[6] = {};
      BSrc rc = BSSUCC;
      BScvcvint(curves[i], curves[j], 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                &ni, &no, &fa, &fb, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
      if (rc != BSSUCC) return library_failure("BScvcvint", rc);
      const std::string pair = "curves " + std::to_string(i + 1) + " and " + std::to_string(j + 1);
      for (int k = 0; k < ni; ++k) {
        const double *q = p[0] + 3 * k;
        points.points.push_back({q[0], q[1], q[2]});
        reports->push_back(pair + " meet at (" + number(q[0]) + ", " + number(q[1]) + ", " +
                           number(q[2]) + ") u " + number(p[1][k]) + " " + number(p[2][k]));
      }
      for (int k = 0; k < no; ++k) {
        const double *q = p[3] + 6 * k;
        overlaps.segments.push_back({svg::Point3{q[0], q[1], q[2]}, svg::Point3{q[3], q[4], q[5]}});
        reports->push_back(pair + " overlap from u " + number(p[4][2 * k]) + " to " +
                           number(p[4][2 * k + 1]));
      }
      for (double *q : p)
        if (q != nullptr) BSdbgfree(q);
    }
  return kOk;
}

}  // namespace cli

namespace {

int cmd_intersect(int argc, char **argv) {
  if (argc != 2) return cli::usage_error("intersect takes FILE1 FILE2");
  cli::CurvePtr a, b;
  int code = cli::read_one_curve("intersect", argv[0], &a);
  if (code == cli::kOk) code = cli::read_one_curve("intersect", argv[1], &b);
  if (code != cli::kOk) return code;
  int32_t ni = 0, no = 0;
  BSboolean fa = FALSE, fb = FALSE;
  double *p[6] = {};
  BSrc rc = BSSUCC;
  BScvcvint(a.get(), b.get(), 0, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &ni,
            &no, &fa, &fb, &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &rc);
  if (rc != BSSUCC) return cli::library_failure("BScvcvint", rc);
  std::printf("points %d\n", ni);
  for (int i = 0; i < ni; ++i)
    std::printf("  point %.17g %.17g %.17g u1 %.17g u2 %.17g\n", p[0][3 * i], p[0][3 * i + 1],
                p[0][3 * i + 2], p[1][i], p[2][i]);
  std::printf("overlaps %d\n", no);
  for (int i = 0; i < no; ++i) {
    const double *q = p[3] + 6 * i;
    std::printf("  overlap %.17g %.17g %.17g to %.17g %.17g %.17g u1 %.17g %.17g u2 %.17g %.17g\n",
                q[0], q[1], q[2], q[3], q[4], q[5], p[4][2 * i], p[4][2 * i + 1], p[5][2 * i],
                p[5][2 * i + 1]);
  }
  for (double *q : p)
    if (q != nullptr) BSdbgfree(q);
  return cli::kOk;
}

const cli::Command intersect_command(
    "intersect", "intersect FILE1 FILE2",
    "Prints the points where the curves of FILE1 and FILE2 meet (point, parameter\n"
    "on each curve, ascending on the first) and the stretches where they coincide\n"
    "(start and end points, parameter pairs on each curve).\n\n"
    "example: knotwork intersect a.crv b.crv\n",
    cmd_intersect, 82);

}  // namespace
