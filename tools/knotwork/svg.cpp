// SVG writer and adaptive curve sampler of the knotwork program.
#include "svg.hpp"

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstring>
#include <limits>

namespace svg {
namespace {

constexpr const char *kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd",
                                    "#ff7f0e", "#8c564b", "#e377c2", "#17becf"};
constexpr int kPaletteSize = sizeof(kPalette) / sizeof(kPalette[0]);

const char *colour_of(int index) {
  const int i = index % kPaletteSize;
  return kPalette[i < 0 ? i + kPaletteSize : i];
}

// Layout of the page in SVG user units (pixels).
constexpr double kExtent = 800.0;    // the larger side of the drawing area
constexpr double kMargin = 40.0;     // around the drawing area
constexpr double kMinWidth = 560.0;  // room for the scale bar, axes and legend
constexpr double kAxisBand = 90.0;   // scale bar and axis names below the drawing
constexpr double kLegendRow = 20.0;

// Distance in the view plane from m to the segment a-b.
double chord_deviation(const std::array<double, 2> &a, const std::array<double, 2> &m,
                       const std::array<double, 2> &b) {
  const double cx = b[0] - a[0], cy = b[1] - a[1];
  const double mx = m[0] - a[0], my = m[1] - a[1];
  const double cc = cx * cx + cy * cy;
  double t = cc > 0.0 ? (mx * cx + my * cy) / cc : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double dx = mx - t * cx, dy = my - t * cy;
  return std::sqrt(dx * dx + dy * dy);
}

struct Sampler {
  const std::function<bool(double, Point3 &)> &eval;
  double tolerance;
  View view;
  const SampleLimits &limits;
  std::vector<Point3> *points;
  std::vector<double> *params;

  void emit(double u, const Point3 &p) {
    points->push_back(p);
    if (params != nullptr) params->push_back(u);
  }

  // Appends the points after (u0, p0) up to and including (u1, p1).
  bool refine(double u0, const Point3 &p0, double u1, const Point3 &p1, int depth) {
    const double um = 0.5 * (u0 + u1);
    Point3 pm;
    if (!eval(um, pm)) return false;
    const bool room = depth < limits.max_depth && points->size() < limits.max_points;
    if (room &&
        chord_deviation(project(p0, view), project(pm, view), project(p1, view)) > tolerance) {
      return refine(u0, p0, um, pm, depth + 1) && refine(um, pm, u1, p1, depth + 1);
    }
    emit(um, pm);
    emit(u1, p1);
    return true;
  }
};

bool finite(const Point3 &p) {
  return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// A "nice" length (1, 2 or 5 times a power of ten) not above target.
double nice_length(double target) {
  const double power = std::pow(10.0, std::floor(std::log10(target)));
  const double steps[] = {5.0, 2.0, 1.0};
  for (double s : steps)
    if (s * power <= target) return s * power;
  return power;
}

const char *axis_names(View view, int which) {
  switch (view) {
    case View::XY:
      return which == 0 ? "x" : "y";
    case View::XZ:
      return which == 0 ? "x" : "z";
    case View::YZ:
      return which == 0 ? "y" : "z";
  }
  return "?";
}

// Maps model coordinates of the view plane to page coordinates (y flipped so the
// model's vertical axis points up on the page).
struct PageMap {
  double hmin = 0, vmax = 0, scale = 1, left = 0, top = 0;
  double x(double h) const { return left + (h - hmin) * scale; }
  double y(double v) const { return top + (vmax - v) * scale; }
};

class Writer {
 public:
  explicit Writer(FILE *out) : out_(out) {}
  void text(const char *s) { std::fputs(s, out_); }
  __attribute__((format(printf, 2, 3))) void f(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(out_, format, args);
    va_end(args);
  }

 private:
  FILE *out_;
};

// The rest of a polyline element after `points="`: the projected page coordinates,
// eight to a line, and the end of the element.
void write_polyline_points(Writer &w, const std::vector<Point3> &points, const PageMap &map,
                           View view) {
  int column = 0;
  for (const Point3 &p : points) {
    const auto q = project(p, view);
    w.f("%.2f,%.2f", map.x(q[0]), map.y(q[1]));
    w.text(++column % 8 == 0 ? "\n" : " ");
  }
  w.text("\"/>\n");
}

void write_swatch(Writer &w, const Layer &layer, double x, double y) {
  const char *c = colour_of(layer.colour);
  switch (layer.style) {
    case Style::Curve:
      w.f("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
          "stroke-width=\"2\"/>\n",
          x, y, x + 24, y, c);
      break;
    case Style::Polygon:
      w.f("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" class=\"polygon\"/>\n", x, y,
          x + 24, y);
      w.f("<rect x=\"%.2f\" y=\"%.2f\" width=\"5\" height=\"5\" class=\"pole legend\"/>\n", x - 2.5,
          y - 2.5);
      w.f("<rect x=\"%.2f\" y=\"%.2f\" width=\"5\" height=\"5\" class=\"pole legend\"/>\n",
          x + 21.5, y - 2.5);
      break;
    case Style::Knots:
      w.f("<circle class=\"legend\" cx=\"%.2f\" cy=\"%.2f\" r=\"3.5\" fill=\"white\" "
          "stroke=\"%s\" stroke-width=\"1.5\"/>\n",
          x + 12, y, c);
      break;
    case Style::Comb:
      for (int i = 0; i < 4; ++i)
        w.f("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
            "class=\"tooth legend\"/>\n",
            x + 4 + 5.0 * i, y + 4, x + 4 + 5.0 * i, y - 2 - 1.5 * i, c);
      break;
    case Style::Query:
      w.f("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" class=\"query legend\"/>\n", x, y,
          x + 24, y);
      w.f("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3\" class=\"foot legend\"/>\n", x + 24, y);
      break;
    case Style::Highlight:
      w.f("<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
          "class=\"highlight legend\"/>\n",
          x, y, x + 24, y, c);
      break;
  }
}

}  // namespace

bool parse_view(const char *text, View *view) {
  if (std::strcmp(text, "xy") == 0)
    *view = View::XY;
  else if (std::strcmp(text, "xz") == 0)
    *view = View::XZ;
  else if (std::strcmp(text, "yz") == 0)
    *view = View::YZ;
  else
    return false;
  return true;
}

const char *view_name(View view) {
  switch (view) {
    case View::XY:
      return "xy";
    case View::XZ:
      return "xz";
    case View::YZ:
      return "yz";
  }
  return "?";
}

std::array<double, 2> project(const Point3 &p, View view) {
  switch (view) {
    case View::XY:
      return {p[0], p[1]};
    case View::XZ:
      return {p[0], p[2]};
    case View::YZ:
      return {p[1], p[2]};
  }
  return {p[0], p[1]};
}

bool sample_curve(const std::function<bool(double, Point3 &)> &eval,
                  const std::vector<double> &breaks, double tolerance, View view,
                  std::vector<Point3> *points, std::vector<double> *params,
                  const SampleLimits &limits) {
  if (breaks.empty()) return true;
  Sampler s{eval, tolerance, view, limits, points, params};
  Point3 p0;
  if (!eval(breaks.front(), p0)) return false;
  s.emit(breaks.front(), p0);
  const int pieces = std::max(1, limits.pieces);
  for (size_t i = 0; i + 1 < breaks.size(); ++i) {
    const double a = breaks[i], b = breaks[i + 1];
    double u0 = a;
    for (int j = 1; j <= pieces; ++j) {
      const double u1 = j == pieces ? b : a + (b - a) * j / pieces;
      Point3 p1;
      if (!eval(u1, p1)) return false;
      if (!s.refine(u0, p0, u1, p1, 0)) return false;
      u0 = u1;
      p0 = p1;
    }
  }
  return true;
}

Layer &Drawing::add_layer(Style style, const std::string &label, int colour) {
  layers_.push_back(Layer{style, label, colour, {}, {}});
  return layers_.back();
}

double projected_diagonal(const std::vector<Point3> &points, View view) {
  if (points.empty()) return 0.0;
  double lo[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  double hi[2] = {-lo[0], -lo[1]};
  for (const Point3 &p : points) {
    const auto q = project(p, view);
    for (int i = 0; i < 2; ++i) {
      lo[i] = std::min(lo[i], q[i]);
      hi[i] = std::max(hi[i], q[i]);
    }
  }
  return std::hypot(hi[0] - lo[0], hi[1] - lo[1]);
}

std::string xml_escape(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')
          out += '?';
        else
          out += c;
    }
  }
  return out;
}

bool Drawing::write(FILE *out, std::string *error) const {
  // Bounding box of everything drawn, in the view plane.
  double lo[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  double hi[2] = {-lo[0], -lo[1]};
  auto grow = [&](const Point3 &p) {
    if (!finite(p)) return false;
    const auto q = project(p, view_);
    for (int i = 0; i < 2; ++i) {
      lo[i] = std::min(lo[i], q[i]);
      hi[i] = std::max(hi[i], q[i]);
    }
    return true;
  };
  for (const Layer &layer : layers_) {
    for (const Point3 &p : layer.points)
      if (!grow(p)) {
        *error = "a point of '" + layer.label + "' is not finite";
        return false;
      }
    for (const auto &seg : layer.segments)
      if (!grow(seg[0]) || !grow(seg[1])) {
        *error = "a point of '" + layer.label + "' is not finite";
        return false;
      }
  }
  const bool empty = !(lo[0] <= hi[0]);
  if (empty) lo[0] = lo[1] = hi[0] = hi[1] = 0.0;
  const double dh = hi[0] - lo[0], dv = hi[1] - lo[1];
  const double extent = std::max(dh, dv);
  if (!std::isfinite(extent)) {
    *error = "the drawing is too large to scale";
    return false;
  }
  PageMap map;
  map.scale = extent > 0.0 ? kExtent / extent : 1.0;
  const double area_w = dh * map.scale, area_h = dv * map.scale;
  const double width = std::max(area_w + 2 * kMargin, kMinWidth);
  map.hmin = lo[0];
  map.vmax = hi[1];
  map.left = 0.5 * (width - area_w);
  map.top = kMargin;
  const double legend_top = map.top + area_h + kAxisBand;
  const double height = legend_top + kLegendRow * static_cast<double>(layers_.size()) + kMargin;

  Writer w(out);
  w.text("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  w.f("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%.2f\" "
      "height=\"%.2f\" viewBox=\"0 0 %.2f %.2f\">\n",
      width, height, width, height);
  w.f("<title>%s</title>\n", xml_escape(title_).c_str());
  w.f("<desc>View %s plane, model range %s [%.9g, %.9g], %s [%.9g, %.9g]; the vertical "
      "axis points up.</desc>\n",
      view_name(view_), axis_names(view_, 0), lo[0], hi[0], axis_names(view_, 1), lo[1], hi[1]);
  w.text(
      "<style>\n"
      "text { font-family: sans-serif; font-size: 13px; fill: #222; }\n"
      ".frame { fill: none; stroke: #ddd; stroke-width: 1; }\n"
      ".polygon { fill: none; stroke: #888; stroke-width: 1; stroke-dasharray: 5 3; }\n"
      ".pole { fill: #888; stroke: none; }\n"
      ".tooth { stroke-width: 0.7; stroke-opacity: 0.6; }\n"
      ".envelope { fill: none; stroke-width: 1; stroke-opacity: 0.8; }\n"
      ".query { stroke: #000; stroke-width: 1; stroke-dasharray: 3 2; }\n"
      ".foot { fill: #000; stroke: none; }\n"
      ".target { fill: none; stroke: #000; stroke-width: 1.5; }\n"
      ".highlight { fill: none; stroke-width: 7; stroke-opacity: 0.35; }\n"
      ".axis { stroke: #444; stroke-width: 1.2; fill: none; }\n"
      "</style>\n");
  w.f("<rect x=\"0\" y=\"0\" width=\"%.2f\" height=\"%.2f\" fill=\"white\"/>\n", width, height);
  w.f("<rect class=\"frame\" x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\"/>\n",
      map.left - 10, map.top - 10, area_w + 20, area_h + 20);

  // Layers in order: polygons first is the caller's choice; draw as given.
  w.text("<g id=\"drawing\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n");
  int index = 0;
  for (const Layer &layer : layers_) {
    const char *c = colour_of(layer.colour);
    w.f("<g id=\"layer%d\">\n", index++);
    switch (layer.style) {
      case Style::Curve:
      case Style::Polygon:
        if (layer.points.size() >= 2) {
          if (layer.style == Style::Curve)
            w.f("<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"2\" points=\"", c);
          else
            w.text("<polyline class=\"polygon\" points=\"");
          write_polyline_points(w, layer.points, map, view_);
        } else if (layer.points.size() == 1 && layer.style == Style::Curve) {
          const auto q = project(layer.points[0], view_);
          w.f("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"2.5\" fill=\"%s\"/>\n", map.x(q[0]), map.y(q[1]),
              c);
        }
        if (layer.style == Style::Polygon)
          for (const Point3 &p : layer.points) {
            const auto q = project(p, view_);
            w.f("<rect class=\"pole\" x=\"%.2f\" y=\"%.2f\" width=\"5\" height=\"5\"/>\n",
                map.x(q[0]) - 2.5, map.y(q[1]) - 2.5);
          }
        break;
      case Style::Knots:
        for (const Point3 &p : layer.points) {
          const auto q = project(p, view_);
          w.f("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"3.5\" fill=\"white\" stroke=\"%s\" "
              "stroke-width=\"1.5\"/>\n",
              map.x(q[0]), map.y(q[1]), c);
        }
        break;
      case Style::Comb:
        for (const auto &seg : layer.segments) {
          const auto a = project(seg[0], view_), b = project(seg[1], view_);
          w.f("<line class=\"tooth\" stroke=\"%s\" x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" "
              "y2=\"%.2f\"/>\n",
              c, map.x(a[0]), map.y(a[1]), map.x(b[0]), map.y(b[1]));
        }
        if (layer.points.size() >= 2) {
          w.f("<polyline class=\"envelope\" stroke=\"%s\" points=\"", c);
          write_polyline_points(w, layer.points, map, view_);
        }
        break;
      case Style::Query:
        for (const auto &seg : layer.segments) {
          const auto a = project(seg[0], view_), b = project(seg[1], view_);
          const double ax = map.x(a[0]), ay = map.y(a[1]);
          w.f("<line class=\"query\" x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", ax, ay,
              map.x(b[0]), map.y(b[1]));
          w.f("<path class=\"target\" d=\"M %.2f %.2f L %.2f %.2f M %.2f %.2f L %.2f %.2f\"/>\n",
              ax - 5, ay - 5, ax + 5, ay + 5, ax - 5, ay + 5, ax + 5, ay - 5);
          w.f("<circle class=\"foot\" cx=\"%.2f\" cy=\"%.2f\" r=\"3\"/>\n", map.x(b[0]),
              map.y(b[1]));
        }
        break;
      case Style::Highlight:
        if (!layer.points.empty()) {
          w.f("<polyline class=\"highlight\" stroke=\"%s\" points=\"", c);
          write_polyline_points(w, layer.points, map, view_);
        }
        break;
    }
    w.text("</g>\n");
  }
  w.text("</g>\n");

  // Scale bar and axis names below the drawing.
  const double band = map.top + area_h + 25;
  w.text("<g id=\"axes\">\n");
  if (extent > 0.0) {
    const double length = nice_length(extent / 4.0);
    const double x0 = map.left, x1 = map.left + length * map.scale;
    w.f("<path class=\"axis\" d=\"M %.2f %.2f L %.2f %.2f M %.2f %.2f L %.2f %.2f M %.2f %.2f "
        "L %.2f %.2f\"/>\n",
        x0, band, x1, band, x0, band - 5, x0, band + 5, x1, band - 5, x1, band + 5);
    w.f("<text x=\"%.2f\" y=\"%.2f\">scale: %g model units</text>\n", x0, band + 20, length);
  } else {
    w.f("<text x=\"%.2f\" y=\"%.2f\">scale: a single point</text>\n", map.left, band + 20);
  }
  // Axis cross below the frame, at the right: horizontal and vertical model axes.
  const double ox = width - kMargin - 60, oy = band + 42;
  w.f("<path class=\"axis\" d=\"M %.2f %.2f L %.2f %.2f M %.2f %.2f L %.2f %.2f L %.2f %.2f "
      "M %.2f %.2f L %.2f %.2f M %.2f %.2f L %.2f %.2f L %.2f %.2f\"/>\n",
      ox, oy, ox + 32, oy, ox + 26, oy - 4, ox + 32, oy, ox + 26, oy + 4, ox, oy, ox, oy - 32,
      ox - 4, oy - 26, ox, oy - 32, ox + 4, oy - 26);
  w.f("<text x=\"%.2f\" y=\"%.2f\">%s</text>\n", ox + 37, oy + 4, axis_names(view_, 0));
  w.f("<text x=\"%.2f\" y=\"%.2f\">%s</text>\n", ox + 8, oy - 26, axis_names(view_, 1));
  w.f("<text x=\"%.2f\" y=\"%.2f\">%s [%.6g, %.6g]  %s [%.6g, %.6g]</text>\n", map.left, band + 38,
      axis_names(view_, 0), lo[0], hi[0], axis_names(view_, 1), lo[1], hi[1]);
  w.text("</g>\n");

  // Legend: one row per layer.
  w.text("<g id=\"legend\">\n");
  double row = legend_top;
  for (const Layer &layer : layers_) {
    write_swatch(w, layer, kMargin, row);
    w.f("<text x=\"%.2f\" y=\"%.2f\">%s</text>\n", kMargin + 34, row + 4,
        xml_escape(layer.label).c_str());
    row += kLegendRow;
  }
  w.text("</g>\n</svg>\n");
  if (std::ferror(out)) {
    *error = "write error";
    return false;
  }
  return true;
}

}  // namespace svg
