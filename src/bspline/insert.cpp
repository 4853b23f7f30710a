// Knot insertion: the insertion kernels on plain arrays and the exported
// insertion, refinement and end-clamping operations on curve records and arrays.
#include "bspline/insert.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bspline/kernel.hpp"
#include "bspline/knots.hpp"
#include "records/curve_check.hpp"
#include "records/records.hpp"

namespace knotwork {

// ---- Kernels on arrays -----------------------------------------------------------

void insert_knot_in_place(int k, int32_t n, const PoleSet &poles, double *knots, int32_t L,
                          double u, int r, int m) {
  const int p = k - 1;
  poles.shift_up(L + 1, n - 1 - L, r);
  for (int l = 1; l <= r; ++l) {
    poles.copy_pole(L - l + 1 + r, L);
    for (int32_t j = L; j >= L - p + l + m; --j) {
      // knots still hold the vector before the insertion
      const double a = (u - knots[j]) / (knots[j + k - l] - knots[j]);
      poles.blend(j, j - 1, j, a);
    }
  }
  for (int32_t j = n + k - 1 + r; j >= L + 1 + r; --j) knots[j] = knots[j - r];
  for (int32_t j = L + 1; j <= L + r; ++j) knots[j] = u;
}

namespace {
// Smallest interval length taken in the refinement weights (only reached off a
// refinement, where two knots bounding an inserted one coincide).
constexpr double kTinyInterval = 1e-300;

// Blending factor (u - a) / (b - a); 0 for an empty interval (the pole it would
// weigh belongs to a basis function that vanishes there).
inline double ratio(double u, double a, double b) {
  return b > a ? (u - a) / (b - a) : 0.0;
}
}  // namespace

void insert_end_knot(int k, int32_t n, const PoleSet &poles, double *knots, int32_t i, double u) {
  if (i + 1 < k) {
    for (int32_t j = 1; j <= i; ++j) {
      const double a = ratio(u, knots[j], knots[j + k - 1]);
      poles.blend(j - 1, j - 1, j, a);
    }
    for (int32_t j = 1; j <= i; ++j) knots[j - 1] = knots[j];
    knots[i] = u;
  } else if (i + 1 > n) {
    for (int32_t j = n - 1; j >= i - k + 2 && j >= 1; --j) {
      const double a = ratio(u, knots[j], knots[j + k - 1]);
      poles.blend(j, j - 1, j, a);
    }
    for (int32_t j = n + k - 1; j >= i + 2; --j) knots[j] = knots[j - 1];
    knots[i + 1] = u;
  }
}

int32_t refinement_coefficients(int k, int32_t n, const double *t, int32_t nn, const double *tau,
                                int32_t j, int32_t &next_old, double tol, double *alpha) {
  const int p = k - 1;
  const int32_t nt = n + k, last = std::min<int32_t>(j + p, nn + k - 1);
  // Old knots are matched to new ones in order (within tol); an old knot that has
  // no partner (tau is then no refinement) is passed over. x collects the new knots
  // that match none, v counts them.
  double *x = alpha + k;  // the inserted knots (k places after the coefficients)
  int v = 0;
  int32_t i = next_old;
  const auto step = [&](double y) {
    while (i < nt && t[i] < y - tol) ++i;
    const bool old = i < nt && std::fabs(t[i] - y) <= tol;
    i += old;
    return old;
  };
  if (j == 0) step(tau[0]);
  // New pole j is the blossom at tau[j+1 .. j+p]: old knots t[a+1 .. a+p-v] (a the
  // last old knot matched up to tau[j]) and v inserted knots x.
  int32_t a = i - 1;
  for (int32_t q = j + 1; q <= last; ++q) {
    x[v] = tau[q];
    v += !step(tau[q]);
    if (q == j + 1) next_old = i;  // old knots matched up to tau[j+1]: the next call's start
  }
  // On a refinement 0 <= a - v and a <= n - 1; anything else only has to stay in
  // range.
  a = std::clamp<int32_t>(a, v, n - 1);
  // Old poles a-v .. a carry the blossom arguments t[a-v+1 .. a+p]; each x lies in
  // [t[a], t[a+p-v+1]], so applying them as Boehm insertions (intervals of p+1-v
  // .. p knots that all contain x) blends with weights in [0, 1]. (Blossoming on
  // one span instead, with arguments far outside it, extrapolates: on uneven knots
  // of high order that loses most digits to cancellation.) Off a refinement the weights
  // are clamped to [0, 1] and an empty interval gives 0. The coefficients land
  // among k places around a-v .. a, the others 0.
  const int32_t first = std::clamp<int32_t>(a - p, 0, n - k);
  for (int q = 0; q <= p; ++q) alpha[q] = 0.0;
  double *al = alpha + (a - v - first);  // al[q]: coefficient of old pole a-v+q
  const double *tl = t + (a - v);
  al[v] = 1.0;
  for (int l = 1; l <= v; ++l) {
    const double xl = x[l - 1];
    const int len = p - v + l;
    double carry = 0.0;  // al[q - 1] so far
    for (int q = v - l + 1; q <= v; ++q) {
      const double left = tl[q], den = std::max(tl[q + len] - left, kTinyInterval);
      const double b = std::min(std::max((xl - left) / den, 0.0), 1.0);
      const double c = al[q];
      al[q - 1] = carry + (1.0 - b) * c;
      carry = b * c;
    }
    al[v] = carry;
  }
  return first;
}

namespace {

// Old knot t[i] and new knot y are the same knot (the old knots are matched to the
// new ones from the top down).
inline bool same_knot(double old, double y, double tol) {
  return std::fabs(old - y) <= tol;
}

// True when tau contains t (matched from the top down within tol, with the same
// ends) so that the knots tau has in addition can be inserted one by one by
// refine_by_insertion, every index staying in range.
bool inserts_into(int k, int32_t n, const double *t, int32_t nn, const double *tau, double tol) {
  const int p = k - 1;
  if (nn < n || !same_knot(t[n + p], tau[nn + p], tol)) return false;
  int32_t i = n + p - 1, w = nn + p - 1;
  for (int32_t left = nn - n; left > 0; --left) {
    while (i > p && same_knot(t[i], tau[w], tol)) --i, --w;
    // tau[w] is a new knot: above t[i] (not below it: t[i] would be missing), with
    // the p knots above it in tau and poles w-p-1 .. w in range.
    if (!(tau[w] >= t[i] - tol) || w > nn - 1 || w < p + 1) return false;
    --w;
  }
  while (i > p && same_knot(t[i], tau[w], tol)) --i, --w;
  return i == p && w == p;
}

// The refinement as a sequence of Boehm insertions from the top down (all
// blending weights in [0, 1]): old poles are copied to their new places until the
// next new knot x = tau[w] comes, which then blends the p poles below it with the
// new knots above it (already final) and the old ones below.
void refine_by_insertion(int k, int32_t n, const double *t, const PoleSet &in, int32_t nn,
                         const double *tau, const PoleSet &out, double tol) {
  const int p = k - 1;
  const auto take = [&](std::ptrdiff_t dst, std::ptrdiff_t src) {
    for (int g = 0; g < 2; ++g)
      for (int c = 0; c < out.group[g].comps; ++c) out.group[g].at(dst, c) = in.group[g].at(src, c);
  };
  take(nn - 1, n - 1);
  take(0, 0);
  int32_t i = n + p - 1, w = nn + p - 1;
  for (int32_t left = nn - n; left > 0; --left) {
    for (; i > p && same_knot(t[i], tau[w], tol); --i, --w) take(w - p - 1, i - p - 1);
    const double x = tau[w];
    out.copy_pole(w - p - 1, w - p);
    for (int l = 1; l <= p; ++l) {
      const double right = tau[w + l];
      const double den = std::max(right - t[i - p + l], kTinyInterval);
      const double a = std::min(std::max((right - x) / den, 0.0), 1.0);
      out.blend(w - p + l - 1, w - p + l, w - p + l - 1, a);
    }
    --w;
  }
  for (; i > p; --i, --w) take(w - p - 1, i - p - 1);
}

}  // namespace

void refine_poles(int k, int32_t n, const double *t, const PoleSet &in, int32_t nn,
                  const double *tau, const PoleSet &out, double *alpha) {
  const double match_tol = tol().zero_tol;
  if (inserts_into(k, n, t, nn, tau, match_tol)) {
    refine_by_insertion(k, n, t, in, nn, tau, out, match_tol);
    return;
  }
  // Anything else (tau no refinement, or matching only in a way the insertion
  // sweep cannot follow): pole by pole, every index in range.
  int32_t next_old = 0;
  for (int32_t j = 0; j < nn; ++j) {
    const int32_t first = refinement_coefficients(k, n, t, nn, tau, j, next_old, match_tol, alpha);
    for (int g = 0; g < 2; ++g) {
      const PoleRows &src = in.group[g];
      const PoleRows &dst = out.group[g];
      for (int c = 0; c < dst.comps; ++c) {
        double sum = 0.0;
        for (int q = 0; q < k; ++q) sum += alpha[q] * src.at(first + q, c);
        dst.at(j, c) = sum;
      }
    }
  }
}

void split_triangle(int k, const double *t, int32_t s, double u, int h, const PoleSet &left,
                    const PoleSet &right) {
  const auto copy_across = [&](std::ptrdiff_t dst, std::ptrdiff_t src) {
    for (int g = 0; g < 2; ++g)
      for (int c = 0; c < right.group[g].comps; ++c)
        right.group[g].at(dst, c) = left.group[g].at(src, c);
  };
  copy_across(h, s);
  for (int r = 1; r <= h; ++r) {
    for (int32_t i = s; i >= s - h + r; --i) {
      const double a = (u - t[i]) / (t[i + k - r] - t[i]);
      left.blend(i, i - 1, i, a);
    }
    copy_across(h - r, s);
  }
}

// ---- Workers on curve records ---------------------------------------------------------

KnotSite locate_knot(const BScurve &cv, double u, double tol) {
  const int32_t k = cv.order, n = cv.num_poles;
  const double *t = cv.knots;
  KnotSite site{u, -1, 0};
  // The interior knots within tol of u form one run: find its start by bisection.
  const double *first = std::upper_bound(t + k, t + n, u - tol);
  for (const double *q = first; q < t + n; ++q) {
    const double d = std::fabs(*q - u);
    if (!(d < tol || d == 0.0)) break;
    if (site.m == 0) site.span = static_cast<int32_t>(q - t) - 1;
    site.u = *q;
    ++site.m;
  }
  if (site.m == 0) site.span = find_span_hinted(k, n, t, u, k - 1);
  return site;
}

void insert_into_record(BScurve &cv, const KnotSite &site, int r) {
  insert_knot_in_place(cv.order, cv.num_poles, PoleSet::record(cv), cv.knots, site.span, site.u, r,
                       site.m);
  cv.num_poles += r;
  cv.num_knots += r;
  cv.non_uniform = 1;
}

BSrc add_knot(const BScurve &cv, double u, int32_t r, bool total, bool reuse, BScurve **out,
              double *inserted) {
  const int32_t k = cv.order, n = cv.num_poles, p = k - 1;
  const double a = cv.knots[k - 1], b = cv.knots[n];
  double snap = 0.0;
  if (total) {
    BSrc rc = BSSUCC;
    BSlocknttol(&cv, u, tol().dist_tol, &snap, &rc);
    if (rc != BSSUCC) return rc;
    if (!(u - a >= snap && b - u >= snap) || r < 0 || r > p) return BSINARG;
  } else {
    snap = tol().knot_tol;
    if (!(a < u && u < b) || r < 1 || r > p) return BSINARG;
  }
  const KnotSite site = locate_knot(cv, u, snap);
  int32_t count = r;
  if (total) {
    count = std::max<int32_t>(r - site.m, 0);
  } else if (site.m + r > p) {
    return BSINARG;
  }
  BScurve *target = nullptr;
  BSrc rc = BSSUCC;
  if (reuse) {
    if (*out == nullptr) return BSNULLPTR;
    target = *out;
  } else {
    BSallocqelcv(cv.order, n + count, cv.rational, 0, &target, &rc);
    if (rc != BSSUCC) return rc;
  }
  BScv_copy(&rc, &cv, target);
  if (rc != BSSUCC) {
    if (!reuse) {
      BSrc ignored;
      BSfreeqelcv(target, &ignored);
    }
    return rc;
  }
  if (count > 0) insert_into_record(*target, site, count);
  target->non_uniform = 1;
  if (!reuse) {
    // The old record goes only now: it may be the input itself.
    if (*out != nullptr) BSfreeqelcv(*out, &rc);
    *out = target;
  }
  if (inserted != nullptr) *inserted = site.u;
  return rc;
}

void clamp_ends(BScurve &cv, bool start, bool end) {
  if (!cv.rational) cv.weights = nullptr;
  const int32_t k = cv.order, n = cv.num_poles, nk = n + k;
  const double tol = curve_knot_tolerance(k, cv.knots, n, cv.poles, cv.weights);
  const PoleSet set = PoleSet::record(cv);
  if (start && std::fabs(cv.knots[k - 1] - cv.knots[0]) > tol) {
    const double u = cv.knots[k - 1];
    for (int32_t i = k - 2; i >= 0; --i) insert_end_knot(k, n, set, cv.knots, i, u);
  }
  if (end && std::fabs(cv.knots[nk - 1] - cv.knots[n]) > tol) {
    const double u = cv.knots[n];
    for (int32_t i = n; i <= nk - 2; ++i) insert_end_knot(k, n, set, cv.knots, i, u);
  }
  cv.periodic = 0;
}

bool is_clamped(const BScurve &cv) {
  const int32_t k = cv.order, n = cv.num_poles;
  for (int32_t i = 0; i < k - 1; ++i)
    if (cv.knots[i] != cv.knots[k - 1] || cv.knots[n + 1 + i] != cv.knots[n]) return false;
  return true;
}

namespace {

// 2k doubles of coefficient workspace: on the stack for ordinary orders.
class CoefficientWork {
 public:
  explicit CoefficientWork(int k) {
    if (k <= kInline) {
      data_ = stack_;
    } else if (buf_.acquire(static_cast<std::size_t>(k) * 2 * sizeof(double))) {
      data_ = buf_.as<double>();
    }
  }
  bool ok() const { return data_ != nullptr; }
  double *data() const { return data_; }

 private:
  static constexpr int kInline = 64;
  double stack_[2 * kInline];
  BasicScratchBuffer<1> buf_;
  double *data_ = nullptr;
};

bool overlaps(const double *a, std::size_t na, const double *b, std::size_t nb) {
  if (a == nullptr || b == nullptr) return false;
  const std::uintptr_t a0 = reinterpret_cast<std::uintptr_t>(a),
                       b0 = reinterpret_cast<std::uintptr_t>(b);
  return a0 < b0 + nb * sizeof(double) && b0 < a0 + na * sizeof(double);
}

}  // namespace

BSrc refine_curve(const BScurve &cv, int32_t nn, const double *tau, BScurve &out) {
  const int32_t k = cv.order, n = cv.num_poles;
  CoefficientWork alpha(k);
  if (!alpha.ok()) return BSNOSTKMEMORY;
  const std::size_t nnk = static_cast<std::size_t>(nn) + k;
  // Output arrays that share memory with the input: refine from a scratch copy.
  const bool rational = cv.rational != 0;
  const bool shared =
      overlaps(cv.poles, 3 * n, out.poles, 3 * nn) ||
      overlaps(cv.knots, n + k, out.poles, 3 * nn) || overlaps(cv.knots, n + k, out.knots, nnk) ||
      overlaps(cv.poles, 3 * n, out.knots, nnk) ||
      (rational &&
       (overlaps(cv.weights, n, out.weights, nn) || overlaps(cv.weights, n, out.poles, 3 * nn) ||
        overlaps(cv.weights, n, out.knots, nnk) || overlaps(cv.poles, 3 * n, out.weights, nn) ||
        overlaps(cv.knots, n + k, out.weights, nn))) ||
      overlaps(tau, nnk, out.poles, 3 * nn) || (rational && overlaps(tau, nnk, out.weights, nn));
  ScratchBuffer copy;
  const double *poles = cv.poles, *weights = rational ? cv.weights : nullptr, *t = cv.knots;
  if (shared) {
    const std::size_t need = 3 * n + (n + k) + (rational ? n : 0) + nnk;
    if (!copy.acquire(need * sizeof(double))) return BSNOSTKMEMORY;
    double *c = copy.as<double>();
    std::copy(cv.poles, cv.poles + 3 * n, c);
    std::copy(cv.knots, cv.knots + n + k, c + 3 * n);
    std::copy(tau, tau + nnk, c + 3 * n + n + k);
    poles = c;
    t = c + 3 * n;
    tau = c + 3 * n + n + k;
    if (rational) {
      std::copy(cv.weights, cv.weights + n, c + 3 * n + n + k + nnk);
      weights = c + 3 * n + n + k + nnk;
    }
  }
  const BScurve header = cv;
  out.weights = rational ? out.weights : nullptr;
  refine_poles(k, n, t, PoleSet::record(const_cast<double *>(poles), const_cast<double *>(weights)),
               nn, tau, PoleSet::record(out.poles, out.weights), alpha.data());
  if (out.knots != tau) std::copy(tau, tau + nnk, out.knots);
  copy_curve_header(header, out);
  out.num_poles = nn;
  out.num_knots = static_cast<int32_t>(nnk);
  return BSSUCC;
}

BSrc insert_knots_rows(int32_t k, int32_t dim, int32_t n, const double *poles, const double *knots,
                       int32_t m, const double *inserts, double *poles_out, double *knots_out) {
  const std::size_t rows_in = static_cast<std::size_t>(dim) * n;
  const int32_t nn = n + m, nk = n + k;
  if (m == 0) {
    std::memmove(poles_out, poles, rows_in * sizeof(double));
    std::memmove(knots_out, knots, static_cast<std::size_t>(nk) * sizeof(double));
    return BSSUCC;
  }
  // The inserted knots must be ascending and lie in the domain, and no knot may
  // end up with more than k copies (k + 1 at a clamped end): otherwise the merged
  // vector is not a refinement of the curve.
  const double a = knots[k - 1], b = knots[n];
  for (int32_t i = 0; i < m; ++i) {
    if (!(inserts[i] >= a && inserts[i] <= b)) return BSINARG;
    if (i > 0 && inserts[i] < inserts[i - 1]) return BSINARG;
  }
  CoefficientWork alpha(k);
  if (!alpha.ok()) return BSNOSTKMEMORY;
  // Inputs that share memory with the outputs are read from a scratch copy.
  ScratchBuffer copy;
  const std::size_t out_knots = static_cast<std::size_t>(nn) + k;
  if (overlaps(poles, rows_in, poles_out, static_cast<std::size_t>(dim) * nn) ||
      overlaps(knots, nk, poles_out, static_cast<std::size_t>(dim) * nn) ||
      overlaps(poles, rows_in, knots_out, out_knots) || overlaps(knots, nk, knots_out, out_knots) ||
      overlaps(inserts, m, knots_out, out_knots) ||
      overlaps(inserts, m, poles_out, static_cast<std::size_t>(dim) * nn)) {
    if (!copy.acquire((rows_in + nk + m) * sizeof(double))) return BSNOSTKMEMORY;
    double *c = copy.as<double>();
    std::copy(poles, poles + rows_in, c);
    std::copy(knots, knots + nk, c + rows_in);
    std::copy(inserts, inserts + m, c + rows_in + nk);
    poles = c;
    knots = c + rows_in;
    inserts = c + rows_in + nk;
  }
  // No knot may reach more than k copies: check on the merged sequence before
  // anything is written.
  {
    int32_t i = 0, j = 0, run = 0;
    double prev = 0.0;
    while (i < nk || j < m) {
      const double v = (j >= m || (i < nk && knots[i] <= inserts[j])) ? knots[i++] : inserts[j++];
      run = (run > 0 && v == prev) ? run + 1 : 1;
      if (run > k) return BSINARG;
      prev = v;
    }
  }
  // Merge from the top down.
  int32_t i = nk - 1, j = m - 1;
  for (int32_t w = nk + m - 1; w >= 0; --w) {
    if (j >= 0 && (i < 0 || inserts[j] > knots[i])) {
      knots_out[w] = inserts[j--];
    } else {
      knots_out[w] = knots[i--];
    }
  }
  refine_poles(k, n, knots, PoleSet::rows(const_cast<double *>(poles), dim, n), nn, knots_out,
               PoleSet::rows(poles_out, dim, nn), alpha.data());
  return BSSUCC;
}

BSrc curve_collinear(const BScurve &cv, BSboolean *collinear) {
  const int32_t k = cv.order, n = cv.num_poles, p = k - 1;
  const double *weights = cv.rational ? cv.weights : nullptr;
  BSrc rc = BSSUCC;
  BScollinmn2(n, cv.poles, weights, collinear, &rc);
  if (rc != BSBADWEIGHT) return rc;
  // Weights too uneven to divide out safely: refine to Bezier pieces (every interior
  // knot at multiplicity k-1), whose poles follow the curve closely, and test those.
  const std::size_t nk = static_cast<std::size_t>(n) + k;
  ScratchBuffer lists(nk * (sizeof(double) + sizeof(int32_t)));
  if (!lists.ok()) return BSNOSTKMEMORY;
  double *values = lists.as<double>();
  int32_t *mults = reinterpret_cast<int32_t *>(values + nk);
  const int16_t order = cv.order;
  const int32_t last = n - 1;
  int32_t distinct = 0;
  rc = BSSUCC;
  BSgetmult(&rc, &order, &last, cv.knots, &distinct, values, mults);
  if (rc != BSSUCC) return rc;
  const double a = cv.knots[k - 1], b = cv.knots[n];
  int32_t extra = 0;
  for (int32_t i = 0; i < distinct; ++i)
    if (values[i] > a && values[i] < b) extra += std::max<int32_t>(p - mults[i], 0);
  ScratchBuffer knots_buf((nk + extra) * sizeof(double));
  if (!knots_buf.ok()) return BSNOSTKMEMORY;
  double *tau = knots_buf.as<double>();
  std::copy(cv.knots, cv.knots + nk, tau);
  std::size_t w = nk;
  for (int32_t i = 0; i < distinct; ++i)
    if (values[i] > a && values[i] < b)
      for (int32_t q = mults[i]; q < p; ++q) tau[w++] = values[i];
  std::sort(tau, tau + w);
  BScurve *fine = nullptr;
  BSallocqelcv(cv.order, n + extra, cv.rational, 0, &fine, &rc);
  if (rc != BSSUCC) return rc;
  rc = refine_curve(cv, n + extra, tau, *fine);
  if (rc == BSSUCC) BScollinmn2(fine->num_poles, fine->poles, fine->weights, collinear, &rc);
  BSrc ignored;
  BSfreeqelcv(fine, &ignored);
  return rc;
}

}  // namespace knotwork

using namespace knotwork;

// ---- Exported operations -----------------------------------------------------------------

extern "C" {

KW_API void BScnvtmekt(int16_t end, BScurve *curve, BSrc *rc) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  clamp_ends(*curve, end == 0, end != 0);
}

KW_API BSboolean BScnvtomkt(BSrc *rc, BScurve *curve) {
  KW_EPILOGUE(rc);
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  clamp_ends(*curve, true, true);
  return KW_FINISH(TRUE);
}

KW_API void BSadd_1kt_mul(const BScurve *curve, double u, int32_t r, BSboolean reuse, BScurve **out,
                          BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  *rc = add_knot(*curve, u, r, false, reuse != 0, out, nullptr);
}

KW_API void BSadd_1kt_tot(const BScurve *curve, double u, int32_t r, BSboolean reuse, BScurve **out,
                          BSrc *rc) {
  KW_EPILOGUE(rc);
  if (out == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  *rc = add_knot(*curve, u, r, true, reuse != 0, out, nullptr);
}

KW_API BSboolean BSadd_ekt(BSrc *rc, BScurve *curve, const double *u, const int32_t *i) {
  KW_EPILOGUE(rc);
  if (u == nullptr || i == nullptr) {
    *rc = BSNULLPTR;
    return KW_FINISH(FALSE);
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return KW_FINISH(FALSE);
  if (!std::isfinite(*u)) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  const int32_t k = curve->order, n = curve->num_poles, i_ = *i;
  // An index outside the knot vector is refused; inside it, only indices of the end
  // regions change anything (compared without forming i + 1, which may overflow).
  if (i_ < 0 || i_ > n + k - 1) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  if (i_ < k - 1 || (i_ > n - 1 && i_ <= n + k - 2))
    insert_end_knot(k, n, PoleSet::record(*curve), curve->knots, i_, *u);
  return KW_FINISH(TRUE);
}

KW_API void BSadd_kts(const BScurve *curve, int32_t num_poles, const double *knots, BScurve *out,
                      BSrc *rc) {
  KW_EPILOGUE(rc);
  if (knots == nullptr || out == nullptr || out->poles == nullptr || out->knots == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  if (curve->rational && out->weights == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if (num_poles < curve->num_poles || !knots_ascending(knots, num_poles + curve->order)) {
    *rc = BSINARG;
    return;
  }
  *rc = refine_curve(*curve, num_poles, knots, *out);
}

KW_API void BSinsertmkt(int16_t order, int32_t dim, int32_t num_poles, const double *poles,
                        const double *knots, int32_t count, const double *inserts,
                        double *poles_out, double *knots_out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (poles == nullptr || knots == nullptr || poles_out == nullptr || knots_out == nullptr ||
      (count > 0 && inserts == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  if (order < 2 || num_poles < order || dim < 1 || count < 0) {
    *rc = BSINARG;
    return;
  }
  *rc =
      insert_knots_rows(order, dim, num_poles, poles, knots, count, inserts, poles_out, knots_out);
}

KW_API void BSinsertkt(int16_t order, int32_t dim, int32_t num_poles, const double *poles,
                       const double *knots, int32_t span, double u, double *poles_out) {
  const int32_t k = order, n = num_poles;
  // No status to report through: an invalid call writes nothing.
  if (poles == nullptr || knots == nullptr || poles_out == nullptr || k < 2 || n < k || dim < 1 ||
      span < k - 1 || span > n - 1)
    return;
  // u must lie on the span (NaN fails too): elsewhere the blend would extrapolate.
  if (!(knots[span] <= u && u <= knots[span + 1])) return;
  for (int32_t c = 0; c < dim; ++c) {
    const double *in = poles + static_cast<std::ptrdiff_t>(c) * n;
    double *o = poles_out + static_cast<std::ptrdiff_t>(c) * (n + 1);
    for (int32_t i = n - 1; i >= span; --i) o[i + 1] = in[i];
    for (int32_t i = span; i >= span - k + 2; --i) {
      const double a = ratio(u, knots[i], knots[i + k - 1]);
      o[i] = a * in[i] + (1.0 - a) * in[i - 1];
    }
    for (int32_t i = span - k + 1; i >= 0; --i) o[i] = in[i];
  }
}

KW_API void BSinspararr(int32_t count, const double *values, const int32_t *adds,
                        int32_t *count_out, double *out, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (count_out == nullptr || (count > 0 && (values == nullptr || out == nullptr)) ||
      (count > 1 && adds == nullptr)) {
    *rc = BSNULLPTR;
    return;
  }
  *count_out = 0;
  if (count <= 0) return;
  for (int32_t i = 0; i + 1 < count; ++i) {
    if (adds[i] < 0) {
      *rc = BSINARG;
      return;
    }
  }
  int32_t w = 0;
  for (int32_t i = 0; i + 1 < count; ++i) {
    const double a = values[i], step = values[i + 1] - values[i];
    const int32_t c = adds[i];
    out[w++] = a;
    for (int32_t q = 1; q <= c; ++q) out[w++] = a + step * q / (c + 1);
  }
  out[w++] = values[count - 1];
  *count_out = w;
}

KW_API void BScollinmn3(const BScurve *curve, BSboolean *collinear, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (collinear == nullptr) {
    *rc = BSNULLPTR;
    return;
  }
  if ((*rc = validate_curve(curve, kCurveFull)) != BSSUCC) return;
  *rc = curve_collinear(*curve, collinear);
}

}  // extern "C"
