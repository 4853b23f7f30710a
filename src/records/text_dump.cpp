// Text dumps of curve and surface records: labelled for people, unlabelled for the
// curve reader, and the unlabelled curve dump with byte images for exact transfer.
#include <bit>
#include <cfloat>
#include <cstring>

#include "frame/frame.hpp"
#include "records/records.hpp"

namespace knotwork {
namespace {

constexpr int32_t kMaxPrintedPoles = 10000;
constexpr int32_t kMaxPrintedKnots = 10016;
constexpr int64_t kMaxSurfacePoles = 100000000;
const char *const kInvalidRecord = "invalid curve parameters when printing curve\n";

// Writes numbers of one dump: " %20.15le" and, with images, the byte image of the
// value on the same line (which then ends that line).
class DumpWriter {
 public:
  DumpWriter(FILE *f, bool labelled, bool images) : f_(f), labelled_(labelled), images_(images) {}

  const char *boolean(BSboolean b) const {
    return labelled_ ? (b ? "TRUE" : "FALSE") : (b ? "1" : "0");
  }
  // " %20.15le", then the image; returns whether the image ended the line.
  bool number(double v) const {
    std::fprintf(f_, " %20.15le", v);
    if (!images_) return false;
    unsigned char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    BSwritehex(f_, bytes, sizeof v);
    return true;
  }
  void line_end_unless(bool ended) const {
    if (!ended) std::fputc('\n', f_);
  }
  // A labelled group opens with "name[i] (" and closes with ")".
  void open_group(const char *what, long index) const {
    if (!labelled_) return;
    char label[48];
    std::snprintf(label, sizeof label, "%s[%ld]", what, index);
    std::fprintf(f_, "%s %s", label, "(");
  }
  void close_group() const {
    if (labelled_) std::fputc(')', f_);
  }
  // One point of `dim` numbers as a group; "\n" before every point but the first.
  void point(const char *what, long index, const double *v, int dim) const {
    if (index > 0) std::fputc('\n', f_);
    open_group(what, index);
    bool ended = false;
    for (int j = 0; j < dim; ++j) ended = number(v[j]);
    line_end_unless(ended);
    close_group();
  }
  // "%s %20.15le" with the label "what[i]" or the empty text, then the line end.
  void labelled_value(const char *what, long index, double v) const {
    char label[48] = "";
    if (labelled_) std::snprintf(label, sizeof label, "%s[%ld]", what, index);
    std::fprintf(f_, "%s", label);
    line_end_unless(number(v));
  }
  FILE *stream() const { return f_; }
  bool labelled() const { return labelled_; }

 private:
  FILE *f_;
  bool labelled_;
  bool images_;
};

void unweighted_pole(const double *pole, double w, double out[3], bool zero_weight_as_max) {
  for (int j = 0; j < 3; ++j) out[j] = pole[j] / w;
  if (zero_weight_as_max && w == 0.0) out[0] = out[1] = out[2] = DBL_MAX;
}

}  // namespace

const char *image_order_word() {
  return std::endian::native == std::endian::little ? "nt" : "be";
}

bool curve_is_printable(const BScurve *cv) {
  if (cv == nullptr) return false;
  if (cv->order < 2 || cv->num_poles < cv->order || cv->num_poles > kMaxCurvePoles) return false;
  if (cv->num_knots != cv->num_poles + cv->order) return false;
  if (cv->poles == nullptr || cv->knots == nullptr) return false;
  if (cv->rational && cv->weights == nullptr) return false;
  if (cv->num_boundaries < 0 || cv->num_boundaries > kMaxBoundaries) return false;
  return cv->num_boundaries == 0 || cv->bdrys != nullptr;
}

bool surface_is_printable(const BSsurface *sf) {
  if (sf == nullptr) return false;
  if (sf->u_order < 2 || sf->v_order < 2) return false;
  if (sf->u_num_poles < sf->u_order || sf->v_num_poles < sf->v_order) return false;
  if (static_cast<int64_t>(sf->u_num_poles) * sf->v_num_poles > kMaxSurfacePoles) return false;
  if (sf->u_num_knots != sf->u_num_poles + sf->u_order) return false;
  if (sf->v_num_knots != sf->v_num_poles + sf->v_order) return false;
  if (sf->poles == nullptr || sf->u_knots == nullptr || sf->v_knots == nullptr) return false;
  if (sf->rational && sf->weights == nullptr) return false;
  if (sf->num_boundaries < 0 || sf->num_boundaries > kMaxBoundaries) return false;
  if (sf->num_boundaries == 0) return true;
  if (sf->boundaries == nullptr) return false;
  for (int i = 0; i < sf->num_boundaries; ++i) {
    const BSsfboundary &b = sf->boundaries[i];
    if (b.num_points < 0 || (b.num_points > 0 && b.points == nullptr)) return false;
  }
  return true;
}

bool write_curve_dump(FILE *f, const char *name, const BScurve *cv, bool labelled, bool images) {
  if (f == nullptr) f = stderr;
  if (name == nullptr) name = "";
  if (images) labelled = false;
  if (!curve_is_printable(cv)) {
    std::fputs(kInvalidRecord, f);
    return false;
  }
  const DumpWriter out(f, labelled, images);
  if (labelled) std::fprintf(f, "\n\n\"%s\":\n", name);
  std::fprintf(f, "BScurve\n");
  if (images) std::fprintf(f, "HEX %s\n", image_order_word());
  std::fprintf(f, "order %d\n", cv->order);
  std::fprintf(f, "periodic %s\n", out.boolean(cv->periodic));
  std::fprintf(f, "non_uniform %s\n", out.boolean(cv->non_uniform));
  std::fprintf(f, "num_poles %ld\n", static_cast<long>(cv->num_poles));

  const int32_t shown = cv->num_poles < kMaxPrintedPoles ? cv->num_poles : kMaxPrintedPoles;
  for (int32_t i = 0; i < shown; ++i) out.point("pole", i, cv->poles + 3 * i, 3);
  if (cv->rational) {
    std::fprintf(f, "unweighted poles\n");
    for (int32_t i = 0; i < shown; ++i) {
      double p[3];
      unweighted_pole(cv->poles + 3 * i, cv->weights[i], p, false);
      out.point("pole", i, p, 3);
    }
  }
  std::fprintf(f, "rational %d\n", cv->rational);
  if (cv->rational)
    for (int32_t i = 0; i < shown; ++i) out.labelled_value("weight", i, cv->weights[i]);

  std::fprintf(f, "num_knots %ld\n", static_cast<long>(cv->num_knots));
  const int32_t knots = cv->num_knots < kMaxPrintedKnots ? cv->num_knots : kMaxPrintedKnots;
  for (int32_t i = 0; i < knots; ++i) out.labelled_value("knot", i, cv->knots[i]);

  std::fprintf(f, "planar %s\n", out.boolean(cv->planar));
  std::fprintf(f, "phy_closed %s\n", out.boolean(cv->phy_closed));
  std::fprintf(f, "num_boundaries %d\n", cv->num_boundaries);
  for (int i = 0; i < cv->num_boundaries; ++i) out.point("boundary", i, cv->bdrys + 2 * i, 2);
  if (labelled) std::fprintf(f, "\n\nEnd of curve \"%s\"\n", name);
  return true;
}

namespace {

bool write_surface_dump(FILE *f, const char *name, const BSsurface *sf, bool labelled) {
  if (f == nullptr) f = stderr;
  if (name == nullptr) name = "";
  if (!surface_is_printable(sf)) {
    std::fputs(kInvalidRecord, f);
    return false;
  }
  const DumpWriter out(f, labelled, false);
  if (labelled) std::fprintf(f, "\n\n\"%s\":\n", name);
  std::fprintf(f, "BSsurface\n");
  std::fprintf(f, "u_order %d\nv_order %d\n", sf->u_order, sf->v_order);
  std::fprintf(f, "u_periodic %s\n", out.boolean(sf->u_periodic));
  std::fprintf(f, "v_periodic %s\n", out.boolean(sf->v_periodic));
  std::fprintf(f, "u_non_uniform %s\n", out.boolean(sf->u_non_uniform));
  std::fprintf(f, "v_non_uniform %s\n", out.boolean(sf->v_non_uniform));
  std::fprintf(f, "u_num_poles %ld\n", static_cast<long>(sf->u_num_poles));
  std::fprintf(f, "v_num_poles %ld\n", static_cast<long>(sf->v_num_poles));

  const long count = static_cast<long>(sf->u_num_poles) * sf->v_num_poles;
  for (long i = 0; i < count; ++i) out.point("pole", i, sf->poles + 3 * i, 3);
  if (sf->rational) {
    std::fprintf(f, "unweighted poles\n");
    for (long i = 0; i < count; ++i) {
      double p[3];
      unweighted_pole(sf->poles + 3 * i, sf->weights[i], p, true);
      out.point("pole", i, p, 3);
    }
  }
  std::fprintf(f, "rational %d\n", sf->rational);
  if (sf->rational)
    for (long i = 0; i < count; ++i) out.labelled_value("weight", i, sf->weights[i]);
  std::fprintf(f, "u_num_knots %ld\n", static_cast<long>(sf->u_num_knots));
  for (long i = 0; i < sf->u_num_knots; ++i) out.labelled_value("knot", i, sf->u_knots[i]);
  std::fprintf(f, "v_num_knots %ld\n", static_cast<long>(sf->v_num_knots));
  for (long i = 0; i < sf->v_num_knots; ++i) out.labelled_value("knot", i, sf->v_knots[i]);

  std::fprintf(f, "planar %s\n", out.boolean(sf->planar));
  std::fprintf(f, "u_phy_closed %s\n", out.boolean(sf->u_phy_closed));
  std::fprintf(f, "v_phy_closed %s\n", out.boolean(sf->v_phy_closed));
  std::fprintf(f, "pos_orient %s\n", out.boolean(sf->pos_orient));
  std::fprintf(f, "on_off %s\n", out.boolean(sf->on_off));
  std::fprintf(f, "num_boundaries %d\n", sf->num_boundaries);
  for (int i = 0; i < sf->num_boundaries; ++i) {
    const BSsfboundary &b = sf->boundaries[i];
    std::fprintf(f, "boundary %d num_points %d\n", i, b.num_points);
    for (int32_t j = 0; j < b.num_points; ++j) {
      // Every point of loop i carries the loop's label.
      if (j > 0) std::fputc('\n', f);
      out.open_group("boundary", i);
      out.number(b.points[2 * j]);
      out.number(b.points[2 * j + 1]);
      std::fputc('\n', f);
      out.close_group();
    }
  }
  if (labelled) std::fprintf(f, "\n\nEnd of surface \"%s\"\n", name);
  return true;
}

// Asks for a file name on the console and opens it for writing; null when no name
// was given or the file cannot be created.
FILE *ask_output_file() {
  std::printf("file name?\n");
  std::fflush(stdout);
  char name[20];
  if (std::scanf("%19s", name) != 1) return nullptr;
  return std::fopen(name, "w");
}

}  // namespace
}  // namespace knotwork

using namespace knotwork;

extern "C" {

KW_API BSboolean BSprintbspc(FILE *stream, const char *name, const BScurve *curve,
                             BSboolean labelled) {
  return write_curve_dump(stream, name, curve, labelled != 0, false) ? TRUE : FALSE;
}

KW_API BSboolean BSprintbsps(FILE *stream, const char *name, const BSsurface *surface,
                             BSboolean labelled) {
  return write_surface_dump(stream, name, surface, labelled != 0) ? TRUE : FALSE;
}

KW_API BSboolean BSprthexcv(FILE *stream, const BScurve *curve) {
  return write_curve_dump(stream, "", curve, false, true) ? TRUE : FALSE;
}

KW_API void BSprintbscv(const char *path, const BScurve *curve) {
  if (path == nullptr) return;
  FILE *f = std::fopen(path, "w");
  if (f == nullptr) return;
  write_curve_dump(f, "", curve, false, false);
  std::fclose(f);
}

KW_API void BSprintbssf(const char *path, const BSsurface *surface) {
  if (path == nullptr) return;
  FILE *f = std::fopen(path, "w");
  if (f == nullptr) return;
  write_surface_dump(f, "", surface, false);
  std::fclose(f);
}

// The host process is never ended here: an unusable file name is a status.
KW_API BSrc BSprtbspcv(const BScurve *curve) {
  FILE *f = ask_output_file();
  BSrc rc = BSFAIL;
  if (f != nullptr) {
    rc = write_curve_dump(f, "", curve, false, false) ? BSSUCC : BSINARG;
    std::fclose(f);
  }
  if (rc != BSSUCC) BSdbgrc(rc, "BSprtbspcv");
  return rc;
}

KW_API BSrc BSprtbspsf(const BSsurface *surface) {
  FILE *f = ask_output_file();
  BSrc rc = BSFAIL;
  if (f != nullptr) {
    rc = write_surface_dump(f, "", surface, false) ? BSSUCC : BSINARG;
    std::fclose(f);
  }
  if (rc != BSSUCC) BSdbgrc(rc, "BSprtbspsf");
  return rc;
}

}  // extern "C"
