// knotwork svg: draws curves from files as an SVG picture, with their control
// polygons, knots, curvature combs, nearest points to query points and the
// intersections with each other and with planes, and their offsets.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.hpp"
#include "curves.hpp"
#include "files.hpp"
#include "svg.hpp"

namespace {

int cmd_svg(int argc, char **argv) {
  std::vector<const char *> files;
  std::vector<svg::Point3> queries;
  const char *output = nullptr;
  cli::PlotOptions options;
  bool intersections = false;
  std::vector<cli::Plane> planes;
  std::vector<double> offsets;
  for (int i = 0; i < argc; ++i) {
    const char *a = argv[i];
    if (std::strcmp(a, "-o") == 0 || std::strcmp(a, "--output") == 0) {
      if (i + 1 >= argc) return cli::usage_error("svg: -o needs a file name");
      output = argv[++i];
    } else if (std::strcmp(a, "--poles") == 0) {
      options.poles = true;
    } else if (std::strcmp(a, "--knots") == 0) {
      options.knots = true;
    } else if (std::strcmp(a, "--comb") == 0) {
      options.comb = true;
    } else if (std::strcmp(a, "--intersect") == 0) {
      intersections = true;
    } else if (std::strcmp(a, "--plane") == 0) {
      if (i + 6 >= argc) return cli::usage_error("svg: --plane needs px py pz nx ny nz");
      cli::Plane plane;
      for (int k = 0; k < 6; ++k) {
        const char *t = argv[++i];
        double &v = k < 3 ? plane.point[k] : plane.normal[k - 3];
        if (!cli::parse_double(t, &v))
          return cli::usage_error(std::string("svg: '") + t + "' is not a number");
      }
      if (plane.normal[0] == 0.0 && plane.normal[1] == 0.0 && plane.normal[2] == 0.0)
        return cli::usage_error("svg: the plane normal must not be zero");
      planes.push_back(plane);
    } else if (std::strcmp(a, "--offset") == 0) {
      double d = 0.0;
      if (i + 1 >= argc) return cli::usage_error("svg: --offset needs a distance");
      if (!cli::parse_double(argv[++i], &d))
        return cli::usage_error(std::string("svg: '") + argv[i] + "' is not a number");
      offsets.push_back(d);
    } else if (std::strcmp(a, "--view") == 0) {
      if (i + 1 >= argc) return cli::usage_error("svg: --view needs xy, xz or yz");
      if (!svg::parse_view(argv[++i], &options.view))
        return cli::usage_error(std::string("svg: unknown view '") + argv[i] +
                                "' (use xy, xz or yz)");
    } else if (std::strcmp(a, "--points") == 0) {
      int taken = 0;
      svg::Point3 p;
      while (i + 1 < argc && cli::parse_point(argv[i + 1], &p)) {
        queries.push_back(p);
        ++i;
        ++taken;
      }
      if (taken == 0)
        return cli::usage_error(i + 1 < argc
                                    ? std::string("svg: '") + argv[i + 1] + "' is not a point x,y,z"
                                    : std::string("svg: --points needs points x,y,z"));
    } else if (a[0] == '-' && a[1] != '\0') {
      return cli::usage_error(std::string("svg: unknown option '") + a + "'");
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) return cli::usage_error("svg: no curve file given");
  if (output == nullptr) return cli::usage_error("svg: no output file given (-o OUT.svg)");

  for (const char *f : files) {
    std::error_code ec;
    if (std::filesystem::equivalent(f, output, ec))
      return cli::usage_error(std::string("svg: the output '") + output +
                              "' is one of the curve files");
  }

  std::vector<cli::NamedCurve> curves;
  for (const char *f : files) {
    const int code = cli::read_curve_file(f, &curves);
    if (code != cli::kOk) return code;
  }
  std::vector<std::string> reports;
  // Offsets are drawn as curves of their own after the curves read.
  const size_t read = curves.size();
  for (const double d : offsets)
    for (size_t i = 0; i < read; ++i) {
      cli::NamedCurve o;
      bool short_of_tol = false;
      if (const int code = cli::offset_curve(*curves[i].curve, d, nullptr, &o.curve, &short_of_tol);
          code != cli::kOk)
        return code;
      o.name = curves[i].name + " offset " + cli::number(d);
      reports.push_back("offset of " + curves[i].name + " at " + cli::number(d) + ": " +
                        cli::describe_curve(*o.curve) +
                        (short_of_tol ? " (some piece short of offset_tol)" : ""));
      curves.push_back(std::move(o));
    }
  std::vector<const BScurve *> records;
  for (const auto &c : curves) records.push_back(c.curve.get());

  svg::Drawing drawing(options.view);
  std::string title = "knotwork svg:";
  for (const char *f : files) title += std::string(" ") + f;
  drawing.set_title(title);
  size_t sampled = 0;
  if (const int code = cli::plot_curves(&drawing, curves, options, &sampled); code != cli::kOk)
    return code;

  if (!queries.empty()) {
    svg::Layer &layer =
        drawing.add_layer(svg::Style::Query, "nearest points to " + std::to_string(queries.size()) +
                                                 " query point(s) (BSmdstptcv)");
    for (const svg::Point3 &q : queries) {
      cli::NearestResult r;
      const int code = cli::nearest_on_curves(records, q, &r);
      if (code != cli::kOk) return code;
      layer.segments.push_back({q, r.foot});
      reports.push_back("nearest to (" + cli::number(q[0]) + ", " + cli::number(q[1]) + ", " +
                        cli::number(q[2]) + "): " + curves[r.curve].name + " u " +
                        cli::number(r.parameter) + " point (" + cli::number(r.foot[0]) + ", " +
                        cli::number(r.foot[1]) + ", " + cli::number(r.foot[2]) + ") distance " +
                        cli::number(r.distance));
    }
  }

  if (intersections && records.size() > 1) {
    const int code = cli::mark_intersections(&drawing, records, &reports);
    if (code != cli::kOk) return code;
  }

  if (!planes.empty()) {
    const int code = cli::mark_plane_intersections(&drawing, records, planes, &reports);
    if (code != cli::kOk) return code;
  }

  if (const int code = cli::write_output_file(
          output, [&](FILE *out, std::string *error) { return drawing.write(out, error); });
      code != cli::kOk)
    return code;
  std::printf("wrote %s (view %s): %zu curve%s, %zu sampled points\n", output,
              svg::view_name(options.view), curves.size(), curves.size() == 1 ? "" : "s", sampled);
  for (const std::string &line : reports) std::printf("%s\n", line.c_str());
  return cli::kOk;
}

const cli::Command svg_command(
    "svg",
    "svg FILE... -o OUT.svg [--poles] [--knots] [--comb] [--intersect] [--points x,y,z ...] "
    "[--plane px py pz nx ny nz]... [--offset d]... [--view xy|xz|yz]",
    "Draws the curves of the files (every curve of each file) into one SVG picture,\n"
    "fitted to the page with the vertical axis pointing up, with a scale bar, the axis\n"
    "names and a legend. The curves are sampled until the polyline lies within a\n"
    "small fraction of the drawing size of the curve.\n\n"
    "  -o OUT.svg        the picture to write (required)\n"
    "  --poles           the control polygon (poles divided by their weights)\n"
    "  --knots           the curve points at the distinct knots\n"
    "  --comb            the curvature comb (BScvarrevc): teeth proportional to the\n"
    "                    curvature, pointing away from the centre of curvature\n"
    "  --intersect       the intersection points and overlaps of every pair of\n"
    "                    curves (BScvcvint), drawn and printed\n"
    "  --plane P N       px py pz nx ny nz: where every curve meets the plane through\n"
    "                    P with normal N (BSpl_cv_int): the points marked, the\n"
    "                    stretches lying in the plane highlighted, both printed;\n"
    "                    may be given more than once\n"
    "  --offset d        the offset of every curve at distance |d| in its plane\n"
    "                    (BScvoffsetd: right of its direction for d > 0, left for\n"
    "                    d < 0, corners rounded, loops cut away), drawn as a curve\n"
    "                    of its own and printed; may be given more than once\n"
    "  --points P...     query points x,y,z (or x,y): the nearest curve point of each\n"
    "                    (BSmdstptcv), drawn and printed\n"
    "  --view V          the plane shown: xy (default), xz or yz\n\n"
    "example: knotwork svg examples/quarter_circle.cv -o quarter.svg --poles --comb --points 1,1\n",
    cmd_svg, 30);

}  // namespace
