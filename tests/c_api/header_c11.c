/* The public header compiles as C11 and the shared library links from C. */
#include <stdio.h>

#include "knotwork.h"

int main(void) {
  BSrc rc = 99;
  BSboolean ok = BSchangepar(&rc, 19, 1.0);
  if (ok != FALSE || rc != 27) return 1;
  ok = BSchgdeppar(1e-6, &rc);
  if (ok != TRUE || rc != BSSUCC) return 2;
  if (BSparameters.dist_tol != 1e-6) return 3;
  void *p = BSdbgalloc(64);
  if (p == NULL) return 4;
  BSdbgfree(p);
  if (BSstolmthd(-1) != 0) return 5;
  BScurve cv = {0};
  (void)cv;
  puts("c api ok");
  return 0;
}
