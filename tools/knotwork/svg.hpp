// SVG drawings of curves for the knotwork program: a small scene of polylines,
// markers and segments in model coordinates, projected onto one coordinate plane
// and written as a self-contained SVG file with a fitted view box (y axis up),
// a scale bar, the axis names and a legend. Also the adaptive chord-height sampler
// that turns a parametric curve into a polyline.
#ifndef KNOTWORK_TOOL_SVG_HPP
#define KNOTWORK_TOOL_SVG_HPP

#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace svg {

using Point3 = std::array<double, 3>;

// The coordinate plane the drawing shows: horizontal and vertical model axes.
enum class View { XY, XZ, YZ };
bool parse_view(const char *text, View *view);
const char *view_name(View view);  // "xy", "xz", "yz"

// Projection of a model point onto the view plane: {horizontal, vertical}.
std::array<double, 2> project(const Point3 &p, View view);

// Samples a curve over [breaks.front(), breaks.back()] into a polyline whose
// projected chords stay within tolerance of the curve: every interval between
// consecutive breaks (sorted, e.g. the distinct knots) is cut into `pieces` equal
// parts and each part is halved recursively until the curve point at its middle
// lies within tolerance of the chord in the view plane (at most max_depth levels,
// at most max_points points). eval(u, point) returns false on failure, which ends
// the sampling with false. The parameters of the points go to params when non-null.
struct SampleLimits {
  int pieces = 4;
  int max_depth = 18;
  size_t max_points = 200000;
};
bool sample_curve(const std::function<bool(double, Point3 &)> &eval,
                  const std::vector<double> &breaks, double tolerance, View view,
                  std::vector<Point3> *points, std::vector<double> *params = nullptr,
                  const SampleLimits &limits = SampleLimits());

// The kinds of element a drawing holds; each has its own look and legend entry.
enum class Style {
  Curve,      // solid line in the layer's colour
  Polygon,    // control polygon: dashed grey line with square vertices
  Knots,      // circles at the points
  Comb,       // thin teeth (segments) and their envelope (polyline)
  Query,      // query point, foot point and the segment between them
  Highlight,  // wide translucent stroke over part of a curve (polyline)
};

struct Layer {
  Style style = Style::Curve;
  std::string label;                            // legend text
  int colour = 0;                               // index into the palette (curves)
  std::vector<Point3> points;                   // polyline or marker positions
  std::vector<std::array<Point3, 2>> segments;  // teeth or query segments
};

class Drawing {
 public:
  explicit Drawing(View view) : view_(view) {}
  void set_title(const std::string &title) { title_ = title; }
  // The layer stays where it is while more are added (callers keep references).
  Layer &add_layer(Style style, const std::string &label, int colour = 0);
  const std::deque<Layer> &layers() const { return layers_; }
  // Writes the whole SVG document; false (with a message) when a coordinate is not
  // finite or the stream fails.
  bool write(FILE *out, std::string *error) const;

 private:
  View view_;
  std::string title_ = "Knotwork curves";
  std::deque<Layer> layers_;
};

// The drawing size used to scale sampling tolerances: the diagonal of the
// projected bounding box of the points (0 for no points or a single point).
double projected_diagonal(const std::vector<Point3> &points, View view);

// Escapes &, <, >, " and ' for XML text and attribute values.
std::string xml_escape(const std::string &text);

}  // namespace svg

#endif
