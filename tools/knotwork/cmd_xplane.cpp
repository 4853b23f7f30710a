// knotwork xplane: the intersections of a curve read from a dump with a plane; the
// plane marks of `knotwork svg --plane`.
#include <cstdio>
#include <string>
#include <vector>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"

namespace cli {

int mark_plane_intersections(svg::Drawing *drawing, const std::vector<const BScurve *> &curves,
                             const std::vector<Plane> &planes, std::vector<std::string> *reports) {
  // Each stroke is sampled at a fixed number of chords: enough for a highlight drawn
  // over the curve itself.
  constexpr int kStrokeChords = 64;
  svg::Layer &marks = drawing->add_layer(svg::Style::Knots, "plane intersections (BSpl_cv_int)");
  for (size_t j = 0; j < planes.size(); ++j)
    for (size_t i = 0; i < curves.size(); ++i) {
      const BScurve *cv = curves[i];
      const size_t spans = static_cast<size_t>(cv->num_poles - cv->order + 1);
      const size_t cap = static_cast<size_t>(cv->order) * spans;
      std::vector<double> params(cap), points(3 * cap), starts(spans), ends(spans);
      int32_t num_points = 0, num_intervals = 0;
      BSrc rc = BSSUCC;
      BSpl_cv_int(&rc, cv, planes[j].point.data(), planes[j].normal.data(), &num_points,
                  points.data(), params.data(), &num_intervals, starts.data(), ends.data());
      if (rc != BSSUCC) return library_failure("BSpl_cv_int", rc);
      const std::string who =
          "curve " + std::to_string(i + 1) + " meets plane " + std::to_string(j + 1);
      for (int k = 0; k < num_points; ++k) {
        const double *q = points.data() + 3 * k;
        marks.points.push_back({q[0], q[1], q[2]});
        reports->push_back(who + " at (" + number(q[0]) + ", " + number(q[1]) + ", " +
                           number(q[2]) + ") u " + number(params[k]));
      }
      for (int k = 0; k < num_intervals; ++k) {
        const std::string range = "u " + number(starts[k]) + " to " + number(ends[k]);
        const std::string in_plane = "curve " + std::to_string(i + 1) + " lies in plane " +
                                     std::to_string(j + 1) + " from " + range;
        svg::Layer &stroke = drawing->add_layer(svg::Style::Highlight, in_plane + " (BSpl_cv_int)",
                                                static_cast<int>(j));
        for (int s = 0; s <= kStrokeChords; ++s) {
          const double u = starts[k] + (ends[k] - starts[k]) * s / kStrokeChords;
          double p[3] = {0, 0, 0};
          BScveval(cv, u, 0, p, &rc);
          if (rc != BSSUCC) return library_failure("BScveval", rc);
          stroke.points.push_back({p[0], p[1], p[2]});
        }
        reports->push_back(in_plane);
      }
    }
  return kOk;
}

}  // namespace cli

namespace {

int cmd_xplane(int argc, char **argv) {
  if (argc != 7) return cli::usage_error("xplane takes FILE px py pz nx ny nz");
  double v[6];
  for (int i = 0; i < 6; ++i)
    if (!cli::parse_double(argv[1 + i], &v[i]))
      return cli::usage_error(std::string("xplane: '") + argv[1 + i] + "' is not a number");
  if (v[3] == 0.0 && v[4] == 0.0 && v[5] == 0.0)
    return cli::usage_error("xplane: the plane normal must not be zero");
  cli::CurvePtr curve;
  const int code = cli::read_one_curve("xplane", argv[0], &curve);
  if (code != cli::kOk) return code;
  const BScurve *cv = curve.get();
  const size_t spans = static_cast<size_t>(cv->num_poles - cv->order + 1);
  const size_t cap = static_cast<size_t>(cv->order) * spans;
  std::vector<double> params(cap), points(3 * cap), starts(spans), ends(spans);
  int32_t num_points = 0, num_intervals = 0;
  BSrc rc = BSSUCC;
  BSpl_cv_int(&rc, cv, v, v + 3, &num_points, points.data(), params.data(), &num_intervals,
              starts.data(), ends.data());
  if (rc != BSSUCC) return cli::library_failure("BSpl_cv_int", rc);
  std::printf("points %d\n", num_points);
  for (int i = 0; i < num_points; ++i)
    std::printf("  u %.17g  at %.17g %.17g %.17g\n", params[i], points[3 * i], points[3 * i + 1],
                points[3 * i + 2]);
  std::printf("intervals %d\n", num_intervals);
  for (int i = 0; i < num_intervals; ++i) std::printf("  [%.17g, %.17g]\n", starts[i], ends[i]);
  return cli::kOk;
}

const cli::Command xplane_command(
    "xplane", "xplane FILE px py pz nx ny nz",
    "Reads the curve dump in FILE and prints where the curve meets the plane\n"
    "through (px, py, pz) with normal (nx, ny, nz), found at basis_tol: each\n"
    "point once with its parameter, ascending (a touch is one point, a closed\n"
    "curve crossing at its joint gives the start only), then the parameter\n"
    "intervals over which the curve lies in the plane.\n\n"
    "example: knotwork xplane examples/quarter_circle.cv 0 0 0 1 -1 0\n",
    cmd_xplane, 82);

}  // namespace
