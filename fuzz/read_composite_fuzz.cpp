// Composite Legendre records: BSreadcmlgd alone, or BSrdsscmlgd for groups of them
// (the first byte picks which and the number of groups); everything delivered is
// released, so LeakSanitizer sees any block a failing read keeps.
#include <initializer_list>

#include "fuzz_input.hpp"
#include "knotwork.h"

namespace {

void release(int32_t *ndeg, int32_t *irat, int32_t *ibase, double **series, double *bez) {
  BSfrecmplgd(&series);
  for (void *p : {static_cast<void *>(ndeg), static_cast<void *>(irat), static_cast<void *>(ibase),
                  static_cast<void *>(bez)})
    if (p) BSdbgfree(p);
}

void read_one(FILE *in) {
  int32_t d = 0, m = 0, periodic = 0, *ndeg = nullptr, *irat = nullptr, *ibase = nullptr;
  double **series = nullptr, *bez = nullptr, se[2];
  BSrc rc;
  BSreadcmlgd(in, &d, &m, &periodic, &ndeg, &irat, &ibase, &series, &bez, se, &rc);
  if (rc != BSSUCC) {
    if (ndeg || irat || ibase || series || bez) kwfuzz::fault("a failed read kept its arrays");
    return;
  }
  if (d < 1 || m < 1 || !ndeg || !irat || !ibase || !series || !bez)
    kwfuzz::fault("success with a missing field");
  for (int32_t i = 0; i < m; ++i)
    if (ndeg[i] < 0 || irat[i] < 0 || irat[i] > 3 || (i > 0 && series[i] < series[i - 1]))
      kwfuzz::fault("out-of-range segment delivered");
  release(ndeg, irat, ibase, series, bez);
}

void read_groups(FILE *in, int32_t groups) {
  int32_t d = 0, counts[4] = {}, **nseg = nullptr, **per = nullptr, ***nd = nullptr,
          ***ir = nullptr, ***ib = nullptr;
  double ****ser = nullptr, ***bz = nullptr, **se = nullptr;
  BSrc rc;
  BSrdsscmlgd(in, &d, groups, counts, &nseg, &per, &nd, &ir, &ib, &ser, &bz, &se, &rc);
  // Whatever was allocated is the caller's, on success and failure alike; a table
  // not allocated is null, and so is every slot no record reached.
  const auto slot = [&](auto ***table, int32_t g, int32_t j) {
    return table && table[g] ? table[g][j] : nullptr;
  };
  for (int32_t g = 0; g < groups; ++g) {
    for (int32_t j = 0; j < counts[g]; ++j)
      release(slot(nd, g, j), slot(ir, g, j), slot(ib, g, j), slot(ser, g, j), slot(bz, g, j));
    for (void **table : {reinterpret_cast<void **>(nseg), reinterpret_cast<void **>(per),
                         reinterpret_cast<void **>(nd), reinterpret_cast<void **>(ir),
                         reinterpret_cast<void **>(ib), reinterpret_cast<void **>(ser),
                         reinterpret_cast<void **>(bz), reinterpret_cast<void **>(se)})
      if (table && table[g]) BSdbgfree(table[g]);
  }
  for (void *p : {static_cast<void *>(nseg), static_cast<void *>(per), static_cast<void *>(nd),
                  static_cast<void *>(ir), static_cast<void *>(ib), static_cast<void *>(ser),
                  static_cast<void *>(bz), static_cast<void *>(se)})
    if (p) BSdbgfree(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  FILE *in = kwfuzz::open_bytes(data + 1, size - 1);
  if (in == nullptr) return 0;
  BSdbginit();
  if (data[0] % 2 == 0)
    read_one(in);
  else
    read_groups(in, 1 + (data[0] >> 1) % 4);
  std::fclose(in);
  return 0;
}
