// The small sorting routines shared by the numerical code.
#include <cstring>

#include "frame/frame.hpp"
#include "numeric/numeric.hpp"

namespace knotwork {

// Ascending in-place sort of a[lo..hi] by hole-moving partition. The pivot taken
// into the hole is the median of the first, middle and last entries (moved to the
// front), so sorted input does not degrade; recursion goes into the smaller part
// only, which bounds the stack depth by log2 of the length.
void quicksort_doubles(double *a, int32_t lo, int32_t hi) {
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    int32_t med = lo;
    const double x = a[lo], y = a[mid], z = a[hi];
    if ((x <= y && y <= z) || (z <= y && y <= x))
      med = mid;
    else if ((x <= z && z <= y) || (y <= z && z <= x))
      med = hi;
    const double pivot = a[med];
    a[med] = a[lo];
    int32_t i = lo, j = hi;
    while (i < j) {
      while (i < j && a[j] >= pivot) --j;
      if (i < j) a[i++] = a[j];
      while (i < j && a[i] <= pivot) ++i;
      if (i < j) a[j--] = a[i];
    }
    a[i] = pivot;
    if (i - lo < hi - i) {
      quicksort_doubles(a, lo, i - 1);
      lo = i + 1;
    } else {
      quicksort_doubles(a, i + 1, hi);
      hi = i - 1;
    }
  }
}

// Stable index sort: tags become the permutation that sorts values ascending;
// equal values keep their order (a tag moves only past strictly larger values).
template <class T>
void stable_tag_sort(int32_t n, const T *values, int32_t *tags) {
  for (int32_t i = 0; i < n; ++i) tags[i] = i;
  for (int32_t i = 1; i < n; ++i) {
    const int32_t t = tags[i];
    int32_t j = i;
    while (j > 0 && values[tags[j - 1]] > values[t]) {
      tags[j] = tags[j - 1];
      --j;
    }
    tags[j] = t;
  }
}
template void stable_tag_sort<double>(int32_t, const double *, int32_t *);
template void stable_tag_sort<int32_t>(int32_t, const int32_t *, int32_t *);

namespace {

constexpr std::size_t kRecord = 16;

struct RecordSorter {
  unsigned char *base;
  int32_t cutoff;
  BSsortcompare compare;
  BSrc rc = BSSUCC;

  unsigned char *at(int32_t i) const { return base + static_cast<std::size_t>(i) * kRecord; }
  void swap(int32_t i, int32_t j) const {
    unsigned char t[kRecord];
    std::memcpy(t, at(i), kRecord);
    std::memcpy(at(i), at(j), kRecord);
    std::memcpy(at(j), t, kRecord);
  }
  int32_t cmp(int32_t i, const unsigned char *rec) {
    const int32_t v = compare(at(i), rec, &rc);
    return v;
  }
  // Exchange sort: each position from the last downward receives the greatest of
  // the records up to it.
  bool exchange_sort(int32_t lo, int32_t hi) {
    for (int32_t pos = hi; pos > lo; --pos) {
      for (int32_t j = lo; j < pos; ++j) {
        const int32_t c = cmp(j, at(pos));
        if (rc != BSSUCC) return false;
        if (c > 0) swap(j, pos);
      }
    }
    return true;
  }
  bool sort(int32_t lo, int32_t hi) {
    while (hi - lo + 1 >= 2) {
      if (hi - lo + 1 < cutoff) return exchange_sort(lo, hi);
      // Pivot: the larger of the first record and the first one that differs.
      int32_t p = -1;
      for (int32_t k = lo + 1; k <= hi; ++k) {
        const int32_t c = cmp(k, at(lo));
        if (rc != BSSUCC) return false;
        if (c != 0) {
          p = c > 0 ? k : lo;
          break;
        }
      }
      if (p < 0) return true;  // all records equal
      unsigned char pivot[kRecord];
      std::memcpy(pivot, at(p), kRecord);
      // Hoare partition: [lo, l) below the pivot, [l, hi] not below it.
      int32_t l = lo, r = hi;
      for (;;) {
        while (true) {
          const int32_t c = cmp(l, pivot);
          if (rc != BSSUCC) return false;
          if (c >= 0) break;
          ++l;
        }
        while (true) {
          const int32_t c = cmp(r, pivot);
          if (rc != BSSUCC) return false;
          if (c < 0) break;
          --r;
        }
        if (l > r) break;
        swap(l, r);
      }
      if (l - lo < hi - l + 1) {
        if (!sort(lo, l - 1)) return false;
        lo = l;
      } else {
        if (!sort(l, hi)) return false;
        hi = l - 1;
      }
    }
    return true;
  }
};

}  // namespace

BSrc sort_records(int32_t cutoff, BSsortcompare compare, int32_t n, void *records) {
  RecordSorter s{static_cast<unsigned char *>(records), cutoff, compare};
  if (n > 1) s.sort(0, n - 1);
  return s.rc;
}

}  // namespace knotwork

using namespace knotwork;

extern "C" KW_API BSboolean BSquicksort(BSrc *rc, int32_t *lo, int32_t *hi, int32_t unused,
                                        double *a) {
  KW_EPILOGUE(rc);
  (void)unused;
  quicksort_doubles(a, *lo, *hi);
  return KW_FINISH(TRUE);
}

extern "C" KW_API BSboolean BStagsort(BSrc *rc, int32_t *n, const double *values, int32_t *tags) {
  KW_EPILOGUE(rc);
  if (*n < 1) {
    *rc = BSINARG;
    return KW_FINISH(FALSE);
  }
  stable_tag_sort(*n, values, tags);
  return KW_FINISH(TRUE);
}

extern "C" KW_API void BStagsorti(int32_t *n, const int32_t *values, int32_t *tags, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (*n < 1) {
    *rc = BSINARG;
    return;
  }
  stable_tag_sort(*n, values, tags);
}

extern "C" KW_API void BSsort(int32_t cutoff, BSsortcompare compare, int32_t n, void *records,
                              BSrc *rc) {
  KW_EPILOGUE(rc);
  *rc = sort_records(cutoff, compare, n, records);
}

extern "C" KW_API int32_t BStrplcomp(const void *a, const void *b, BSrc *rc) {
  (void)rc;
  const double *p = *static_cast<const double *const *>(a);
  const double *q = *static_cast<const double *const *>(b);
  for (int i = 0; i < 3; ++i) {
    if (p[i] < q[i]) return -1;
    if (p[i] > q[i]) return 1;
  }
  return 0;
}

extern "C" KW_API void BSsorttrpls(int32_t n, double **triples, BSrc *rc) {
  KW_EPILOGUE(rc);
  if (n < 2) return;
  ScratchBuffer buf(static_cast<std::size_t>(n) * 16);
  if (!buf.ok()) {
    *rc = BSNOSTKMEMORY;
    return;
  }
  unsigned char *recs = buf.as<unsigned char>();
  std::memset(recs, 0, static_cast<std::size_t>(n) * 16);
  for (int32_t i = 0; i < n; ++i) std::memcpy(recs + i * 16, &triples[i], sizeof(double *));
  *rc = sort_records(20, BStrplcomp, n, recs);
  if (*rc != BSSUCC) return;
  for (int32_t i = 0; i < n; ++i) std::memcpy(&triples[i], recs + i * 16, sizeof(double *));
}
