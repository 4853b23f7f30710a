// The curve parts of `knotwork demo`: three sample curves built in memory from their
// poles, evaluated and checked, projected onto, and drawn into demo.svg in the
// current directory.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"
#include "svg.hpp"

namespace {

constexpr double kCircleRadius = 1.5;

// Allocates a record and fills it from poles (Cartesian), weights (null for a
// polynomial curve) and knots.
int make_curve(const char *name, int16_t order, int32_t num_poles, const double *poles,
               const double *weights, const double *knots, bool periodic,
               std::vector<cli::NamedCurve> *curves) {
  BScurve *raw = nullptr;
  BSrc rc = BSSUCC;
  BSallocqelcv(order, num_poles, weights != nullptr ? TRUE : FALSE, 0, &raw, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSallocqelcv", rc);
  cli::CurvePtr curve(raw);
  curve->order = order;
  curve->periodic = periodic ? TRUE : FALSE;
  curve->non_uniform = periodic ? FALSE : TRUE;
  curve->planar = TRUE;
  for (int32_t i = 0; i < num_poles; ++i) {
    const double w = weights != nullptr ? weights[i] : 1.0;
    for (int j = 0; j < 3; ++j) curve->poles[3 * i + j] = w * poles[3 * i + j];
    if (weights != nullptr) curve->weights[i] = w;
  }
  for (int32_t i = 0; i < order + num_poles; ++i) curve->knots[i] = knots[i];
  const double *first = poles, *last = poles + 3 * (num_poles - 1);
  curve->phy_closed =
      periodic || (first[0] == last[0] && first[1] == last[1] && first[2] == last[2]);
  curves->push_back(cli::NamedCurve{name, std::move(curve)});
  return cli::kOk;
}

// The samples: a full circle as a rational quadratic (radius 1.5 about the origin),
// an open cubic through hand-picked poles, and a closed periodic cubic.
int build_samples(std::vector<cli::NamedCurve> *curves) {
  const double r = kCircleRadius, s = std::sqrt(0.5);
  const double circle_poles[] = {r, 0,  0,  r, r, 0,  0, r, 0,  -r, r, 0, -r, 0,
                                 0, -r, -r, 0, 0, -r, 0, r, -r, 0,  r, 0, 0};
  const double circle_weights[] = {1, s, 1, s, 1, s, 1, s, 1};
  const double circle_knots[] = {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1};
  if (int code =
          make_curve("circle", 3, 9, circle_poles, circle_weights, circle_knots, false, curves))
    return code;

  const double cubic_poles[] = {2.5, -1,  0, 3.5, 1.5, 0, 5,   -1.5, 0,
                                6.5, 1.5, 0, 7.5, -1,  0, 8.5, 0.5,  0};
  const double cubic_knots[] = {0, 0, 0, 0, 1.0 / 3, 2.0 / 3, 1, 1, 1, 1};
  if (int code = make_curve("cubic", 4, 6, cubic_poles, nullptr, cubic_knots, false, curves))
    return code;

  // Six poles around (11, 0), the first three repeated at the end; uniform knots.
  const double loop_poles[] = {12.5, 0,    0, 11.5, 1.5,  0, 10, 1,    0,
                               9.5,  -0.5, 0, 10.5, -1.5, 0, 12, -1.2, 0,
                               12.5, 0,    0, 11.5, 1.5,  0, 10, 1,    0};
  const double loop_knots[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  return make_curve("loop", 4, 9, loop_poles, nullptr, loop_knots, true, curves);
}

double distance3(const double *a, const double *b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

// Evaluation: each curve's point, tangent and curvature at mid-domain; the circle's
// largest radius error over 64 points; the closure of the periodic curve.
int demo_evaluation() {
  std::vector<cli::NamedCurve> curves;
  if (int code = build_samples(&curves)) return code;
  std::printf("\nsample curves (built in memory from their poles)\n");
  for (const cli::NamedCurve &c : curves) {
    double start, end, out[9];
    cli::curve_domain(*c.curve, &start, &end);
    const double u = 0.5 * (start + end);
    BSrc rc = BSSUCC;
    BScveval(c.curve.get(), u, 2, out, &rc);
    if (rc != BSSUCC) return cli::library_failure("BScveval", rc);
    const double *d1 = out + 3, *d2 = out + 6;
    const double cx = d1[1] * d2[2] - d1[2] * d2[1], cy = d1[2] * d2[0] - d1[0] * d2[2],
                 cz = d1[0] * d2[1] - d1[1] * d2[0];
    const double speed = std::sqrt(d1[0] * d1[0] + d1[1] * d1[1] + d1[2] * d1[2]);
    const double kappa = std::sqrt(cx * cx + cy * cy + cz * cz) / (speed * speed * speed);
    std::printf("  %-6s %s\n", c.name.c_str(), cli::describe_curve(*c.curve).c_str());
    std::printf("         at u %.6g: point (%.6g, %.6g, %.6g), speed %.6g, curvature %.6g\n", u,
                out[0], out[1], out[2], speed, kappa);
  }

  // The rational circle is exact: every point lies at the radius from the centre.
  const BScurve *circle = curves[0].curve.get();
  constexpr int kCount = 64;
  double pars[kCount], points[3 * kCount];
  for (int i = 0; i < kCount; ++i) pars[i] = static_cast<double>(i) / (kCount - 1);
  BSrc rc = BSSUCC;
  BScvarrev0(&rc, circle, pars, kCount, points);
  if (rc != BSSUCC) return cli::library_failure("BScvarrev0", rc);
  double worst = 0.0;
  for (int i = 0; i < kCount; ++i)
    worst =
        std::max(worst, std::fabs(std::hypot(points[3 * i], points[3 * i + 1]) - kCircleRadius));
  double curvature[kCount], radius[kCount], pairs[6 * kCount] = {};
  BScvarrevc(curves[0].curve.get(), kCount, pars, 1.0e300, curvature, radius, pairs, &rc);
  if (rc != BSSUCC) return cli::library_failure("BScvarrevc", rc);
  double worst_kappa = 0.0;
  for (int i = 0; i < kCount; ++i)
    worst_kappa = std::max(worst_kappa, std::fabs(curvature[i] - 1.0 / kCircleRadius));
  std::printf(
      "  circle: largest radius error over %d points %.3g (BScvarrev0), largest "
      "curvature error %.3g (BScvarrevc)\n",
      kCount, worst, worst_kappa);

  const BScurve *loop = curves[2].curve.get();
  double start, end, a[3], b[3];
  cli::curve_domain(*loop, &start, &end);
  BScveval(loop, start, 0, a, &rc);
  if (rc == BSSUCC) BScveval(loop, end, 0, b, &rc);
  if (rc != BSSUCC) return cli::library_failure("BScveval", rc);
  std::printf("  loop:   gap between start and end point %.3g\n", distance3(a, b));
  return cli::kOk;
}

// Query points of the nearest-point part, one per sample curve; the first has the
// exact answer (1.2, 0.9, 0) at distance 1.5 on the circle of radius 1.5.
constexpr double kQueries[3][3] = {{2.4, 1.8, 0}, {5.0, 2.0, 0}, {11.0, 0.2, 0}};

// Nearest points (BSmdstptcv) of the query points on their curves.
int demo_nearest() {
  std::vector<cli::NamedCurve> curves;
  if (int code = build_samples(&curves)) return code;
  std::printf("\nnearest points (BSmdstptcv)\n");
  for (size_t i = 0; i < curves.size(); ++i) {
    double parameter = 0.0, foot[3] = {0, 0, 0}, distance = 0.0;
    BSrc rc = BSSUCC;
    BSmdstptcv(curves[i].curve.get(), kQueries[i], &parameter, foot, &distance, &rc);
    if (rc != BSSUCC) return cli::library_failure("BSmdstptcv", rc);
    std::printf("  %-6s from (%g, %g, %g): u %.9g, point (%.9g, %.9g, %.9g), distance %.9g\n",
                curves[i].name.c_str(), kQueries[i][0], kQueries[i][1], kQueries[i][2], parameter,
                foot[0], foot[1], foot[2], distance);
    if (i == 0) {
      const double exact[3] = {1.2, 0.9, 0.0};
      std::printf("         exact foot (1.2, 0.9, 0) at distance 1.5: error %.3g\n",
                  distance3(foot, exact));
    }
  }

  // Every nearest point (BSmdistptcv): from the centre of the circle the whole
  // circle is nearest, one interval and no separate parameters.
  std::printf("\nall nearest points (BSmdistptcv)\n");
  const double centre[3] = {0, 0, 0};
  int16_t num_intervals = 0, num_params = 0;
  double *params = nullptr, *intervals = nullptr, distance = 0.0;
  BSrc rc = BSSUCC;
  BSmdistptcv(curves[0].curve.get(), centre, &num_intervals, &num_params, &params, &distance,
              &intervals, &rc);
  if (rc != BSSUCC) return cli::library_failure("BSmdistptcv", rc);
  std::printf("  circle from its centre: %d parameter(s), %d interval(s)", num_params,
              num_intervals);
  for (int i = 0; i < num_intervals; ++i)
    std::printf(" [%.9g, %.9g]", intervals[2 * i], intervals[2 * i + 1]);
  std::printf(", distance %.9g\n", distance);
  if (params != nullptr) BSdbgfree(params);
  if (intervals != nullptr) BSdbgfree(intervals);
  return cli::kOk;
}

// The picture: all three curves with poles, knots and curvature combs.
int demo_picture() {
  std::vector<cli::NamedCurve> curves;
  if (int code = build_samples(&curves)) return code;
  cli::PlotOptions options;
  options.poles = options.knots = options.comb = true;
  svg::Drawing drawing(options.view);
  drawing.set_title("knotwork demo: sample curves");
  size_t sampled = 0;
  if (const int code = cli::plot_curves(&drawing, curves, options, &sampled); code != cli::kOk)
    return code;
  svg::Layer &queries =
      drawing.add_layer(svg::Style::Query, "nearest points to 3 query points (BSmdstptcv)");
  for (size_t i = 0; i < curves.size(); ++i) {
    const svg::Point3 q{kQueries[i][0], kQueries[i][1], kQueries[i][2]};
    cli::NearestResult nearest;
    if (int code = cli::nearest_on_curves({curves[i].curve.get()}, q, &nearest)) return code;
    queries.segments.push_back({q, nearest.foot});
  }
  if (const int code = cli::write_output_file(
          "demo.svg", [&](FILE *out, std::string *error) { return drawing.write(out, error); });
      code != cli::kOk)
    return code;
  std::printf(
      "\nwrote demo.svg: %zu curves, %zu sampled points, poles, knots, curvature combs and "
      "nearest points\n",
      curves.size(), sampled);
  return cli::kOk;
}

const cli::DemoSection evaluation_demo(10, demo_evaluation);
const cli::DemoSection nearest_demo(30, demo_nearest);
const cli::DemoSection picture_demo(90, demo_picture);

}  // namespace
