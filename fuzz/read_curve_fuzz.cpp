// Curve dumps: BSreadcv on arbitrary text, record after record until the stream
// ends or a read fails. A delivered record must be whole and consistent.
#include "fuzz_input.hpp"
#include "knotwork.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *in = kwfuzz::open_bytes(data, size);
  if (in == nullptr) return 0;
  BSdbginit();
  for (int record = 0; record < 64; ++record) {
    BScurve *curve = nullptr;
    BSrc rc = BSSUCC;
    BSreadcv(in, &curve, &rc);
    const bool delivered = rc == BSSUCC || rc == 2 || rc == BSBADWEIGHT;
    if (curve != nullptr && !delivered) kwfuzz::fault("a record came with a failure status");
    if (curve == nullptr) {
      if (rc == BSSUCC) kwfuzz::fault("success without a record");
      break;
    }
    if (curve->num_knots != curve->order + curve->num_poles || curve->num_poles < curve->order ||
        (curve->rational && curve->weights == nullptr) || curve->num_boundaries != 0)
      kwfuzz::fault("inconsistent record delivered");
    for (int32_t i = 0; i < 3 * curve->num_poles; ++i)
      if (!std::isfinite(curve->poles[i])) kwfuzz::fault("non-finite pole delivered");
    for (int32_t i = 1; i < curve->num_knots; ++i)
      if (!(curve->knots[i - 1] <= curve->knots[i])) kwfuzz::fault("decreasing knots delivered");
    BSfreeqelcv(curve, &rc);
  }
  std::fclose(in);
  return 0;
}
