/* Uses an installed Knotwork: evaluates a cubic Bezier and projects a point on it.
 * Build with CMake (see CMakeLists.txt) or with pkg-config:
 *   cc consumer.c $(pkg-config --cflags --libs knotwork) -o consumer */
#include <math.h>
#include <stdio.h>

#include <knotwork.h>

int main(void) {
  double poles[] = {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0};
  double knots[] = {0, 0, 0, 0, 1, 1, 1, 1};
  BScurve cv = {4, FALSE, FALSE, 4, poles, 8, knots, FALSE, NULL, TRUE, FALSE, 0, NULL};
  double pt[3], q[3] = {2, 3, 0}, u, foot[3], dist;
  BSrc rc;
  BScveval(&cv, 0.5, 0, pt, &rc);
  if (rc != BSSUCC || fabs(pt[0] - 2.0) > 1e-12 || fabs(pt[1] - 1.5) > 1e-12) {
    BSdbgprint(stderr);
    return 1;
  }
  BSmdstptcv(&cv, q, &u, foot, &dist, &rc);
  if (rc != BSSUCC || fabs(u - 0.5) > 1e-9 || fabs(dist - 1.5) > 1e-9) {
    BSdbgprint(stderr);
    return 1;
  }
  printf("consumer ok: C(0.5) = (%g, %g, %g), nearest u = %g\n", pt[0], pt[1], pt[2], u);
  return 0;
}
