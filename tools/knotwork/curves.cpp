// Curve helpers of the knotwork program: domains, drawing layers, nearest points.
#include "curves.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "cli.hpp"

namespace cli {
namespace {

// Fraction of the drawing size that the sampled polyline may deviate from the curve.
constexpr double kRelativeChordHeight = 2.5e-4;
// Comb: parameters per knot span, the cap on all of them, and the longest tooth as a
// fraction of the drawing size.
constexpr int kCombPerSpan = 24;
constexpr int kCombMaxParameters = 4000;
constexpr double kCombToothFraction = 0.15;

bool finite3(const double *p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

}  // namespace

void CurveDeleter::operator()(BScurve *curve) const {
  if (curve == nullptr) return;
  BSrc rc = BSSUCC;
  BSfreeqelcv(curve, &rc);
}

void curve_domain(const BScurve &curve, double *start, double *end) {
  *start = curve.knots[curve.order - 1];
  *end = curve.knots[curve.num_poles];
}

std::vector<double> distinct_knots(const BScurve &curve) {
  double start, end;
  curve_domain(curve, &start, &end);
  std::vector<double> knots{start};
  for (int32_t i = curve.order; i < curve.num_poles; ++i)
    if (curve.knots[i] > knots.back() && curve.knots[i] < end) knots.push_back(curve.knots[i]);
  if (end > start) knots.push_back(end);
  return knots;
}

std::vector<svg::Point3> cartesian_poles(const BScurve &curve) {
  std::vector<svg::Point3> poles;
  poles.reserve(static_cast<size_t>(curve.num_poles));
  for (int32_t i = 0; i < curve.num_poles; ++i) {
    const double *p = curve.poles + 3 * i;
    if (curve.rational) {
      const double w = curve.weights[i];
      if (w == 0.0) continue;
      poles.push_back({p[0] / w, p[1] / w, p[2] / w});
    } else {
      poles.push_back({p[0], p[1], p[2]});
    }
  }
  return poles;
}

std::string describe_curve(const BScurve &curve) {
  double start, end;
  curve_domain(curve, &start, &end);
  std::string text =
      "order " + std::to_string(curve.order) + ", " + std::to_string(curve.num_poles) + " poles";
  if (curve.rational) text += ", rational";
  if (curve.periodic) text += ", periodic";
  if (curve.phy_closed) text += ", closed";
  char range[96];
  std::snprintf(range, sizeof range, ", domain [%.10g, %.10g]", start, end);
  return text + range;
}

namespace {

// Chord-height tolerance for sampling all the given curves.
double sampling_tolerance(const std::vector<const BScurve *> &curves, svg::View view) {
  std::vector<svg::Point3> all;
  for (const BScurve *c : curves) {
    const auto poles = cartesian_poles(*c);
    all.insert(all.end(), poles.begin(), poles.end());
  }
  return kRelativeChordHeight * svg::projected_diagonal(all, view);
}

// Adds the layers of one curve to the drawing (see plot_curves); colour is the
// curve's palette index.
int plot_curve(svg::Drawing *drawing, const BScurve &curve, const std::string &name, int colour,
               const PlotOptions &options, double tolerance, size_t *point_count) {
  BSrc failed = BSSUCC;
  bool not_finite = false;
  auto eval = [&](double u, svg::Point3 &p) {
    double out[3] = {0, 0, 0};
    BSrc rc = BSSUCC;
    BScveval(&curve, u, 0, out, &rc);
    if (rc != BSSUCC) {
      failed = rc;
      return false;
    }
    if (!finite3(out)) {
      not_finite = true;
      return false;
    }
    p = {out[0], out[1], out[2]};
    return true;
  };
  auto eval_failure = [&]() {
    if (not_finite)
      return fail(name +
                      ": the curve has points at infinity or not a number (check the "
                      "weights)",
                  kLibraryFailure);
    return library_failure(("evaluating " + name + " (BScveval)").c_str(), failed);
  };

  const std::vector<double> breaks = distinct_knots(curve);
  svg::Layer &line =
      drawing->add_layer(svg::Style::Curve, name + ": " + describe_curve(curve), colour);
  // Each span starts as a few pieces so that an S-shaped span is not taken for its
  // chord; curves with very many spans start from the spans themselves.
  svg::SampleLimits limits;
  if (breaks.size() > 1000) limits.pieces = 1;
  if (!svg::sample_curve(eval, breaks, tolerance, options.view, &line.points, nullptr, limits))
    return eval_failure();
  *point_count = line.points.size();

  if (options.poles) {
    svg::Layer &poly = drawing->add_layer(
        svg::Style::Polygon,
        name + ": control polygon (" + std::to_string(curve.num_poles) + " poles)", colour);
    poly.points = cartesian_poles(curve);
  }
  if (options.knots) {
    svg::Layer &knots = drawing->add_layer(
        svg::Style::Knots, name + ": knots (" + std::to_string(breaks.size()) + " distinct)",
        colour);
    for (double u : breaks) {
      svg::Point3 p;
      if (!eval(u, p)) return eval_failure();
      knots.points.push_back(p);
    }
  }
  if (options.comb) {
    if (curve.order == 2) {
      std::fprintf(stderr, "knotwork: %s: order 2 (straight pieces), no curvature comb\n",
                   name.c_str());
      return kOk;
    }
    // Parameters spread evenly over every knot span, ascending.
    const size_t spans = breaks.size() - 1;
    const int per_span = static_cast<int>(std::clamp<size_t>(
        static_cast<size_t>(kCombMaxParameters) / std::max<size_t>(spans, 1), 2, kCombPerSpan));
    std::vector<double> pars;
    for (size_t i = 0; i < spans; ++i)
      for (int j = 0; j < per_span; ++j)
        pars.push_back(breaks[i] + (breaks[i + 1] - breaks[i]) * j / per_span);
    pars.push_back(breaks.back());
    const int32_t n = static_cast<int32_t>(pars.size());
    std::vector<double> curvature(pars.size()), radius(pars.size()), pairs(6 * pars.size(), 0.0);
    BSrc rc = BSSUCC;
    // A maximum length above every radius gives the centres of curvature themselves,
    // from which the unit normals are taken.
    BScvarrevc(const_cast<BScurve *>(&curve), n, pars.data(), 1.0e300, curvature.data(),
               radius.data(), pairs.data(), &rc);
    if (rc != BSSUCC)
      return library_failure(("curvature comb of " + name + " (BScvarrevc)").c_str(), rc);
    double kmax = 0.0;
    for (int32_t i = 0; i < n; ++i)
      if (radius[i] > 0.0 && std::isfinite(curvature[i])) kmax = std::max(kmax, curvature[i]);
    std::vector<svg::Point3> poles = cartesian_poles(curve);
    const double size = svg::projected_diagonal(poles, options.view);
    const double scale = kmax > 0.0 ? kCombToothFraction * size / kmax : 0.0;
    char label[160];
    std::snprintf(label, sizeof label, ": curvature comb (%d teeth, largest curvature %.6g)", n,
                  kmax);
    svg::Layer &comb = drawing->add_layer(svg::Style::Comb, name + label, colour);
    for (int32_t i = 0; i < n; ++i) {
      const double *p = &pairs[6 * i];
      const double *c = p + 3;
      svg::Point3 tip{p[0], p[1], p[2]};
      const double dx = c[0] - p[0], dy = c[1] - p[1], dz = c[2] - p[2];
      const double len = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (radius[i] > 0.0 && len > 0.0 && std::isfinite(len)) {
        // Teeth point away from the centre of curvature, their length ∝ curvature.
        const double t = curvature[i] * scale / len;
        tip = {p[0] - t * dx, p[1] - t * dy, p[2] - t * dz};
      }
      comb.segments.push_back({svg::Point3{p[0], p[1], p[2]}, tip});
      comb.points.push_back(tip);
    }
  }
  return kOk;
}

}  // namespace

int plot_curves(svg::Drawing *drawing, const std::vector<NamedCurve> &curves,
                const PlotOptions &options, size_t *point_count) {
  std::vector<const BScurve *> records;
  for (const NamedCurve &c : curves) records.push_back(c.curve.get());
  const double tolerance = sampling_tolerance(records, options.view);
  *point_count = 0;
  for (size_t i = 0; i < curves.size(); ++i) {
    size_t count = 0;
    const int code = plot_curve(drawing, *curves[i].curve, curves[i].name, static_cast<int>(i),
                                options, tolerance, &count);
    if (code != kOk) return code;
    *point_count += count;
  }
  return kOk;
}

int nearest_on_curves(const std::vector<const BScurve *> &curves, const svg::Point3 &point,
                      NearestResult *result) {
  *result = NearestResult();
  for (size_t i = 0; i < curves.size(); ++i) {
    double query[3] = {point[0], point[1], point[2]};
    double parameter = 0.0, foot[3] = {0, 0, 0}, distance = 0.0;
    BSrc rc = BSSUCC;
    BSmdstptcv(curves[i], query, &parameter, foot, &distance, &rc);
    if (rc != BSSUCC) return library_failure("nearest point (BSmdstptcv)", rc);
    if (result->curve < 0 || distance < result->distance) {
      result->curve = static_cast<int>(i);
      result->parameter = parameter;
      result->distance = distance;
      result->foot = {foot[0], foot[1], foot[2]};
    }
  }
  return kOk;
}

bool parse_point(const char *text, svg::Point3 *point) {
  std::string s(text);
  double v[3] = {0, 0, 0};
  int count = 0;
  size_t pos = 0;
  while (true) {
    const size_t comma = s.find(',', pos);
    const std::string part =
        s.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (count == 3 || !parse_double(part.c_str(), &v[count]) || !std::isfinite(v[count]))
      return false;
    ++count;
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  if (count < 2) return false;
  *point = {v[0], v[1], v[2]};
  return true;
}

std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

int offset_curve(const BScurve &curve, double d, const double *normal, CurvePtr *out,
                 bool *short_of_tol) {
  double n[3] = {0.0, 0.0, 1.0};
  BSrc rc = BSSUCC;
  if (normal != nullptr) {
    n[0] = normal[0], n[1] = normal[1], n[2] = normal[2];
  } else if (!BScvnormal(&rc, &curve, n)) {
    n[0] = n[1] = 0.0, n[2] = 1.0;  // a line: the xy-plane's normal
  }
  BSboolean right = TRUE;
  const double dirpt[3] = {0.0, 0.0, 0.0};
  BScurve *result = nullptr, **loops = nullptr;
  int32_t nloops = 0;
  rc = BSSUCC;
  BScvoffsetd(&curve, d, dirpt, TRUE, 0, 2, &right, n, &result, &nloops, &loops, &rc);
  if (rc != BSSUCC && rc != 5) return library_failure("BScvoffsetd", rc);
  if (loops != nullptr) BSdbgfree(loops);
  out->reset(result);
  *short_of_tol = rc == 5;
  return kOk;
}

}  // namespace cli
