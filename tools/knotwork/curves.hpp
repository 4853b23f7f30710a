// Curve helpers of the knotwork program (files.hpp reads and writes the files):
// owning records, the parameter domain and distinct knots, and turning curves
// into drawing layers (shared by `knotwork svg` and `knotwork demo`).
#ifndef KNOTWORK_TOOL_CURVES_HPP
#define KNOTWORK_TOOL_CURVES_HPP

#include <memory>
#include <string>
#include <vector>

#include "knotwork.h"
#include "svg.hpp"

namespace cli {

// Releases a record made by the library (BSallocqelcv, BSreadcv) with BSfreeqelcv.
struct CurveDeleter {
  void operator()(BScurve *curve) const;
};
using CurvePtr = std::unique_ptr<BScurve, CurveDeleter>;

// A curve read from a file, with the name used in messages and legends
// ("file.crv" or "file.crv#2" for the second curve of a file).
struct NamedCurve {
  std::string name;
  CurvePtr curve;
};

// The parameter domain [knots[order-1], knots[num_poles]].
void curve_domain(const BScurve &curve, double *start, double *end);
// The distinct knot values in the domain, ascending, both ends included.
std::vector<double> distinct_knots(const BScurve &curve);
// The poles divided by their weights (poles with a zero weight are left out).
std::vector<svg::Point3> cartesian_poles(const BScurve &curve);
// "order 4, 7 poles, rational, periodic, closed, domain [0, 1]"
std::string describe_curve(const BScurve &curve);

// What `knotwork svg` draws besides the curve itself.
struct PlotOptions {
  bool poles = false;
  bool knots = false;
  bool comb = false;
  svg::View view = svg::View::XY;
};

// Adds the layers of every curve (curve, then poles, knots and comb as asked) to the
// drawing, curve i in palette colour i, all sampled with one chord-height tolerance:
// a small fraction of the size of the drawing (the projected box of all their
// poles). Returns kOk or the exit code after printing the message. *point_count
// receives the number of sampled curve points.
int plot_curves(svg::Drawing *drawing, const std::vector<NamedCurve> &curves,
                const PlotOptions &options, size_t *point_count);

// Marks the intersection points (a circle layer) and overlaps (a segment layer) of
// every pair of the curves (BScvcvint) and appends one report line per result.
// Returns kOk or the exit code after printing the message.
int mark_intersections(svg::Drawing *drawing, const std::vector<const BScurve *> &curves,
                       std::vector<std::string> *reports);

// A plane through point with normal (any non-zero length).
struct Plane {
  svg::Point3 point{}, normal{};
};
// Marks where each curve meets the plane (BSpl_cv_int): the points as a circle layer,
// each parameter interval lying in the plane as a highlighted stroke, and one report
// line per result ("curve 2 meets plane 1 at (x, y, z) u t", "curve 2 lies in plane
// 1 from u a to b"). Returns kOk or the exit code after printing the message.
int mark_plane_intersections(svg::Drawing *drawing, const std::vector<const BScurve *> &curves,
                             const std::vector<Plane> &planes, std::vector<std::string> *reports);

// Nearest point of a set of curves to a query point (BSmdstptcv on each curve).
struct NearestResult {
  int curve = -1;  // index of the nearest curve
  double parameter = 0, distance = 0;
  svg::Point3 foot{};
};
int nearest_on_curves(const std::vector<const BScurve *> &curves, const svg::Point3 &point,
                      NearestResult *result);

// Offset of a planar curve (or line) at distance |d| (BScvoffsetd, corners rounded,
// loops cut away): right of its direction about the normal for d > 0, left for
// d < 0; normal null takes the plane of the poles (the xy-plane's normal for a
// line). *short_of_tol: some piece did not reach offset_tol (status 5). Returns kOk
// or the exit code after printing the message.
int offset_curve(const BScurve &curve, double d, const double *normal, CurvePtr *out,
                 bool *short_of_tol);

// Parses "x,y,z" (or "x,y" with z = 0).
bool parse_point(const char *text, svg::Point3 *point);
// Formats a double with 17 significant digits (round trip), as "%.17g".
std::string number(double value);

}  // namespace cli

#endif
