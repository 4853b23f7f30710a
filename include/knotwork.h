/* knotwork.h: the public interface of the Knotwork NURBS curve library.
 *
 * Plain C (C11 and C++). Every operation reports through a status word of type
 * BSrc passed by pointer: 0 is success, anything else a failure. Tolerances come
 * from the process-wide record BSparameters. The library keeps unsynchronised
 * global state: callers serialise all calls.
 */
#ifndef KNOTWORK_H
#define KNOTWORK_H

#include <stdint.h>
#include <stdio.h>

#if defined(_WIN32)
#if defined(KNOTWORK_BUILDING)
#define KW_API __declspec(dllexport)
#else
#define KW_API __declspec(dllimport)
#endif
#else
#define KW_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Basic types and status codes (src/frame/status.cpp) ----------------- */

typedef int32_t BSrc;      /* status word: 0 success, anything else failure */
typedef int16_t BSboolean; /* FALSE 0, TRUE 1; any non-zero value reads as TRUE */

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define BSSUCC 0           /* success */
#define BSFAIL (-1)        /* the computation failed and has no result */
#define BSINARG (-2)       /* invalid argument or inconsistent record */
#define BSDIVZERO (-5)     /* a zero divisor met */
#define BSDEGEN (-6)       /* degenerate geometry */
#define BSCOLLIN (-7)      /* collinear points: no unique plane or normal */
#define BSNOSOLUTION (-12) /* no solution: no convergence or no such point */
#define BSNOMEMORY (-13)   /* result memory could not be allocated */
#define BSSINGULAR (-14)   /* singular matrix */
#define BSDEGENLINE (-15)  /* projection onto a line given by two coincident points */
#define BSNULLPTR 3        /* a required pointer, or an array inside a record, is null */
#define BSNOSTKMEMORY 33   /* scratch memory could not be allocated */
#define BSBADWEIGHT 49     /* a weight below a quarter of the mean weight */
#define BSDEGENINPUT 50    /* input degenerate for this operation */
#define BSDBGFAIL 58       /* failure injected by the debug failure mechanism */
#define BSBADINDEX 27      /* tolerance index outside 0..18 (BSchangepar) */

/* ---- Error trace and failure injection (src/frame/status.cpp) ------------ */

/* Runs the status-injection check for the operation with lower-case name name. */
KW_API void BSsetrc(const char *name, BSrc *rc);
/* Appends (name, code) to the error trace while it has fewer than 1000 entries. */
KW_API void BSdbgrc(BSrc code, const char *name);
/* Prints the trace, oldest first, as "error in %s, rc = %d \n" lines. */
KW_API void BSdbgprint(FILE *stream);
/* Turns status injection on with the given seed and rate; stores the name hash. */
KW_API void BSinitfail(const char *name, int32_t data, double rate);
/* Turns status injection off. */
KW_API void BSdeinifail(void);
/* Does nothing; kept for hosts that call it at start-up. */
KW_API void BSinit(void);
/* Sets BSdbglev to 0. */
KW_API void BSinit20(void);

KW_API extern double BSglobaldebugfailurerate;
KW_API extern int32_t BSglobaldebugfailuredata;
KW_API extern int32_t BSglobaldebugfailurename;
KW_API extern double BSglobalallocfailurerate;
KW_API extern int32_t BSglobalallocfailurenumber;
KW_API extern int32_t BSglobalallocfailuredata;
KW_API extern int32_t BSglobalallocfailurename;

/* ---- Memory manager (src/frame/memory.cpp, src/frame/poison.cpp) --------- */

/* The list of live guarded blocks at debug level 20. */
typedef struct BSptrlist {
  int32_t capacity; /* 0 until the first registration, then 5000, 10000, ... */
  int32_t count;    /* live blocks */
  void **ptrs;      /* addresses handed to callers, oldest first */
} BSptrlist;

typedef void *(*BSqemem_alloc_hook)(int32_t size);
typedef void (*BSqemem_release_hook)(void *block, int32_t size);

KW_API extern int32_t BSdbglev;    /* 20: guarded debug mode; -99: BSdbginit runs every checker */
KW_API extern BSptrlist BSlist_al; /* live guarded blocks */
KW_API extern int16_t BSalloczero; /* set when an allocation below 1 byte was asked for */
KW_API extern int16_t BSfreezero;  /* set when a null pointer was released */
KW_API extern void *BSlmemptr;     /* the locked poisoned block of BSlockmem, or null */
KW_API extern int32_t BSlmemnumb;  /* its size in bytes */

/* Result memory: returned to callers, released with BSdbgfree. Null on failure. */
KW_API void *BSdbgalloc(int32_t size);
KW_API void *BSdbgcalloc(int32_t count, int32_t size);
KW_API void *BSdbgralloc(void *ptr, int32_t size);
KW_API void BSdbgfree(void *ptr);
/* Scratch allocator proper (guarded at debug level 20, the system allocator otherwise). */
KW_API void *BSdbgsalloc(int32_t size);
KW_API void BSdbgsfree(void *ptr);
/* Plain-mode result memory, pooled when hooks are installed. */
KW_API void *BSqememal(int32_t size);
KW_API void BSqememfr(void *ptr);
/* Installs the pooled allocator hooks; a null hook clears both. */
KW_API void BSsetqemem(BSqemem_alloc_hook alloc_hook, BSqemem_release_hook release_hook);
/* Clears the error trace; at level -99 runs every checker and returns BSmemclean's code. */
KW_API int32_t BSdbginit(void);
/* Reports zero-size requests (1), null releases (10) and live blocks (100). */
KW_API int32_t BSmemclean(void);
KW_API void BSchkmem1(void *ptr);
KW_API void BSchkmemo(void);
KW_API void BSpoisonmem(int32_t n);
KW_API void BSpoisonstk(int32_t n);
KW_API void BSlockmem(int32_t n);
KW_API void BSchklmem(void);

/* ---- Tolerances (src/frame/tolerance.cpp) -------------------------------- */

/* The tolerance record: 19 doubles, addressed by index 0..18 in this order. */
struct BSparameters {
  double half_basis_tol;  /*  0 */
  double dist_tol;        /*  1 */
  double dist_sqtol;      /*  2 */
  double orient_tol;      /*  3 */
  double parallel_tol;    /*  4 */
  double parallel_sqtol;  /*  5 */
  double fine_dist_tol;   /*  6 */
  double aux_dist_tol;    /*  7 */
  double knot_tol;        /*  8 */
  double offset_tol;      /*  9 */
  double chrdht_tol;      /* 10 */
  double aux_rel_tol;     /* 11 */
  double basis_tol;       /* 12 */
  double tenth_basis_tol; /* 13 */
  double aux_fraction;    /* 14 */
  double arclen_tol;      /* 15 */
  double zero_tol;        /* 16 */
  double aux_tangent;     /* 17 */
  double endpt_tol;       /* 18 */
};
KW_API extern struct BSparameters BSparameters;

/* Stores value in field index (0..18); status 27 and FALSE otherwise. */
KW_API BSboolean BSchangepar(BSrc *rc, int32_t index, double value);
/* Resets the dependent tolerance family from a new basis_tol. */
KW_API BSboolean BSchgdeppar(double value, BSrc *rc);
/* Console editor of the main tolerances (standard input and output). */
KW_API void BSchangetol(void);
/* Selects the knot tolerance method (0 scaled, 1 fixed; other values query); returns the old one.
 */
KW_API int32_t BSstolmthd(int32_t method);

/* ---- The curve record (src/records/curve_record.cpp) --------------------- */

/* A non-uniform, optionally rational B-spline curve in 3D. Rational poles are
 * stored multiplied by their weights. */
typedef struct BScurve {
  int16_t order; /* degree + 1, at least 2 */
  BSboolean periodic;
  BSboolean non_uniform;
  int32_t num_poles;
  double *poles;     /* num_poles poles of 3 doubles */
  int32_t num_knots; /* order + num_poles */
  double *knots;
  BSboolean rational;
  double *weights; /* num_poles weights when rational, else null */
  BSboolean planar;
  BSboolean phy_closed;
  int16_t num_boundaries;
  double *bdrys; /* num_boundaries (start, end) parameter pairs, or null */
} BScurve;

/* ---- Curve records, surface records and text dumps (src/records/) ---- */

/* Curve records (src/records/curve_record.cpp).
 * A record returned to a caller lives in one block of result memory: the header,
 * then the poles, the knots, the weights (rational only) and the boundary pairs
 * (num_boundaries > 0 only). Release it whole with BSfreeqelcv. */

/* Allocates one block for a curve of the given sizes and lays out its arrays.
 * order >= 1, num_poles >= 0, num_boundaries >= 0. *curve receives the record:
 * num_poles, num_knots = order + num_poles, rational, weights, num_boundaries and
 * bdrys are set; order, periodic, non_uniform, planar and phy_closed keep the
 * all-ones fill (-1) until the caller sets them; the arrays are undefined.
 * Status: -13 no memory (*curve null); -2 negative sizes or order below 1;
 * 58 injected failure (block released, *curve null). */
KW_API void BSallocqelcv(int16_t order, int32_t num_poles, BSboolean rational,
                         int16_t num_boundaries, BScurve **curve, BSrc *rc);
/* Fills a caller-provided record (arrays of order poles, 2*order knots and, when
 * rational, order weights) with the curve of the given order sitting at point:
 * every pole is the point, knots 0 (order times) and 1 (order times), weights 1.
 * Status: 3 null point, record or array; -2 order below 1. */
KW_API void BSptcvgen(const double point[3], int16_t order, BSboolean rational, BScurve *curve,
                      BSrc *rc);
/* Releases a record made by BSallocqelcv (arrays included). Status: 3 null curve. */
KW_API void BSfreeqelcv(BScurve *curve, BSrc *rc);
/* Replaces the record at *curve by a new block of the given sizes with the old
 * record's rational, periodic, phy_closed and num_boundaries (the count the caller
 * keeps within the new storage); the arrays are undefined, non_uniform and planar
 * read -1. The old record is released in every case, also when the new one cannot
 * be allocated. Status: 3 null curve; -13 no memory (*curve null); -2 bad sizes. */
KW_API void BSreallocqelcv(int16_t order, int32_t num_poles, int16_t num_boundaries,
                           BScurve **curve, BSrc *rc);
/* Copies source into target, whose arrays the caller provides large enough:
 * header fields, poles, knots and weights; the target gets no boundaries. The same
 * record as source and target is a success. Returns TRUE exactly on status 0.
 * Status: 3 null source or target or null target poles/knots/weights (header fields
 * copied so far stay); -2 rational source without weights. */
KW_API BSboolean BScv_copy(BSrc *rc, const BScurve *source, BScurve *target);
/* Out-of-line form of the scratch allocation of a curve's arrays, which only the
 * operation owning the scratch memory can do: allocates nothing, releases those of
 * poles, knots and weights that are non-null (as by BSstfrecvfl) and sets them
 * null. Always status -2 and FALSE. */
KW_API BSboolean BSstallcvfl(int16_t order, int32_t num_poles, BSboolean rational, BScurve *curve,
                             BSrc *rc);
/* Releases the scratch arrays (taken with BSdbgsalloc) of a temporary curve and
 * sets them null: knots, weights when rational, poles; not the header.
 * Returns TRUE exactly on status 0. Status: 3 null curve. */
KW_API BSboolean BSstfrecvfl(BSrc *rc, BScurve *curve);

/* Surface records (src/records/text_dump.cpp), as the surface dump reads them. */

/* One boundary loop of a surface: num_points (u, v) parameter pairs. */
typedef struct BSsfboundary {
  int32_t num_points;
  double *points; /* num_points pairs of doubles */
} BSsfboundary;

typedef struct BSsurface {
  int16_t u_order, v_order;
  BSboolean u_periodic, v_periodic;
  BSboolean u_non_uniform, v_non_uniform;
  int32_t u_num_poles, v_num_poles;
  double *poles;       /* u_num_poles * v_num_poles poles of 3 doubles, weighted */
  int32_t u_num_knots; /* u_num_poles + u_order */
  double *u_knots;
  int32_t v_num_knots; /* v_num_poles + v_order */
  double *v_knots;
  BSboolean rational;
  double *weights; /* one per pole when rational, else null */
  BSboolean planar;
  BSboolean u_phy_closed, v_phy_closed;
  BSboolean pos_orient;
  BSboolean on_off;
  int16_t num_boundaries; /* 0 .. 10000 */
  BSsfboundary *boundaries;
} BSsurface;

/* Text dumps (src/records/text_dump.cpp).
 * Writes curve to stream (null: standard error), labelled for people (TRUE/FALSE,
 * pole[i] ( ... ), "End of curve") or unlabelled for BSreadcv. At most 10000 poles
 * and weights and 10016 knots are written; the counts are written as they are.
 * Returns 0 after writing "invalid curve parameters when printing curve\n" when
 * the record (or a required array of it) is invalid, else TRUE. */
KW_API BSboolean BSprintbspc(FILE *stream, const char *name, const BScurve *curve,
                             BSboolean labelled);
/* The same for a surface; every pole is written. */
KW_API BSboolean BSprintbsps(FILE *stream, const char *name, const BSsurface *surface,
                             BSboolean labelled);
/* Writes curve unlabelled with byte images after every number (marked "HEX nt"),
 * which BSreadcv reads back bit for bit. Returns as BSprintbspc. */
KW_API BSboolean BSprthexcv(FILE *stream, const BScurve *curve);
/* Creates the file at path and writes the record unlabelled with an empty name;
 * nothing happens when the file cannot be created. */
KW_API void BSprintbscv(const char *path, const BScurve *curve);
KW_API void BSprintbssf(const char *path, const BSsurface *surface);
/* Asks "file name?" on standard output, reads one word (at most 19 characters)
 * from standard input, creates that file and writes the record unlabelled.
 * Returns (and traces) -1 when no name was read or the file cannot be created
 * (nothing written, the record untouched), -2 when the record is invalid (the
 * invalid-record message is written), else 0. */
KW_API BSrc BSprtbspcv(const BScurve *curve);
KW_API BSrc BSprtbspsf(const BSsurface *surface);

/* Curve reader (src/records/curve_reader.cpp).
 * Reads one curve from an unlabelled dump (decimal, or with byte images after a
 * "HEX" marker). On status 0, 2 (order 1 or above 16) and 49 (a weight below
 * 0.001) *curve is a new record (no boundaries) to release with BSfreeqelcv; on
 * every other status *curve is null and nothing is allocated.
 * Status: 2 stream at its end, no record, or order outside 1..1000; 6 more than
 * 10000 poles; -1 truncated or malformed record (a line that does not match, a
 * number that cannot be read or is not finite, fewer poles than the order, a
 * knot count other than order + poles, decreasing knots, an unexpected word);
 * -13 no memory; 3 null stream or curve. */
KW_API void BSreadcv(FILE *stream, BScurve **curve, BSrc *rc);
/* Skips the rest of the current line (through its line end or the stream end). */
KW_API void BSreadln(FILE *stream);

/* ---- Byte images of doubles (src/records/hexdump.cpp) ---- */

/* Writes count bytes as images " 0x%x", 12 blanks before each group of 8, a line
 * end after the last. Returns the number of characters of the images. */
KW_API int32_t BSwritehex(FILE *stream, const unsigned char *bytes, int32_t count);
/* Reads count byte images into bytes (null: skips them). Returns the number of
 * bytes read; fewer than count when an image is missing or the stream ends. */
KW_API int32_t BSreadhex(FILE *stream, unsigned char *bytes, int32_t count);
/* Reads one decimal number. On failure *value is 0.0, the messages
 * "*** error in f_s_BSreadd: String was \"...\" ***" (bad word) and
 * "*** error in BSreadd ***" go to standard error, and FALSE is returned. */
KW_API BSboolean BSreadd(FILE *stream, double *value);
/* Reads count doubles into values. mode 0: decimal; 1: decimal words followed by
 * byte images of this machine's order, the images taken; 2: images of another
 * order, the decimals taken. Numbers without images (no 'x' in the word after the
 * first) are read as decimal in every mode. Modes 1 and 2 need a seekable stream.
 * Returns TRUE when all were read. */
KW_API BSboolean BSreadhexd(FILE *stream, int32_t mode, int32_t count, double *values);

/* ---- Vector primitives and point sets (src/vector/) ---- */

/* Points and vectors are 3 doubles. Optional weight arrays hold one weight per
 * point (null: unweighted); a weighted point p with weight w stands for p / w.
 * The elementary members set *rc to 0 and run no trace. */

/* a . b */
KW_API double BSdotp(BSrc *rc, const double *a, const double *b);
/* out = a x b (out may alias a or b). TRUE. */
KW_API BSboolean BScrossp(BSrc *rc, const double *a, const double *b, double *out);
/* |v| */
KW_API double BSlenvec(BSrc *rc, const double *v);
/* |v|^2 */
KW_API double BSlenvecsq(BSrc *rc, const double *v);
/* out = to - from. TRUE. */
KW_API BSboolean BSmkvec(BSrc *rc, double *out, const double *from, const double *to);
/* |p - q| */
KW_API double BSdistptpt(BSrc *rc, const double *p, const double *q);
/* |p - q|^2 */
KW_API double BSdistptpts(BSrc *rc, const double *p, const double *q);
/* |p/wp - q/wq| for weighted points (weights by address). */
KW_API double BSdistwpwp(BSrc *rc, const double *p, const double *wp, const double *q,
                         const double *wq);
/* |p/wp - q/wq|^2 */
KW_API double BSdistwpwps(BSrc *rc, const double *p, const double *wp, const double *q,
                          const double *wq);
/* dist (out) = |(point - plane_point) . normal| for a unit normal. TRUE. */
KW_API BSboolean BSdistptpl(BSrc *rc, const double *point, const double *plane_point,
                            const double *normal, double *dist);
/* out = line_point + t direction, t = (point - line_point) . direction (direction
 * used as given). TRUE. */
KW_API BSboolean BSproj1(BSrc *rc, const double *line_point, const double *direction,
                         const double *point, double *out);
/* TRUE when |p - q|^2 > dist_sqtol. */
KW_API BSboolean BSdistnct2(BSrc *rc, const double *p, const double *q);

/* Normalises v in place; a vector too long to square (beyond about 1e154) is
 * scaled first, as hypot does. Status -6 (squared length <= 2^-970, or a NaN or
 * infinite component; v unchanged). */
KW_API BSboolean BSnorvec(BSrc *rc, double *v);
/* Foot out of point on the line through line[0..2] and line[3..5]. Status -15
 * (coincident line points: out = line start). */
KW_API BSboolean BSproj0(BSrc *rc, const double *point, const double *line, double *out);
/* Distance (out) of point from the line p0 p1. Status 8 (line shorter than dist_tol). */
KW_API BSboolean BSdistptli(BSrc *rc, const double *point, const double *p0, const double *p1,
                            double *dist);
/* Angle (out) from a to b around ref, in [0, 2 pi). Cannot fail; no trace. */
KW_API void BSang2vec(const double *a, const double *b, const double *ref, double *angle, BSrc *rc);
/* Locates point on the segment p0 p1: where (out) 0 off the segment, 1 at an end
 * point (param 0 or 1), 2 inside (param in (0, 1)); param untouched for 0.
 * Status -6 (degenerate segment). */
KW_API void BSprptonln(const double *p0, const double *p1, const double *point, int32_t *where,
                       double *param, BSrc *rc);
/* on (out) TRUE when point lies on the segment p0 p1, end points included; param
 * as BSprptonln. Status -1 (degenerate segment). */
KW_API BSboolean BSpt_on_lne(BSrc *rc, const double *p0, const double *p1, const double *point,
                             double *param, BSboolean *on);
/* As BSpt_on_lne with end points excluded. */
KW_API BSboolean BSpt_on_ln2(BSrc *rc, const double *p0, const double *p1, const double *point,
                             double *param, BSboolean *on);
/* Rotates point by *angle about the axis a0 a1 (a1 a0 when *reverse) into out.
 * Status -15 (coincident axis points). */
KW_API BSboolean BSroto(BSrc *rc, const double *a0, const double *a1, const BSboolean *reverse,
                        const double *angle, const double *point, double *out);
/* Right-handed orthonormal basis e1, e2, e3 (out) with e1 along v. Status -6. */
KW_API BSboolean BSbasisvect(BSrc *rc, const double *v, double *e1, double *e2, double *e3);
/* Local frame (9 doubles out: three axes) whose third axis is the direction of v,
 * negated when right_handed is FALSE. Status -6 (zero v). */
KW_API void BStrans2(const double *v, BSboolean right_handed, double *frame, BSrc *rc);
/* Rigid motion between the frame of vector_a at point_a and of vector_b at point_b:
 * rotation (9 doubles row by row, out) with rotation a_k = b_k, translation (3, out)
 * so that x -> rotation^T x + translation carries point_b to point_a, scale 1.0.
 * Status -13 (a zero vector). */
KW_API BSboolean BStrans1(BSrc *rc, const double *point_a, const double *vector_a,
                          const double *point_b, const double *vector_b, double *translation,
                          double *rotation, double *scale);
/* Orthonormal frame (9 doubles out: x, y, z) from three points: x along p0 p1, z
 * normal to their plane (negated when *right_handed is FALSE). Status -1
 * (collinear points), 33. */
KW_API BSboolean BSlocalcord(BSrc *rc, const double *p0, const double *p1, const double *p2,
                             const BSboolean *right_handed, double *frame);
/* Centroid avg (out) of n (weighted) points. Status 49 (bad weight), -2 (n < 1). */
KW_API BSboolean BSavgpts(BSrc *rc, int32_t n, const double *points, const double *weights,
                          double *avg);
/* One point into the frame (rows e1, e2, e3): out = *scale F (point - origin). TRUE. */
KW_API BSboolean BSptoldtnw(BSrc *rc, const double *origin, const double *frame,
                            const double *scale, const double *point, double *out);
/* One point out of the frame: out = F^T point / *scale + origin. Status -5 (zero scale). */
KW_API BSboolean BSptnwtold(BSrc *rc, const double *origin, const double *frame,
                            const double *scale, const double *point, double *out);
/* n points (poles; rational: weighted, weights required) into the frame. */
KW_API void BSptsoldtnw(const double *origin, const double *frame, double scale, int32_t n,
                        BSboolean rational, const double *points, const double *weights,
                        double *out, BSrc *rc);
/* n points (poles) out of the frame. Status -5 (zero scale). */
KW_API void BSptsnwtold(const double *origin, const double *frame, double scale, int32_t n,
                        BSboolean rational, const double *points, const double *weights,
                        double *out, BSrc *rc);
/* Length (out) of the polygon through *n (weighted) points. Status -5 (a zero or
 * not-a-number weight; length 0). */
KW_API BSboolean BScumdist(BSrc *rc, const int32_t *n, const double *points, const double *weights,
                           double *length);
/* Classifies n points against tol: cls (out) 0 coincident, 1 collinear, -1
 * coplanar, -7 spanning space; centroid (out); direction (out) the line direction
 * (cls 1) or the plane normal (cls -1), untouched otherwise. Status 33, -4, -2 (n < 1). */
KW_API void BSgmprppts3(int32_t n, const double *points, double tol, int32_t *cls, double *centroid,
                        double *direction, BSrc *rc);
/* collinear (out) TRUE when the n (weighted) points are coincident or collinear
 * within dist_tol. Status 49, 33. */
KW_API void BScollinmn2(int32_t n, const double *points, const double *weights,
                        BSboolean *collinear, BSrc *rc);
/* TRUE when the three points are collinear (or coincident). */
KW_API BSboolean BScollin(BSrc *rc, const double *p0, const double *p1, const double *p2);
/* TRUE when the *n points are collinear (or coincident). */
KW_API BSboolean BScollinmny(BSrc *rc, const int32_t *n, const double *points);
/* code (out) 1 point, 2 line, 3 plane, 4 space; normal (out, zeroed first) the line
 * direction or plane normal. The second argument is not read. Status 49, 33. */
KW_API void BSptlnplan(int32_t n, int32_t ignored, const double *points, const double *weights,
                       int32_t *code, double *normal, BSrc *rc);
/* As BSptlnplan. */
KW_API void BSplanar2(int32_t n, const double *points, const double *weights, int32_t *code,
                      double *normal, BSrc *rc);
/* planar (out) TRUE only for points spanning exactly a plane; normal as BSplanar2. */
KW_API void BStst_plan(int32_t n, const double *points, const double *weights, BSboolean *planar,
                       double *normal, BSrc *rc);

/* ---- Lines and planes (src/vector/lines_planes.cpp) ---- */

/* Lines by two points (3 doubles each, or 6 consecutive doubles) or by a point and
 * a direction; planes by a point and a unit normal. Relations of two lines: 2 skew,
 * 3 parallel and distinct, 4 the same line, 5 intersecting, 0 undecided. */

/* Fills the caller's curve (its poles and knots arrays must be present) with the
 * segment p0 p1: order 2, 2 poles, knots 0 0 1 1, not rational. kind (out, may be
 * null) 17 for distinct points, 18 for coincident ones. Status 3 (a null point,
 * curve, or curve array). */
KW_API BSboolean BSptlngen(BSrc *rc, const double *p0, const double *p1, BScurve *curve,
                           int32_t *kind);
/* As BSptlngen; coincident points are status -6. */
KW_API BSboolean BSlngen(BSrc *rc, const double *p0, const double *p1, BScurve *curve,
                         int32_t *kind);
/* TRUE when the four points span exactly a plane (not a point, line or space). */
KW_API BSboolean BSpoint3(BSrc *rc, const double *p1, const double *p2, const double *p3,
                          const double *p4);
/* Relation of the line a1 a2 to the line b1 b2 (four points on one line are the
 * same line, 4). Status -6 (a degenerate line; result 0), 33. */
KW_API int16_t BSrelplnln(BSrc *rc, const double *a1, const double *a2, const double *b1,
                          const double *b2);
/* Closest points q1 (out) on the line (p1, d1) and q2 (out) on (p2, d2), their
 * distance dist and parallel (out). Status -6 (a zero direction), -1 (a column of
 * no length in the solver); FALSE whenever the status is non-zero. */
KW_API BSboolean BSlldist(BSrc *rc, const double *p1, const double *p2, const double *d1,
                          const double *d2, BSboolean *parallel, double *dist, double *q1,
                          double *q2);
/* Intersection point x (out) of the lines a1 a2 and b1 b2. Status 43 (the lines
 * pass each other), 45 (distinct parallel lines), 46 (the same line), -6. */
KW_API BSboolean BSxln(BSrc *rc, const double *a1, const double *a2, const double *b1,
                       const double *b2, double *x);
/* Intersection of the planes (p1, m1) and (p2, m2): relation (out) 3 parallel, 4
 * the same plane, 5 a line through point (out) with unit direction (out); for 3
 * and 4 nothing else is written. */
KW_API void BSpl_pl(const double *p1, const double *m1, const double *p2, const double *m2,
                    int32_t *relation, double *point, double *direction, BSrc *rc);
/* End points of the overlap of the segments a0 a1 and b0 b1: count (out) 0, 1 or 2,
 * points (out, up to 2 points), params_a/params_b (out, up to 2 each, 0 at the
 * first point of the segment, 1 at the second), touch (out) TRUE when an end point
 * lies within dist_tol. Status -6 (a segment shorter than basis_tol). */
KW_API void BSlnendpt(const double *a0, const double *a1, const double *b0, const double *b1,
                      int32_t *count, double *points, double *params_a, double *params_b,
                      BSboolean *touch, BSrc *rc);
/* Distance of the lines a (6 doubles) and b (6 doubles): where (out) -1 undecided,
 * 0 skew, 1 parallel, 2 the same line, 3 intersecting; dist, points (q1 on a, q2 on
 * b) and params (along a from a1, along b from b1) out. Returns the relation (2, 3,
 * 4), TRUE when intersecting, 0 on failure. Statuses of BSrelplnln and BSxln. */
KW_API int16_t BSdistll(BSrc *rc, const double *a, const double *b, int32_t *where, double *dist,
                        double *points, double *params);

/* ---- Dense linear algebra and sorting (src/numeric/) ---- */

/* Matrix storage: row-major (element (i, j) of an m x n matrix at i*n + j) for
 * BShousehld, BShshldtran, BSdecomp, BSsolve and their right sides (m x r at
 * i*r + c); column-major (element (i, j) at j*m + i) for BShoustri..., the
 * BShoush.../BShousl... family and BSsingval. A triangular factor R of n columns
 * is n x n column-major: column j holds R(0..j, j) then zeros. Band storage
 * (BSbndhs...): one row of nb doubles per equation, the rows of block b relative
 * to its start column jt[b]. The zero threshold of the solvers is 1e-14. */

/* Householder least squares of the row-major system A X = B. In: *m >= *n rows,
 * *n columns, *r right sides; A (m x n) and B (m x r) are overwritten (rows n..m-1
 * of B receive the residual components). Out: X (n x r). Status -1 (a column of
 * no length: |alpha| < 1e-14, returns FALSE at once), -2 (*m < *n or *n < 1). */
KW_API BSboolean BShousehld(BSrc *rc, int32_t *m, int32_t *n, double *a, int32_t *r, double *b,
                            double *x);
/* Householder triangularisation of the row-major A (m x n) over min(m, n) columns,
 * applied also to B (m x r); both in place, no back substitution. */
KW_API void BShshldtran(int32_t m, int32_t n, int32_t r, double *a, double *b, BSrc *rc);
/* Column-major Householder triangularisation of the first n columns of the m-row
 * array A with n + e columns (the e extra columns are transformed alike). R is on
 * and above the diagonal; reflector components stay below. Returns the number of
 * columns processed. No status. */
KW_API int32_t BShoustrial(int32_t m, int32_t n, int32_t e, double *a);
/* Triangular factor R (n x n, out) of the column-major A (m x n, not changed).
 * Status 33 when scratch memory fails. */
KW_API void BShoustrian(int32_t m, int32_t n, const double *a, double *r, BSrc *rc);
/* Factor R (n x n, out) of the stacked matrix [X; Y] (each m x n column-major).
 * Status 33. */
KW_API void BShoushcstf(int32_t m, int32_t n, const double *x, const double *y, double *r,
                        BSrc *rc);
/* One chained stage: the factor of [[X, 0], [Y, Z]] (each m x n column-major) as
 * the block row [R S] (each n x n, out) and the remainder Z' (m x n, out) that the
 * next stage triangularises. Status 33. */
KW_API void BShoushcstl(int32_t m, int32_t n, const double *x, const double *y, const double *z,
                        double *zp, double *r, double *s, BSrc *rc);
/* Factor of the block-bidiagonal matrix with k blocks A_i and k blocks B_i (each
 * m x n column-major, consecutive): R out (k blocks n x n), S out (k - 1 blocks).
 * Status 33. */
KW_API void BShoushcstm(int32_t k, int32_t m, int32_t n, const double *a, const double *b,
                        double *r, double *s, BSrc *rc);
/* Solves R^T w = z for the block factor (R k blocks, S k - 1 blocks, z and w k*n).
 * No pivot test. */
KW_API void BShouslbtR(int32_t k, int32_t n, const double *r, const double *s, const double *z,
                       double *w);
/* Solves R x = w for the block factor (x k*n out). No pivot test. */
KW_API void BShouslbR(int32_t k, int32_t n, const double *r, const double *s, const double *w,
                      double *x);
/* Block-bidiagonal least squares: for each of the r right sides y ((k + 1)*m values,
 * one right side after the other in Y) writes the least-squares approximation M x
 * into Z (same shape). Blocks as for BShoushcstm. Status 33. */
KW_API void BShouslgbsc(int32_t k, int32_t m, int32_t n, const double *a, const double *b,
                        int32_t r, const double *y, double *z, BSrc *rc);
/* Banded accumulation: G (band rows of nb doubles, rows[b] rows per block, in
 * place), nblocks blocks starting at columns jt[b] (non-decreasing), r right sides
 * in B (rows x r, row-major, in place). Afterwards the first rows of G hold the
 * band-triangular factor. Status -2 (decreasing jt, bad sizes), -1 (a block
 * starting beyond every row read so far: the system is singular). */
KW_API void BSbndhshdtr(double *g, int32_t nblocks, const int32_t *rows, int32_t nb,
                        const int32_t *jt, int32_t r, double *b, BSrc *rc);
/* Back substitution on the band-triangular factor G for the jt[last] + nb unknowns;
 * B has rows of rowlen doubles, columns first..rowlen-1 are solved in place.
 * Status -1 (a diagonal below 1e-14), -2 (bad sizes). */
KW_API void BSbndhsback(const double *g, int32_t nblocks, int32_t nb, const int32_t *jt,
                        int32_t rowlen, int32_t first, double *b, BSrc *rc);
/* Banded least squares in one call: accumulation and back substitution; the first
 * jt[last] + nb rows of B (r columns) receive the solution. Status -2 (fewer rows
 * than unknowns, checked before G is touched), -1 (a diagonal below 1e-14). */
KW_API void BSbndhshold(double *g, int32_t nblocks, const int32_t *rows, int32_t nb,
                        const int32_t *jt, int32_t r, double *b, BSrc *rc);
/* LU decomposition with partial pivoting of the row-major *n x *n A, in place (unit
 * lower L below the diagonal, U on and above). When *flag is 1 the row exchanges
 * are applied to b (n) too; b may be null otherwise. Status -1 (pivot below 1e-28),
 * -2 (*n < 1). */
KW_API BSboolean BSdecomp(BSrc *rc, int32_t *n, double *a, BSboolean *flag, double *b);
/* Solves with the factors of BSdecomp: b (n) in: right side (already exchanged),
 * out: solution. Returns TRUE. */
KW_API BSboolean BSsolve(BSrc *rc, int32_t *n, const double *lu, double *b);
/* Singular value decomposition A = U diag(sv) V^T of the column-major m x n A (not
 * changed), p = min(m, n): U out (m x p), sv out (p, descending), V out (n x p),
 * all column-major. Status 33, -2 (bad sizes or null), -12 (no convergence within
 * 40 sweeps). */
KW_API void BSsingval(int32_t m, int32_t n, const double *a, double *u, double *sv, double *v,
                      BSrc *rc);
/* Singular values (2, descending) and right singular vectors (V 2x2, column j the
 * vector of value j) of the n x 2 matrix X (column x then column y). n < 1 gives
 * zeros and the identity. Status -2 (null argument). */
KW_API void BSsngvald2v(int32_t n, const double *x, double *sv, double *v, BSrc *rc);
/* Singular values (3, descending) and right singular vectors (V 3x3 column-major)
 * of the n x 3 column-major X. Status -2 (null), 33, -4 (eigen-solver failed). */
KW_API void BSsngvald3v(int32_t n, const double *x, double *sv, double *v, BSrc *rc);
/* Eigenvalues (3, descending) and eigenvectors (3x3, column j the vector of value
 * j) of the Gram matrix X^T X of the n x 3 column-major X. Status -2, -4. */
KW_API void BSsngvaljc3(int32_t n, const double *x, double *ev, double *evec, BSrc *rc);
/* Two-sided elimination of the bidiagonal system lower[i] x(i-1) + diag[i] x(i) =
 * rhs(i), i = 0..n-1, in the n - 1 unknowns x(0..n-2), for r right sides at once
 * (rhs n rows x r, row-major, in place). Leading equations with alpha[i] >= 0.5 are
 * solved forward, the others backward; rows 0..n-2 receive the solution and row
 * n-1 the absolute residual of the left-over equation when residual is non-zero
 * (zeros otherwise). Status 33, -5 (a zero divisor), -2 (n < 1). */
KW_API void BSmod_gauss(const double *alpha, const double *lower, const double *diag,
                        BSboolean residual, double *rhs, int32_t n, int32_t r, BSrc *rc);
/* Sorts a[*lo..*hi] ascending in place; the fourth argument is not read. TRUE. */
KW_API BSboolean BSquicksort(BSrc *rc, int32_t *lo, int32_t *hi, int32_t unused, double *a);
/* Index sort: tags (out, *n) order values ascending, equal values keep their order.
 * Status -2 (*n < 1). */
KW_API BSboolean BStagsort(BSrc *rc, int32_t *n, const double *values, int32_t *tags);
/* The same for 32-bit integer values. */
KW_API void BStagsorti(int32_t *n, const int32_t *values, int32_t *tags, BSrc *rc);
/* Comparison of two 16-byte records for BSsort: negative, zero or positive; a
 * non-zero status written by it stops the sort. */
typedef int32_t (*BSsortcompare)(const void *a, const void *b, BSrc *rc);
/* Sorts n records of 16 bytes with compare: exchange sort below cutoff records,
 * quicksort from there on. Status: the first non-zero status of compare. */
KW_API void BSsort(int32_t cutoff, BSsortcompare compare, int32_t n, void *records, BSrc *rc);
/* Lexicographic (x, y, z) comparison of two records whose first 8 bytes hold a
 * pointer to a triple. */
KW_API int32_t BStrplcomp(const void *a, const void *b, BSrc *rc);
/* Sorts n pointers to triples lexicographically, in place. Status 33. */
KW_API void BSsorttrpls(int32_t n, double **triples, BSrc *rc);

/* ---- Knot vectors and spans (src/bspline/knots.cpp) ---- */

/* Conventions: order k, n poles, n + k non-decreasing knots, domain
 * [knots[k-1], knots[n]]; a span is named by its left knot index s, k-1 <= s <= n-1.
 * These routines take raw arrays: arrays must not be null (no null test is made)
 * and must hold what the counts say. An order below 1 or n < k is -2 BSINARG
 * (nothing read or written) in BScvkttol2, BSfindspn, BSfindspnr, BSfndspnarr,
 * BSnorkts and BSfindmkts. */

/* Curve knot tolerance: knot_tol under the fixed method (BSstolmthd 1); otherwise
 * basis_tol x (parameter range) / (control-polygon length, at least 0.001), lowered
 * to a tenth of every knot interval below it and above zero_tol.
 * in: order, knots (n + k), num_poles n, poles (n x 3, weighted when rational),
 * weights (n) or NULL. out: tol. A zero weight gives tol = basis_tol, status 0.
 * -2: order < 1 or num_poles < order (tol untouched). */
KW_API void BScvkttol2(int16_t order, const double *knots, int32_t num_poles, const double *poles,
                       const double *weights, double *tol, BSrc *rc);
/* Span s with knots[s] < u <= knots[s+1] (an interior knot belongs to the span on
 * its left; outside the domain the end spans). *span: in a hint, out the span.
 * Returns FALSE (span unchanged, status 0) for a NaN u or decreasing knots; FALSE
 * and -2 (span unchanged) for order < 1 or num_poles < order. No epilogue. */
KW_API BSboolean BSfindspn(BSrc *rc, const int16_t *order, const int32_t *num_poles,
                           const double *knots, const double *u, int32_t *span);
/* Index r of the first knot above u (knots[r-1] <= u < knots[r]) after clamping u
 * to the domain; n at the domain end. Status 0; -2 for order < 1 or num_poles <
 * order (right untouched). No epilogue. */
KW_API void BSfindspnr(int16_t order, int32_t num_poles, const double *knots, double u,
                       int32_t *right, BSrc *rc);
/* Spans of count parameters (spans: count int32): the first by the left-closed
 * rule, the following ones by a forward sweep (right-closed); a parameter before
 * the previous span starts a fresh search, so any order is right, ascending fastest.
 * -2: order < 1, num_poles < order or count < 0 (spans untouched). */
KW_API void BSfndspnarr(int16_t order, int32_t num_poles, int32_t count, const double *pars,
                        const double *knots, int32_t *spans, BSrc *rc);
/* Maps the domain of the n + k knots to [0, 1] in place.
 * -2 BSINARG: domain shorter than zero_tol^2 or not finite (knots left shifted, not
 * scaled); order < 1 or num_poles < order (knots untouched). */
KW_API BSboolean BSnorkts(BSrc *rc, const int16_t *order, const int32_t *num_poles, double *knots);
/* Distinct values of the k + *count + 1 knots (knots within knot_tol of their
 * predecessor are one) with their multiplicities. out: *num_distinct, values,
 * mults (room for k + *count + 1 each). Arrays must not be null. */
KW_API BSboolean BSgetmult(BSrc *rc, const int16_t *order, const int32_t *count,
                           const double *knots, int32_t *num_distinct, double *values,
                           int32_t *mults);
/* Interior knots of multiplicity exactly k-1 (C0 knots) at the given tolerance:
 * out *count, values and the pole counts of the left pieces (room for n + k).
 * Order 1 has none. -2: order < 1 or num_poles < order (nothing written). */
KW_API BSboolean BSfindmkts(BSrc *rc, const int16_t *order, const int32_t *num_poles,
                            const double *knots, const double *tol, int32_t *count, double *values,
                            int32_t *pole_counts);
/* Chord-length knots (n + k, normalised) for a curve of n poles through n points
 * (n x 3). -2 BSINARG: order < 2 or n < k (knots untouched), or a total chord
 * length that is not finite; 33: no scratch memory. Arrays must not be null. */
KW_API BSboolean BSchrdlkts(BSrc *rc, const int32_t *num_points, const double *points,
                            const int16_t *order, const BSboolean *periodic, double *knots);
/* Greville abscissae of the n = num_knots - k poles with r values between
 * neighbours: *count = 1 + (n-1)(r+1) values. -2: order < 2 or r < 0; 33. */
KW_API void BSnodevals(int16_t order, int32_t num_knots, const double *knots, int32_t r,
                       int32_t *count, double *values, BSrc *rc);
/* BSnodevals, then trimmed to the domain (trim; for odd orders the domain ends are
 * added) and/or clipped to range[0..1] with tolerance tol (clip; the range ends are
 * added). values needs room for 4 more than BSnodevals writes. */
KW_API void BSnodvalrg(int16_t order, BSboolean trim, int32_t num_knots, const double *knots,
                       int32_t r, double tol, BSboolean clip, const double *range, int32_t *count,
                       double *values, BSrc *rc);

/* ---- Curve evaluation (src/bspline/evaluate.cpp, src/bspline/basis.cpp) ---- */

/* Evaluator outputs are derivative-major triples: point, first derivative, ...;
 * derivatives beyond the degree are zero. Statuses common to the evaluators:
 * -2 BSINARG a span shorter than the threshold (or bad argument), -5 BSDIVZERO
 * another knot difference of the span below it, -1 BSFAIL a zero, NaN or
 * vanishing homogeneous weight, 33 no scratch memory (orders above 16 only).
 * The record evaluators check the record in O(1) per call: 3 null record or
 * arrays, -2 order below 2, num_poles below order, num_knots != order +
 * num_poles, a NaN or infinite parameter. They do not scan the arrays; a result
 * that is not finite (NaN or infinite poles, weights or knots in the evaluated
 * span, or an extrapolation or derivative that overflows) is -2. */

/* Point and d >= 0 derivatives of curve at u (out: d+1 triples). At an interior
 * knot the left-hand limits; outside the domain the end spans are extrapolated.
 * An order below 1 gives the zero point and status 0. -2 for a result that is not
 * finite: out untouched for d <= 20, else written. */
KW_API void BScveval(const BScurve *curve, double u, int32_t d, double *out, BSrc *rc);
/* Point (out 3), point and first derivative (out 6), point and two derivatives
 * (out 9) on the given span (trusted); weights NULL for a polynomial curve; the
 * other arrays must not be null. -2: a result that is not finite (out untouched). */
KW_API void BScveval0(BSrc *rc, int16_t order, const double *poles, const double *weights,
                      const double *knots, int32_t span, double u, double *out);
KW_API void BScveval1(BSrc *rc, int16_t order, const double *poles, const double *weights,
                      const double *knots, int32_t span, double u, double *out);
KW_API void BScveval2(BSrc *rc, int16_t order, const double *poles, const double *weights,
                      const double *knots, int32_t span, double u, double *out);
/* The k non-zero basis functions of span at u (index 0 for pole span-k+1), and
 * their first and second derivatives (k values each). Arrays must not be null. */
KW_API void BSmansf0(BSrc *rc, int16_t order, const double *knots, int32_t span, double u,
                     double *values);
KW_API void BSmansf1(BSrc *rc, int16_t order, const double *knots, int32_t span, double u,
                     double *values, double *first);
KW_API void BSmansf2(BSrc *rc, int16_t order, const double *knots, int32_t span, double u,
                     double *values, double *first, double *second);
/* Span polynomial by divided differences and nested multiplication.
 * rows: m rows of p+1 span poles (changed); recip: (p+1) x (p+1) row-major,
 * recip[r][j] = 1/(knots[s-p+j+p+1-r] - knots[s-p+j]) for 1 <= r <= j <= p;
 * dist[r] = u - knots[s-p+r], r = 1..p; out: d+1 rows of m (homogeneous).
 * Arrays must not be null. */
KW_API void BScveval_h(int32_t p, int32_t m, int32_t d, double *rows, const double *recip,
                       const double *dist, double *out);
/* Cartesian derivatives (d+1 rows of dim) from homogeneous ones (d+1 rows of
 * dim+1 when rational, dim otherwise). -1 BSFAIL: zero, NaN or vanishing weight
 * (out zero). Arrays must not be null. */
KW_API void BSsetder_cv(int32_t dim, BSboolean rational, int32_t d, const double *hom, double *out,
                        BSrc *rc);
/* binom(degree, 0..degree) into coefs. Status 2 for a degree outside 0..16. */
KW_API void BSbinomcoef(int32_t degree, double *coefs, BSrc *rc);
/* Both one-sided values at a knot: flag 1 when derivatives up to d may jump there
 * (left from the lower span, right from the upper), else flag 0 and only left.
 * reserved is not read. -2: d outside 0..15 or a NaN or infinite u; -6 BSDEGEN: no knot above u. */
KW_API BSboolean BScveval_b(BSrc *rc, const BScurve *curve, const double *u, const int32_t *d,
                            const void *reserved, int16_t *flag, double *left, double *right);
/* Homogeneous point and d <= 15 derivatives on span (trusted) by de Boor's
 * triangle: out rows of 4 (x, y, z, w), 16 rows. Status 2: order < 2; -2: d
 * outside 0..15 or a result that is not finite (out written); -6: a knot interval
 * below zero_tol. Arrays and pointers must not be null (weights may be when not
 * rational). */
KW_API BSboolean BSbspl(BSrc *rc, const double *poles, const double *weights, const double *knots,
                        const int16_t *order, const BSboolean *rational, const int32_t *span,
                        const int32_t *d, const double *u, double *out);
/* Converts d+1 homogeneous rows of 4 to Cartesian in place for a rational curve
 * (nothing for a polynomial one). -1: zero, NaN or vanishing weight; -2: d
 * outside 0..15. */
KW_API BSboolean BSrspl(BSrc *rc, const int32_t *d, const BScurve *curve, double *buf);
/* Array-form curve of degree p with n poles of m values in coordinate-major rows:
 * d+1 rows of m values at u. span -1 searches (d = 0: the span right of an
 * interior knot; d > 0: the left one). -5: zero knot interval on the span; -2: a
 * result that is not finite (out written). Arrays must not be null. */
KW_API void BScvevaln(int32_t p, int32_t n, int32_t m, const double *poles, const double *knots,
                      double u, int32_t span, int32_t d, double *out, BSrc *rc);
/* Curve of any dimension (dim rows, plus a weight row when rational, weighted):
 * d+1 rows of dim Cartesian values. -2: u outside [knots[0], knots[p+n]], or a
 * result that is not finite (out written). Arrays must not be null. */
KW_API void BSevalbsp(int32_t p, int32_t n, int32_t dim, BSboolean rational, const double *poles,
                      const double *knots, double u, int32_t d, double *out, BSrc *rc);
/* Sweeps over count parameters, fastest when they ascend (a parameter before the
 * running span starts a fresh span search, so any order is right). BScvarreval:
 * d = 0..2 derivatives, stride 3(d+1) (-2 for another d). BScvarrev0: points.
 * BScvarrev0w: homogeneous points (x, y, z, w), w = 1 for a polynomial curve. BScvarrevt: pairs (P,
 * P + L T/|T|). BScvarrevc: curvature comb: curvatures, radii (-1: none) and pairs (P, centre of
 * curvature, radii scaled by L / largest radius when that exceeds L); -2 for order 2.
 * A failing evaluation or a NaN or infinite parameter stops the sweep; earlier
 * outputs stay written. Every sweep also fails (-2) on a result that is not finite
 * (an extrapolation or derivative that overflows); reval, rev0 and rev0w leave that
 * parameter's output untouched.
 * reval, revt and revc set a polynomial curve's weights pointer to NULL. */
KW_API void BScvarreval(BSrc *rc, BScurve *curve, const double *pars, int32_t count, int32_t d,
                        double *out);
KW_API void BScvarrev0(BSrc *rc, const BScurve *curve, const double *pars, int32_t count,
                       double *out);
KW_API void BScvarrev0w(const BScurve *curve, int32_t count, const double *pars, double *out,
                        BSrc *rc);
KW_API void BScvarrevt(BScurve *curve, const double *pars, int32_t count, double length,
                       double *out, BSrc *rc);
KW_API void BScvarrevc(BScurve *curve, int32_t count, const double *pars, double length,
                       double *curvatures, double *radii, double *out, BSrc *rc);
/* out = point x weight / point / weight for *count points (out may be points).
 * Arrays must not be null. */
KW_API BSboolean BSwght_p(BSrc *rc, const double *points, const double *weights,
                          const int32_t *count, double *out);
KW_API BSboolean BSunwght_p(BSrc *rc, const double *points, const double *weights,
                            const int32_t *count, double *out);
/* Unit normal of the plane of the curve's poles. -7 BSCOLLIN: fewer than 3 poles,
 * or poles not in one plane or in no unique plane; 49: a weight below a quarter of
 * the mean; 33. */
KW_API BSboolean BScvnormal(BSrc *rc, const BScurve *curve, double *normal);
/* Parameter step moving the curve point by about dist near u (1e-10 when both
 * derivative lengths are at most dist). Statuses of BScveval. */
KW_API void BSlocknttol(const BScurve *curve, double u, double dist, double *ptol, BSrc *rc);

/* ---- Knot insertion (src/bspline/insert.cpp) ---- */

/* Insertion keeps a curve's order, domain and shape; rational curves are blended in
 * homogeneous space (weighted poles and weights with the same coefficients).
 * Common statuses: 3 BSNULLPTR a null record, array or output pointer; -2 BSINARG
 * order < 2 or num_poles < order. */

/* Clamps the open start (end == 0) or end (end != 0) of curve in place with
 * BSadd_ekt (counts and shape on the domain kept) and clears periodic. */
KW_API void BScnvtmekt(int16_t end, BScurve *curve, BSrc *rc);
/* Clamps both open ends of curve in place and clears periodic. */
KW_API BSboolean BScnvtomkt(BSrc *rc, BScurve *curve);
/* Inserts u r times (1 <= r <= order-1) into curve; u within knot_tol of interior
 * knots takes their value. reuse 0: *out becomes a new record (BSfreeqelcv) and the
 * record it held before, if any, is released (out may be the address of the input's
 * own pointer); reuse 1: the result goes into the record *out (room for r more
 * poles; may be curve itself). -2: u not strictly inside the domain, r out of range,
 * or existing multiplicity + r > order-1 (nothing changed); -13: no memory. */
KW_API void BSadd_1kt_mul(const BScurve *curve, double u, int32_t r, BSboolean reuse, BScurve **out,
                          BSrc *rc);
/* As BSadd_1kt_mul, but r (0 <= r <= order-1) is the total multiplicity wanted and
 * u snaps within the local knot tolerance (BSlocknttol with dist_tol); an existing
 * multiplicity of r or more gives a copy. -2: u within that tolerance of a domain
 * end or r out of range. */
KW_API void BSadd_1kt_tot(const BScurve *curve, double u, int32_t r, BSboolean reuse, BScurve **out,
                          BSrc *rc);
/* Inserts *u at knot index *i of an end of the knot vector (i + 1 < order: start;
 * i + 1 > num_poles: end) and drops the outermost knot and pole, in place; other
 * indices of the knot vector change nothing. With *u the domain end the shape on
 * the domain is kept. -2: a NaN or infinite *u, or *i outside 0 .. num_knots - 1. */
KW_API BSboolean BSadd_ekt(BSrc *rc, BScurve *curve, const double *u, const int32_t *i);
/* Refines curve to the knot vector knots (num_poles + order values containing the
 * curve's knots) into out, whose arrays the caller sized for num_poles poles (out may
 * be curve or share its arrays). Flags copied, no boundaries. -2: fewer poles than the
 * input; 33: no scratch memory. */
KW_API void BSadd_kts(const BScurve *curve, int32_t num_poles, const double *knots, BScurve *out,
                      BSrc *rc);
/* Inserts count ascending knots (inserts, inside the domain) into a curve of order
 * with num_poles poles given as dim coordinate-major rows (poles, dim x num_poles).
 * out: poles_out (dim rows of num_poles + count), knots_out (num_poles + order +
 * count). Outputs may overlap the inputs. -2: a knot outside the domain, not
 * ascending, or one that would exceed order copies (nothing written);
 * 33: no scratch memory. */
KW_API void BSinsertmkt(int16_t order, int32_t dim, int32_t num_poles, const double *poles,
                        const double *knots, int32_t count, const double *inserts,
                        double *poles_out, double *knots_out, BSrc *rc);
/* Inserts u once on span (knots[span] <= u <= knots[span+1]) into dim coordinate-
 * major rows of num_poles poles: poles_out dim rows of num_poles + 1. The knots are
 * not changed (the caller inserts u). No status: an invalid call (order < 2,
 * num_poles < order, dim < 1, span outside order-1 .. num_poles-1, u NaN or off
 * the span, a null array) writes nothing. */
KW_API void BSinsertkt(int16_t order, int32_t dim, int32_t num_poles, const double *poles,
                       const double *knots, int32_t span, double u, double *poles_out);
/* Subdivides count values: after values[i] (i < count-1) adds[i] equally spaced
 * values towards values[i+1]. out: *count_out = 1 + sum(adds[i] + 1) values.
 * -2: a negative add count. */
KW_API void BSinspararr(int32_t count, const double *values, const int32_t *adds,
                        int32_t *count_out, double *out, BSrc *rc);
/* *collinear TRUE when the poles of curve (divided by their weights) are coincident or
 * collinear within dist_tol (BScollinmn2). Weights too uneven for that test (49) make
 * the test run on the poles of the curve refined to Bezier pieces instead.
 * Statuses of BScollinmn2 (49 when the refined poles fail too); -13: no memory; 33. */
KW_API void BScollinmn3(const BScurve *curve, BSboolean *collinear, BSrc *rc);

/* ---- Split, extract, reverse, close (src/bspline/split.cpp) ---- */

/* Every piece made here is clamped at both ends, has periodic 0, no boundaries and,
 * when not rational, a NULL weights pointer. Common statuses: 3 BSNULLPTR a null
 * argument or record array; -2 BSINARG order < 2 or num_poles < order. */

/* Splits curve at *u into left and right. Arrays of a result record whose pointers
 * are NULL are allocated with BSdbgalloc (the caller releases them); otherwise the
 * arrays present are written. u within the curve knot tolerance of a knot takes its
 * value; at the domain start left gets num_poles 0 and right a copy (the reverse at
 * the end). An open (unclamped) input is clamped first. *plane set: planar from the
 * plane test of each piece with more than 2 poles (its failure is returned).
 * -2: u on a knot of multiplicity order or more; -13: no memory for the arrays. */
KW_API BSboolean BScvsplit(BSrc *rc, const BScurve *curve, const double *u, BScurve *left,
                           BScurve *right, const BSboolean *plane);
/* The part of curve between *ua and *ub (either order) into out, whose arrays the
 * caller sized (num_poles + 2 (order - 1) poles is always enough). Parameters within
 * their local knot tolerance (BSlocknttol, dist_tol) of a domain end or an interior
 * knot take its value. -2: parameters closer than their tolerances; -1 BSFAIL: a
 * parameter outside the domain by more than its tolerance; 33: no scratch memory. */
KW_API BSboolean BSactivsplt(BSrc *rc, const BScurve *curve, const double *ua, const double *ub,
                             BScurve *out, const BSboolean *plane);
/* Span *span (order-1 .. num_poles-1) as a curve of its own: out (arrays for order
 * poles and 2 order knots) gets poles span-order+1 .. span and knots span-order+1 ..
 * span+order (unclamped). *closure: closure test, then BScvsetclsd when closed.
 * -2: span out of range. */
KW_API BSboolean BSextrcvspn(BSrc *rc, const int32_t *span, const BScurve *curve, BScurve *out,
                             const BSboolean *plane, const BSboolean *closure);
/* Breaks curve at every interior knot of multiplicity order-1 or more (C0 knots and
 * gaps): *count pieces in *pieces, a list allocated with BSdbgcalloc (release each piece
 * with BSfreeqelcv, then the list with BSdbgfree). On a failure the pieces made so far
 * stay in the list and *count says how many. -13: no memory; 33: no scratch memory. */
KW_API BSboolean BSbreakcv(BSrc *rc, const BScurve *curve, int32_t *count, BScurve ***pieces,
                           const BSboolean *plane);
/* Reverses the direction of curve in place (domain kept; boundaries mapped too). */
KW_API BSboolean BSrev_cv(BSrc *rc, BScurve *curve);
/* Sets curve->phy_closed: 1 when its end points are closer than sqrt(dist_sqtol). */
KW_API void BScvtstclsd(BScurve *curve, BSrc *rc);
/* For a curve with phy_closed set: clamps both ends and replaces the first and last
 * poles by their average (unweighted, then weighted again). */
KW_API void BScvsetclsd(BScurve *curve, BSrc *rc);

/* ---- Degree elevation and Bezier decomposition (src/bspline/bezier.cpp, src/bspline/elevate.cpp)
 * ---- */

/* A Bezier segment is a curve record whose pole count equals its order, with
 * clamped knots. Bezier rows: degree + 1 coefficients per row, rows one after the
 * other. Array-form spline: degree p, n poles in coordinate-major rows (row c holds
 * component c of every pole; a rational spline's weight row comes last and its
 * other rows are weighted), n + p + 1 knots. */

/* Raises curve to degree new_degree without changing its shape. The input is first
 * clamped at both ends in place. reuse 1: the result is written into the record
 * *out (arrays sized for the new counts); reuse 0: *out receives a new record (free
 * with BSfreeqelcv) and the record it held before, if any, is released. The first
 * pole (and weight) of the result is exactly the clamped input's. new_degree equal
 * to the degree: nothing is done, *out untouched. Status -2: new_degree below the
 * degree or above 255, or a bad record; -1: a pole of the result not finite;
 * 3: null record, array or out (or *out with reuse); -13: no result memory;
 * 33: no scratch memory. */
KW_API void BSupthedeg(BScurve *curve, int16_t new_degree, BSboolean reuse, BScurve **out,
                       BSrc *rc);
/* Knot vector of a degree `degree` curve with last pole index `last` (degree + last
 * + 2 knots in *knots) raised to new_degree: every distinct knot (within knot_tol)
 * gains new_degree - degree copies. keep 0: *knots is first reallocated
 * (BSdbgralloc) to the exact new size; keep 1: the caller's array must hold
 * (new_degree - degree + 1) x (degree + last + 2) values. *new_last = new knot
 * count - new_degree - 2. Status -2: bad degrees; 3: null pointer; -13: the
 * reallocation failed (*knots unchanged); 33. */
KW_API void BSnewktr(int16_t degree, int32_t last, BSboolean keep, int16_t new_degree,
                     double **knots, int32_t *new_last, BSrc *rc);
/* Bezier segments of curve, one per span of non-zero length, into segments[0..]
 * (records provided by the caller, each with room for order poles, 2 x order knots
 * and, when rational, order weights). *count segments. A failing segment ends the
 * routine with its status (earlier segments stay written). Status 3, -2 (bad
 * record), and those of BSspn_t_bz. */
KW_API BSboolean BScvtobz(BSrc *rc, const BScurve *curve, int32_t *count, BScurve *segments);
/* Span *span of curve as a Bezier curve of the same order over [knots[s],
 * knots[s+1]] into out (room for order poles, 2 x order knots, weights when
 * rational); *plane_test and *closure_test as for BSextrcvspn. Statuses of
 * BSextrcvspn and BScnvtomkt. */
KW_API BSboolean BSspn_t_bz(BSrc *rc, const int32_t *span, const BScurve *curve, BScurve *out,
                            const BSboolean *plane_test, const BSboolean *closure_test);
/* De Casteljau triangle of a Bezier curve (order = poles, 2 <= order <= 16) at *u:
 * points[i][r] (weighted) and weights[i][r] for level r built from poles i - r .. i
 * (weights 1 for a polynomial curve). The point at *u is points[k-1][k-1] (divided
 * by weights[k-1][k-1]); the diagonal holds the left piece's poles, row k-1 the
 * right piece's in reverse order. Status -2: not a single span or order outside
 * 2..16 (or a zero-length span); -1: a weight below the curve knot tolerance;
 * 3: null pointer. Returns TRUE exactly on status 0. */
KW_API BSboolean BSdcastelj(BSrc *rc, const BScurve *curve, const double *u,
                            double points[16][16][3], double weights[16][16]);
/* Splits num_rows Bezier rows of the given degree at 1/2 by midpoint averaging:
 * left and right halves, each on [0, 1]. rows may be left or right. No status. */
KW_API void BShlfbezcv(int32_t degree, int32_t num_rows, const double *rows, double *left,
                       double *right);
/* Right half [1/2, 1] of one Bezier row reparametrised to [0, 1]; BScastibez undoes
 * it (extends a row on [0, 1] to the interval twice as long ending at 1). row and
 * out (degree + 1 values) may be the same. No status. */
KW_API void BScastdbez(int32_t degree, const double *row, double *out);
KW_API void BScastibez(int32_t degree, const double *row, double *out);
/* Halves an array-form spline of dimension dim (rows) at the knot knots[knot_index]
 * (lowered to the first of equal knots; it must lie inside the domain and have at
 * most `degree` copies), inserting it up to multiplicity degree. Left half:
 * *left_num_poles = j (j the first index of the halving knot) poles in
 * coordinate-major rows of that length, knots[0 .. j+degree-1] of the refined
 * vector then the halving value (j + degree + 1 knots). Right half: *right_num_poles
 * poles, degree + 1 copies of the halving value then the rest of the refined knots;
 * both halves share the pole at the halving point. Sizes: left at most n + degree
 * poles per row, right as many; knots pole count + degree + 1. Status -2: bad
 * sizes or halving knot; 3: null pointer; 33: no scratch memory. */
KW_API void BShlfbspcv(int32_t dim, int32_t degree, int32_t num_poles, const double *knots,
                       const double *poles, int32_t knot_index, int32_t *left_num_poles,
                       double *left_knots, double *left_poles, int32_t *right_num_poles,
                       double *right_knots, double *right_poles, BSrc *rc);
/* Bezier coefficients of an array-form spline of degree p = degree, num_poles poles
 * and num_rows rows: one segment per knot interval of width at least 1e-12 in the
 * domain (ends clamped independently where they are not). coefs: segment-major,
 * segment j row r at ((j * num_rows) + r) * (p + 1) (at most num_poles - p
 * segments); breaks: *num_segments + 1 values (knots[p], the start of every further
 * segment, knots[num_poles]). Status -2: bad sizes or a domain shorter than 1e-12;
 * 3: null pointer; 33: no scratch memory (degrees above 64 only). */
KW_API void BSbstobez(int32_t degree, int32_t num_poles, int32_t num_rows, const double *knots,
                      const double *poles, int32_t *num_segments, double *coefs, double *breaks,
                      BSrc *rc);
/* Elementary symmetric functions e_0 .. e_count (count + 1 values into sums) of the
 * count values: e_0 = 1, e_r the sum of the products of r distinct values. */
KW_API void BSgensym(int32_t count, const double *values, double *sums);

/* ---- Tangent continuity at knots (src/analysis/continuity.cpp) ---- */

/* A C0 knot is an interior knot of multiplicity order - 1, where the curve passes
 * through a pole; poles of a rational curve are divided by their weights before
 * they are compared. Output arrays are the caller's, with room for one entry per
 * C0 knot plus one. Statuses common to the three: 3 a null record, array or
 * output; -2 order < 2 or num_poles < order. */

/* *flag 1 when the control polygon's direction breaks at pole j: the leg from the
 * nearest pole before j to pole j and the leg from pole j to the nearest pole
 * after it (poles within sqrt(0.1 dist_sqtol) of pole j are skipped) turn by more
 * than 1e-10 radians or reverse. On a closed curve j may be 0 or n-1 (the last
 * pole repeats the first). Status -2: j outside 0..n-1, or an end pole of a curve
 * that is not closed. */
KW_API void BStstcvcusp(BSrc *rc, const BScurve *curve, int32_t j, BSboolean *flag);
/* Parameters of all tangent breaks into params (*count of them): the start
 * parameter first when a closed, non-periodic curve breaks at its closing point,
 * then every C0 knot (at the curve knot tolerance) whose pole breaks, ascending.
 * Status 33: no scratch memory (more than 100 knots). */
KW_API void BSfndcvcsp(const BScurve *curve, int32_t *count, double *params, BSrc *rc);
/* Every C0 knot found with the tolerance tol, with its continuity grade: 0 position
 * only, 1 the one-sided first derivatives agree in direction (angle below
 * tol / control-polygon length), 2 also in length (within tol). A closed curve gets
 * one more entry at its end parameter (grade 2 when periodic, else the start and
 * end first derivatives graded). *count entries in params and grades.
 * Status -5: a zero weight; 33: no scratch memory; evaluation failures are passed
 * on with *count the entries written so far. */
KW_API void BSfinddcont(const BScurve *curve, double tol, int32_t *count, double *params,
                        int32_t *grades, BSrc *rc);

/* ---- Bounding boxes (src/query/boxes.cpp) ---- */

/* Boxes are boxes of the control polygon (poles divided by their weights), which
 * contain the curve. Coordinate-major poles: dim rows of num_poles values (row c
 * holds coordinate c of every pole); a rational block adds a row of weights and its
 * coordinate rows then hold weighted coordinates. Oblique box: centre (dim doubles)
 * and dim half-axis vectors in rows (dim x dim); the box is c + sum s_k h_k with
 * |s_k| <= 1; zero half-axes come last. Distance bounds are squared distances. */

/* Axis-aligned box of *num_poles pole triples (divided by weights when weights is
 * not null) into min[3], max[3]. Status 0, TRUE. With no poles min and max stay
 * untouched. Arrays must not be null. No epilogue. */
KW_API BSboolean BSbx2(BSrc *rc, const int32_t *num_poles, const double *poles,
                       const double *weights, double *min, double *max);
/* Squared distance from point[3] to the box min/max (0 inside) into *dist_sq.
 * Status 1 and FALSE when some min[i] > max[i] (the distance is still written).
 * Arrays must not be null (as in the other box tests). */
KW_API BSboolean BSbx3(BSrc *rc, const double *point, const double *min, const double *max,
                       double *dist_sq);
/* TRUE when the boxes (min1, max1) and (min2, max2) meet within dist_tol. Status 0. */
KW_API BSboolean BSbxint(BSrc *rc, const double *min1, const double *max1, const double *min2,
                         const double *max2);
/* TRUE when point (*dim coordinates) lies in the box widened by dist_tol/sqrt(3). */
KW_API BSboolean BSptinbx(BSrc *rc, const double *point, const double *min, const double *max,
                          const int32_t *dim);
/* *flag TRUE when the first pole lies in the box of the other poles, or else the
 * last pole in the box of the others. Status 3 for a null curve, flag or array;
 * -2 with fewer than 2 poles. Returns TRUE on success. */
KW_API BSboolean BSendptinbx(BSrc *rc, const BScurve *curve, BSboolean *flag);
/* Packed box (dim minima, then dim maxima) of num_poles coordinate-major poles,
 * divided by their weights when rational is set. No status; nothing written when
 * num_poles or dim is below 1. */
KW_API void BSboxpoles(int32_t num_poles, int32_t dim, BSboolean rational, const double *poles,
                       double *box);
/* Bounding sphere of unweighted coordinate-major poles: centre[dim] = their average,
 * *radius = the largest distance to a pole (0 without poles). No status. */
KW_API void BSsphboxbsp(int32_t dim, int32_t num_poles, const double *poles, double *centre,
                        double *radius);
/* Dual frame of two plane axes (2x2, axis k in row k) into dual[4], so that the
 * coordinate s_k of v is v . dual row k. Status -14 when the axes are parallel. */
KW_API void BSboxinvab(const double *axes, double *dual, BSrc *rc);
/* Dual frame of three space axes (3x3, the third perpendicular to the others).
 * Status -14 when the first two are parallel or the third is zero. */
KW_API void BSboxinvabc(const double *axes, double *dual, BSrc *rc);
/* Oblique box with the given axis directions (dim x dim) around num_poles unweighted
 * coordinate-major poles: centre[dim], half_axes[dim x dim]. Status 50 for dim other
 * than 2 or 3, -14 for singular axes, -2 without poles or when the box is not
 * finite (coordinates near the overflow limit; outputs untouched). */
KW_API void BSboxpole(int32_t num_poles, int32_t dim, const double *poles, const double *axes,
                      double *centre, double *half_axes, BSrc *rc);
/* Oblique box of a curve (order, num_poles, knots, coordinate-major poles of dim
 * rows, weighted plus a weight row when rational) in its frame of first and second
 * derivative (and their cross product in space) at the middle parameter. Status 50
 * when that frame is degenerate (a straight curve, derivatives parallel) or dim is
 * not 2 or 3; -2 when order < 1 or num_poles < order, or the box is not finite
 * (outputs untouched); evaluation failures (-2, -5, -1 zero weight) and 33
 * (scratch) are passed on. */
KW_API void BSoblboxbsc(int16_t order, int32_t num_poles, const double *knots, int32_t dim,
                        BSboolean rational, const double *poles, double *centre, double *half_axes,
                        BSrc *rc);
/* Squared distance bounds from point to the segment centre +- half_axis: *min the
 * nearest, *max the far end. dim coordinates (2 when dim < 1). No status. */
KW_API void BSmnmxpt1(int32_t dim, const double *centre, const double *half_axis,
                      const double *point, double *min, double *max);
/* Squared distance bounds from point to the parallelogram centre +- h1 +- h2 in dim
 * coordinates. Status 0. */
KW_API void BSmnmxpt2(int32_t dim, const double *centre, const double *h1, const double *h2,
                      const double *point, double *min, double *max, BSrc *rc);
/* Squared distance bounds from point to a plane oblique box (half_axes 2x2).
 * Status -2 (bounds not written) when h1 is zero and h2 is not. */
KW_API void BSmnmxbx2(const double *half_axes, const double *centre, const double *point,
                      double *min, double *max, BSrc *rc);
/* Squared distance bounds from point to a space oblique box (half_axes 3x3, h3
 * perpendicular to h1 and h2). Status -2 (bounds not written) when the zero
 * half-axes do not come last. */
KW_API void BSmnmxbx3(const double *half_axes, const double *centre, const double *point,
                      double *min, double *max, BSrc *rc);
/* BSmnmxbx3 for dim 3, BSmnmxbx2 for dim 2; any other dim gives *min 0 and *max the
 * largest double with status 0. */
KW_API void BSminmaxbox(int32_t dim, const double *half_axes, const double *centre,
                        const double *point, double *min, double *max, BSrc *rc);
/* Squared distance bounds from num_points points (dim doubles each) to a curve given
 * as in BSoblboxbsc: for every point whose flag is non-zero, min[j] and max[j] from
 * the curve's oblique box, or from the bounding sphere of its poles when that box
 * cannot be built (degenerate frame) or a point's box bounds fail. Unflagged points
 * are untouched. Status 33 when scratch is short; -2 for order < 1, num_poles <
 * order or dim < 1; evaluation failures are passed on. */
KW_API void BSminmaxbsc(int16_t order, int32_t num_poles, int32_t dim, BSboolean rational,
                        const double *knots, const double *poles, int32_t num_points,
                        const double *points, const int8_t *flags, double *min, double *max,
                        BSrc *rc);

/* ---- Point projection onto a curve (src/query/project.cpp) ---- */

/* Also src/query/project_piece.cpp (one Bezier piece), src/query/normals.cpp (all
 * perpendicular feet, all nearest parameters) and src/query/newton_project.cpp
 * (Newton projection, scalar root finder). */

/* Nearest point of a curve to a point: parameter, foot point C(param) (3 doubles)
 * and distance. Statuses: 3 null curve, poles, knots or weights; -2 order below 2,
 * fewer poles than the order, or a point or Cartesian pole coordinate beyond 1e150
 * (its squared distances would overflow); 50 order above 16; 33 scratch exhausted. */
KW_API void BSmdstptcv(const BScurve *curve, const double *point, double *param, double *foot,
                       double *dist, BSrc *rc);
/* BSmdstptcv for num_points points (3 doubles each): params (num_points), feet
 * (num_points points) and dists (num_points) out; *all_near TRUE when every
 * distance is at most 2 chrdht_tol. On a physically closed curve a parameter at the
 * joint is the start parameter. Statuses as BSmdstptcv, -2 for num_points < 0; the
 * results of points before a failing one stay written. */
KW_API void BSmdstptscv(int32_t num_points, const double *points, const BScurve *curve,
                        double *params, double *feet, double *dists, BSboolean *all_near, BSrc *rc);
/* The nearest-point search on coordinate-major data: degree, num_poles, dim (at
 * least 1, with (dim + rational) (degree + 1) <= 64), rational flag, poles (dim rows of num_poles,
 * weighted when rational, then the weights row), knots (num_poles + degree + 1), num_points points
 * of dim doubles, tolerance. Out: dists, feet (dim doubles each), params. Statuses: 3 null array;
 * -2 bad sizes; 50 degree above 15; 33 scratch exhausted; -13 sub-piece stack. */
KW_API void BSmdptsbscv(int32_t degree, int32_t num_poles, int32_t dim, BSboolean rational,
                        const double *poles, const double *knots, int32_t num_points,
                        const double *points, double tol, double *dists, double *feet,
                        double *params, BSrc *rc);
/* Nearest point of one Bezier piece (coordinate-major rows of degree + 1 values,
 * weighted coordinates then weights when rational; local parameter in [0, 1]) to a
 * point of dim doubles, searched only for points nearer than bound (the largest
 * double: no bound). Out: dist (the largest double when nothing is nearer than the
 * bound; foot and param then untouched), foot (dim doubles) = C(param), param.
 * Statuses: 50 more than 16 poles; -2 dim below 1 or a piece of more than 64
 * values; 3 null array; -13 sub-piece stack exhausted. */
KW_API void BSmdptbezcv(int32_t degree, int32_t dim, BSboolean rational, const double *piece,
                        const double *point, double tol, double bound, double *dist, double *foot,
                        double *param, BSrc *rc);
/* Projection of a point on a segment: two poles one after the other, each dim
 * weighted coordinates followed by its weight when rational. Out: squared distance,
 * foot point (dim doubles), segment parameter in [0, 1] (snapped to an end within
 * tol). No status. */
KW_API void BSmdptbezln(int32_t dim, BSboolean rational, const double *segment, const double *point,
                        double tol, double *dist_sq, double *foot, double *param);
/* Every nearest parameter and every nearest parameter interval of a curve to a
 * point. Out: *num_intervals and *intervals (pairs of doubles, BSdbgalloc, null when
 * none), *num_params and *params (ascending, BSdbgalloc, null when none), *dist.
 * Statuses: 3 null argument; -2 bad curve; 33 result or scratch allocation failed;
 * -13 candidate list allocation failed. */
KW_API void BSmdistptcv(const BScurve *curve, const double *point, int16_t *num_intervals,
                        int16_t *num_params, double **params, double *dist, double **intervals,
                        BSrc *rc);
/* Whether a point lies on a curve (within dist_tol). Outside the widened pole box:
 * *on_curve FALSE and *param untouched; otherwise *param is the nearest parameter.
 * Returns TRUE exactly when the status is 0. */
KW_API BSboolean BSprptoncv(BSrc *rc, const BScurve *curve, const double *point, double *param,
                            BSboolean *on_curve);
/* Newton projection of a point on a curve from a start parameter. Out: param, foot
 * C(param), distance. Statuses: -12 no convergence within 25 iterations; 3 null
 * argument; -2 bad curve; evaluation failures passed on. */
KW_API void BSprptnrcv(const BScurve *curve, double start, const double *point, double *param,
                       double *foot, double *dist, BSrc *rc);
/* Closest pair of two point sets (n1 and n2 points of 3 doubles). Out: indices
 * (2000000000 when a set is empty) and distance (the largest double then). Among
 * equal distances the last pair in (i, j) order wins. Status 3 for a null output
 * or a null non-empty set. */
KW_API void BSmdstptarr(int32_t n1, const double *points1, int32_t n2, const double *points2,
                        int32_t *index1, int32_t *index2, double *dist, BSrc *rc);
/* Every parameter where the vector from the point to the curve is perpendicular to
 * the curve, and every parameter interval over which it stays perpendicular (arcs
 * centred on the point). Out: counts and arrays from BSdbgalloc (null when empty;
 * intervals are (start, end) pairs), parameters ascending. Returns TRUE exactly when
 * the status is 0. Statuses: 3 null argument; -2 bad curve; 33 scratch or result
 * allocation failed. */
KW_API BSboolean BSnormals(BSrc *rc, const BScurve *curve, const double *point, int32_t *num_params,
                           double **params, int32_t *num_intervals, double **intervals);
/* Scalar function for BSqnwt2: value at u; a non-zero *rc ends the iteration. */
typedef double (*BSqnwt2_function)(double u, void *context, BSrc *rc);
/* Root of f in [a, b] near start by secant steps kept inside the interval (wrapped
 * by the period b - a when periodic), bracketed once a sign change is seen.
 * Converged when |f| <= f_tol and the last step is below par_tol, or when a bracket
 * is narrower than par_tol. Out: *root and *iterations (max_iter when it did not
 * converge). Statuses: -2 b <= a or max_iter < 1; failures of f passed on. */
KW_API void BSqnwt2(BSqnwt2_function f, void *context, double a, double b, double start,
                    BSboolean periodic, double f_tol, double par_tol, int32_t max_iter,
                    double *root, int32_t *iterations, BSrc *rc);
/* Clamps a parameter into the curve domain [knots[order-1], knots[num_poles]].
 * Statuses: 3 null argument. */
KW_API void BSadjpar(const BScurve *curve, double param, double *adjusted, BSrc *rc);

/* ---- Interpolation through points (src/fit/) ---- */

/* Files: src/fit/direct.cpp (BSdirfitcv, BSlininter), src/fit/parametrise.cpp
 * (parameters, knots, matrix sizes), src/fit/ends.cpp (end tangents and poles),
 * src/fit/solve.cpp (band and periodic solves), src/fit/engine.cpp (BSfitratpts).
 * Points are consecutive groups of stride doubles (3 for curves); weighted points
 * are stored multiplied by their weights. End conditions: -1 the pole next to the
 * end is given, 0 the tangent is estimated from the points, 1 the tangent
 * direction is given, 3 natural end (second derivative zero). Fit orders are
 * 2..16. The work-area arguments of the solves are not read (each solve takes
 * its own scratch memory) and may be null. Common statuses: 3 a null required
 * pointer; -2 bad counts, order, mode or condition, or a NaN or infinite number;
 * 33 scratch memory exhausted. */

/* Curve of the given order through n points (n x 3) at chord-length or centripetal
 * parameters (centripetal when every chord is at least 1.0). Conditions 0
 * (estimated tangent) or 1 (start_tangent / end_tangent, 3 doubles each, read
 * only then, need not be unit). periodic: a closed periodic curve (first and last
 * points within dist_tol, n >= 4). curve (out): the caller's record with arrays
 * for n + order - 1 poles and n + 2 order - 1 knots; order 2 gives the polyline
 * (BSlininter). Points in a plane give poles exactly in it (planar 1), as do
 * collinear points whose poles span at most a plane; all points equal give the
 * point curve (BSptcvgen). An open fit whose end points coincide closes exactly
 * (phy_closed 1). Status -2: order outside 2..16, too few points (2 for order 2,
 * 3 open, 4 periodic), periodic ends apart, a zero or non-finite tangent,
 * non-finite points, conditions other than 0 or 1, coincident points of a
 * polyline; -1: consecutive points closer than the knot tolerance (coincident),
 * or a singular system; 33. On failure the record may be partly written. */
KW_API void BSdirfitcv(int32_t n, const double *points, int16_t order, int32_t start_condition,
                       int32_t end_condition, BSboolean periodic, const double *start_tangent,
                       const double *end_tangent, BScurve *curve, BSrc *rc);
/* Order-2 curve through *n >= 2 points (n x 3) into curve (arrays for n poles and
 * n + 2 knots); knots from the chord lengths normalised to [0, 1] (a chord shorter
 * than dist_tol takes half of its neighbour). normal (out): the line direction or
 * plane normal of the points (zero for points spanning space). End points within
 * dist_tol close the curve at their midpoint. Status -2: fewer than 2 points, all
 * points coincident, a short chord next to another short one, non-finite points.
 * Returns TRUE exactly on status 0. */
KW_API BSboolean BSlininter(BSrc *rc, const int32_t *n, const double *points, BScurve *curve,
                            double *normal);
/* Parameters and knots of a fit: unless skip_pars, parameters (pars, n out) of the
 * n points (n x 3, weights n or null) by BSavgprsfft and the knot tolerance
 * knot_tol / max(average length, 0.001), else pars are read and the tolerance is
 * knot_tol; unless skip_knots, knots (out, room for spans + 2 order - 1) and
 * *num_knots by BSkts_f_fit; otherwise, unless skip_spans, only span_index (n out)
 * on the knots given with *num_knots (in). Statuses of BSkts_f_fit. */
KW_API void BSktsprsfft(int32_t n, const double *points, const double *weights, int16_t order,
                        BSboolean periodic, int32_t spans, BSboolean skip_pars,
                        BSboolean skip_knots, BSboolean skip_spans, double *pars,
                        int32_t *num_knots, double *knots, int32_t *span_index, BSrc *rc);
/* Parameters in [0, 1] (pars, n out) of num_sets point sets of n points each (set j
 * starts at point j n; stride doubles per point, the first dim measured; weights,
 * one per point, or null): chord length, or centripetal when every set's chords are
 * all at least 1.0; averaged over the sets whose measure exceeds dist_tol (a single
 * degenerate set gets uniform parameters). *average (out): the mean measure of
 * those sets, 0 when none. order is checked (>= 2) only. Status -2, 49 (a zero
 * weight), 33. */
KW_API void BSavgprsfft(int32_t num_sets, int32_t n, const double *points, const double *weights,
                        int32_t stride, int32_t dim, int16_t order, double *average, double *pars,
                        BSrc *rc);
/* Cumulative chord measures (dists, n - 1 out) of n points (stride, dim, weights as
 * BSavgprsfft). *mode in/out: 0 chord lengths, 1 square roots of chord lengths
 * (centripetal), 2 chooses 0 when the smallest chord is below 1.0, else 1, and
 * writes the choice back. Status -2, 49. */
KW_API void BScumdstopt(int32_t n, const double *points, const double *weights, int32_t stride,
                        int32_t dim, int32_t *mode, double *dists, BSrc *rc);
/* Knots of a fit of the given order with `spans` spans through n ascending
 * parameters (method must be 4): clamped ends when open, interior knots at the
 * parameters (even orders) or between them (odd orders) when interpolating, else
 * spread over the parameters; periodic knot vectors wrap around the domain (odd
 * orders put the parameters at the middles of the spans). knots (out, room for
 * spans + 2 order - 1), *num_knots, span_index (n out). Status -2: bad method,
 * order, counts or parameters, or a periodic fit with one span; -1: the first or
 * last domain span, or two interpolated parameters, closer than knot_tol. */
KW_API void BSkts_f_fit(int16_t order, BSboolean periodic, int32_t method, double knot_tol,
                        int32_t spans, int32_t n, const double *pars, int32_t *num_knots,
                        double *knots, int32_t *span_index, BSrc *rc);
/* The fitting engine: poles (m x stride out) and, with point weights, weights (m
 * out) of a curve of the given order on the knots (m + order) through n points
 * (n x stride, weighted; point_weights n or null) at pars with span_index spans;
 * the first ncoord coordinates are fitted, the others of every pole are 0.
 * mode: 0 least squares, 1 end points interpolated, 2 end points interpolated and
 * the poles next to the ends from the conditions (start_vector, end_vector: stride
 * doubles, the tangent for condition 1, the pole for -1; null otherwise).
 * end_values: 5 doubles or null; the second and third are the weights of given
 * start and end poles of a weighted fit. Status -2: bad arguments, more unknowns
 * than equations, three points with coincident ends; -1: singular system; 49: a
 * fitted weight below 0.001 or a point weight not positive; 33. */
KW_API void BSfitratpts(int32_t n, const double *points, const double *point_weights,
                        const double *pars, const int32_t *span_index, int16_t order, int32_t m,
                        const double *knots, int32_t stride, int32_t ncoord, BSboolean periodic,
                        int32_t mode, int32_t start_condition, int32_t end_condition,
                        const double *start_vector, const double *end_vector,
                        const double *end_values, double *work_matrix, double *work_rhs,
                        double *work_band, double *poles, double *weights, BSrc *rc);
/* The pole (stride doubles out) next to the start (end 0) or end (end 1) of a fit:
 * condition -1 the given pole; otherwise on the end tangent (condition 1: given,
 * 0: estimated from three points) at 1.1 L / (order - 1) from the end point, L the
 * distance from the end point to the point polygon at the first (last) interior
 * knot. One coordinate (stride 1, a weight fit): a fixed step from the end value.
 * Weighted points are divided by their weights, the pole multiplied by
 * pole_weight. Status -2: a direction of no length, bad arguments; 49. */
KW_API void BSfndtnpol2(int32_t n, const double *points, const double *weights, const double *pars,
                        int16_t order, int32_t m, const double *knots, int32_t stride,
                        int32_t condition, int16_t end, double pole_weight, const double *given,
                        double *pole, BSrc *rc);
/* Unit tangent (out, 3) at a (end 0) or c (end 1) of three points: the mean of the
 * unit chord and the tangent of the circle through them; the chord when they are
 * collinear within dist_tol. Status -2: the end chord has no length. */
KW_API void BStanffit(int16_t end, const double *a, const double *b, const double *c,
                      double *tangent, BSrc *rc);
/* Banded least squares with fixed end poles: type 0..3 fix that many poles at each
 * end, 4 fixes (order - 1) / 2 + 1, 5/6/7 fix 2 with the natural condition at the
 * start/end/both. Rows: every point for type 0, points 1 .. n-2 otherwise. poles
 * (m x stride) in: the fixed poles, out: every pole (unchanged on failure).
 * Status -2: bad type or more unknowns than rows; -1: singular system; 33. */
KW_API void BSnpftwcns2(int32_t n, const double *points, const double *pars,
                        const int32_t *span_index, int16_t order, int32_t m, const double *knots,
                        int32_t stride, int32_t ncoord, int32_t type, double *work_matrix,
                        double *work_rhs, double *poles, BSrc *rc);
/* Periodic least squares of n points whose last repeats the first: the m - order + 1
 * distinct poles from n - 1 rows (points 1 .. n-1 for even orders, 0 .. n-2 for odd),
 * poles (m x stride out, pole i = pole i + m - order + 1). BSperiodfit solves the
 * dense system, BSprftwbsol a banded cyclic one (same result). Status -2: more
 * unknowns than rows, or one of each; -1: singular; 33. */
KW_API void BSperiodfit(int32_t n, const double *points, const double *pars,
                        const int32_t *span_index, int16_t order, int32_t m, const double *knots,
                        int32_t stride, int32_t ncoord, double *work, double *poles, BSrc *rc);
KW_API void BSprftwbsol(int32_t n, const double *points, const double *pars,
                        const int32_t *span_index, int16_t order, int32_t m, const double *knots,
                        int32_t stride, int32_t ncoord, double *work, double *poles, BSrc *rc);
/* Work-matrix sizes of a fit: periodic rows n - 1, columns m - order + 1; open
 * columns order (the band), rows n when rational or mode 0, else n - 2. Status -2:
 * n < 2, order < 2, m < order, mode outside 0..4. */
KW_API void BSftmatsz(BSboolean rational, int32_t n, int32_t m, int16_t order, BSboolean periodic,
                      int32_t mode, int32_t *rows, int32_t *cols, BSrc *rc);

/* ---- Circles and arcs (src/arcs/circles.cpp, src/arcs/arc_parameters.cpp) ---- */

/* Circles and arcs are quadratic rational B-splines written into a caller's record
 * whose poles, knots and weights arrays hold at least 7 poles (10 knots); nothing is
 * allocated. An arc has 1, 2 or 3 pieces of at most 120 degrees (3, 5 or 7 poles;
 * knots 0 0 0 [1/3 1/3 2/3 2/3 | 0.5 0.5] 1 1 1); a circle is 3 pieces of 120
 * degrees on an equilateral control triangle, phy_closed 1. Every piece has end
 * weights 1 and middle weight cos(piece angle / 2); poles are stored weighted. The
 * record gets order 3, periodic 0, non_uniform 1, rational 1, planar 1, no
 * boundaries (bdrys null). With unit normal N, start direction U (centre to start)
 * and V = N x U the curve runs from U toward V (counterclockwise seen from N).
 * Common statuses: 3 a null argument or null record array (the record untouched);
 * -2 a non-finite coordinate. On failure no output is written. The optional
 * type code receives 9 (a circular arc) on success. */

/* Circle about centre with radius *radius and normal normal (any length). Out:
 * curve, unit_normal (3 doubles, may be null), type (may be null). Statuses: -2
 * radius not above dist_tol; -6 a zero normal. */
KW_API BSboolean BSprepcirc(BSrc *rc, const double *centre, const double *radius,
                            const double *normal, BScurve *curve, double *unit_normal,
                            int32_t *type);
/* Circle about centre through start, with normal normal (made exactly perpendicular
 * to start - centre). Out as BSprepcirc. Statuses: -2 radius or |normal| not above
 * dist_tol, or start farther than dist_tol from the plane through centre normal to
 * normal. */
KW_API BSboolean BSprepcircp(BSrc *rc, const double *centre, const double *start,
                             const double *normal, BScurve *curve, double *unit_normal,
                             int32_t *type);
/* Circle of radius *radius about centre in a plane normal to z. Status -2: radius at
 * or below 0 or not above dist_tol. */
KW_API BSboolean BScirrdcr(BSrc *rc, const double *radius, const double *centre, BScurve *curve);
/* Arc from start about centre to end (moved along its ray onto the circle through
 * start: the last pole is that point), counterclockwise about normal. Out: curve,
 * unit_normal (the normal used, may be null), type (may be null). Statuses: -2
 * start, centre and end (moved) not pairwise distinct (squared distance above
 * dist_sqtol), a zero normal, or start or end farther than dist_tol from the plane
 * through centre normal to normal; -5 a sweep too small for a middle pole off the
 * chord (its distance from the chord midpoint at most 2.2e-14). */
KW_API BSboolean BSprepcarc(BSrc *rc, const double *start, const double *centre, const double *end,
                            const double *normal, BScurve *curve, double *unit_normal,
                            int32_t *type);
/* Arc from p1 through p2 to p3 (first and last poles exactly p1 and p3). Statuses: -7
 * collinear or coincident points (within dist_tol); those of BSprepcarc. */
KW_API BSboolean BSarc3pts(BSrc *rc, const double *p1, const double *p2, const double *p3,
                           BScurve *curve);
/* Circle through three points: centre (3 doubles), *radius and the unit normal
 * (p3 - p2) x (p1 - p2) (3 doubles). Statuses: -2 coincident or collinear points
 * (within dist_tol); 33 no scratch memory. */
KW_API BSboolean BScircprop(BSrc *rc, const double *p1, const double *p2, const double *p3,
                            double *centre, double *radius, double *normal);
/* Weights of a rational quadratic arc piece whose middle weight is cos(angle):
 * weights (3 doubles out) 1, cos(angle), 1 (for a piece of angle phi pass phi/2).
 * A null weights array is ignored. No status. */
KW_API void BSangweig(double angle, double *weights);
/* Parameter *u in [0, 1] of the point at angle (radians from the start, in the
 * sweep's direction; reduced modulo 2 pi) on an arc of sweep arc_angle built by
 * BSprepcarc (negative: clockwise; beyond 2 pi taken as 2 pi). Angles beyond the
 * arc give 1; piece joints give exactly k/n. Statuses: 3 null u; -2 a sweep below
 * 2.2e-15 or a non-finite argument. */
KW_API void BSangarctou(double arc_angle, double angle, double *u, BSrc *rc);
/* Angle and parameter of the point at vec (from the centre) on an arc starting at
 * start_vec with sweep arc_angle about normal (clockwise when negative). Out: *angle
 * (signed like arc_angle; an angle within dist_tol/|vec| of a full turn reads 0),
 * *on_arc 1 when the angle lies within the sweep plus dist_tol/|vec| (then the
 * angle is clamped to the sweep and *u is its parameter), else 0 with *u
 * untouched. Statuses: 3 null argument; -2 zero vectors, a sweep of no size or a
 * non-finite argument. */
KW_API void BSarcangpar(const double *normal, const double *start_vec, double arc_angle,
                        const double *vec, double *u, double *angle, int16_t *on_arc, BSrc *rc);
/* Position of point against the arc from start to end about centre, counterclockwise
 * about normal: *code 0 off the arc (off the plane or the circle by more than
 * dist_tol), 1 on it, 2 at the start, 3 at the end (within dist_tol); start and end
 * closer than dist_tol mean a full circle. tangents non-zero: start_tangent and
 * end_tangent stand in for the directions from the centre to the ends in the side
 * tests. Statuses: 3 null argument (the tangents only when tangents is set); -2 a
 * zero normal or start direction, or a non-finite argument. */
KW_API void BSptonarc(const double *centre, const double *start, const double *end,
                      const double *normal, int16_t tangents, const double *start_tangent,
                      const double *end_tangent, const double *point, int16_t *code, BSrc *rc);
/* Prepares the header of a quadratic conic record: order 3, periodic 0, non_uniform
 * 1, num_poles 0, num_knots 0, planar 1, phy_closed 0, no boundaries (bdrys null);
 * arrays and rational untouched. Status 3: null record, poles or knots. */
KW_API BSboolean BSconicgen0(BSrc *rc, BScurve *curve);

/* ---- Weights and reparametrisation (src/bspline/weights.cpp) ---- */

/* The end weights of a rational curve are brought to 1 by a rational-linear
 * reparametrisation of its end segments (w_i -> w_i c^i / s on a Bezier segment),
 * which keeps the curve's point set; the ends are clamped first. Results have no
 * boundaries. Common statuses: 3 a null record, array or output; -2 a bad record,
 * a curve that is not rational; 49 BSBADWEIGHT a weight at or below 0; 33 no
 * scratch memory. On failure the output is untouched. */

/* Both end weights of a single-segment curve (num_poles == order) to 1 into out
 * (arrays for order poles; may be curve itself). End weights within zero_tol^2 of 1
 * change nothing. Status -2: more than one segment. */
KW_API void BSchgewts(const BScurve *curve, BScurve *out, BSrc *rc);
/* One end weight (end 0: the start, otherwise the end) of a single-segment curve
 * to 1; out null or curve: in place. Status -2: more than one segment. */
KW_API void BSchgewtlr(BScurve *curve, BScurve *out, int32_t end, BSrc *rc);
/* Both end weights of a curve to 1: the weights are scaled by their mean, then the
 * first and last interior knots are inserted to multiplicity order - 1 (knot_tol
 * held at the curve knot tolerance) and the end segments reparametrised; end
 * weights equal within 1e-10 instead scale the whole curve. *out null: a new record
 * (release with BSfreeqelcv) with room for num_poles + 2 (order - 1) poles; else
 * *out must have that room. Statuses also those of the insertion; -13 no memory. */
KW_API void BSchgecvwts(const BScurve *curve, BScurve **out, BSrc *rc);
/* As BSchgecvwts for the chosen ends (end 0 start, 1 end, 2 both) without the
 * mean-weight scaling; with 2, end weights within basis_tol of each other scale the
 * whole curve instead. Status -2: end outside 0..2. */
KW_API void BSchgcvewlr(const BScurve *curve, int32_t end, BScurve **out, BSrc *rc);
/* Copies curve into out (may be the same record) with its domain mapped linearly
 * onto [a, b]: every knot and the 2 num_boundaries boundary values of the input,
 * written into out's own bdrys array (out->num_boundaries set to the input's).
 * Poles and weights unchanged. Statuses: 3 null out or out arrays, or boundaries
 * without a bdrys array in curve or out; -2 a bad record, a non-finite a or b, or
 * a >= b. */
KW_API void BSreparmcv(const BScurve *curve, double a, double b, BScurve *out, BSrc *rc);

/* ---- Joining curves (src/bspline/join.cpp) ---- */

/* A joined curve is clamped at both ends, periodic 0, non_uniform 1, without
 * boundaries, with a null weights pointer when not rational; the joint knot has
 * multiplicity order - 1 and the first curve's domain continues into the second's
 * (shifted). Ends meet when their unweighted poles are within dist_tol (squared
 * distance at most dist_sqtol). The result is built in scratch memory and written
 * into out (arrays provided by the caller) only on success, so out may be an
 * input. A curve is closed by its phy_closed flag. Common statuses: 3 a null
 * record, array or out; -2 a bad record; 49 a weight at or below 0; 33 no scratch
 * memory; 59 the result is complete but a degeneracy test of an input failed
 * (that input then counts as degenerate). */

/* *degenerate TRUE when the curve is a point: its unweighted poles coincide within
 * dist_tol/2 (not tested when a weight is below a quarter of the mean weight), or
 * its length over the whole domain is below dist_tol. Status 3: null flag. */
KW_API void BStstcvdegn(const BScurve *curve, BSboolean *degenerate, BSrc *rc);
/* Raw join of first and second (same order; first's clamped end meeting second's
 * clamped start) into out (room for nA + nB - 1 poles): first's poles, then
 * second's from the second on; weights scaled to agree at the joint. phy_closed 1
 * (end poles averaged) when neither input is degenerate and the result's ends
 * meet; planar from the plane test of the poles. Statuses: -1 different orders, or
 * ends farther apart than dist_tol; -6 either curve closed; -2 a joined end that is
 * not clamped. */
KW_API void BScomb2cvs(const BScurve *first, const BScurve *second, BScurve *out, BSrc *rc);
/* Join of two curves that meet at any ends: tried in the order end-start (as
 * given), end of second to start of first (both reversed), end-end (second
 * reversed), start-start (first reversed); the lower order is raised to the higher
 * (out then needs room for the raised pole count plus the other's, less one).
 * Statuses: -2 either curve closed; -1 no pair of ends meets; -13 no memory for the
 * working copies; those of BScomb2cvs. */
KW_API void BSmergecvnn(const BScurve *first, const BScurve *second, BScurve *out, BSrc *rc);
/* BSmergecvnn, then the result's knots normalised to [0, 1]. TRUE exactly on 0. */
KW_API BSboolean BSmerge_cv(BSrc *rc, const BScurve *first, const BScurve *second, BScurve *out);
/* BScomb2cvs, then the result's knots normalised to [0, 1]. TRUE exactly on 0. */
KW_API BSboolean BS2cvsto1(BSrc *rc, const BScurve *first, const BScurve *second, BScurve *out);
/* The part of curve between start and end (either order) into out (room for
 * num_poles + 2 order poles), knots normalised to [0, 1], running in the curve's
 * direction. On a closed curve (phy_closed) middle chooses the side: between start
 * and end the part between them, otherwise the part from the larger parameter over
 * the seam to the smaller. start and end within the curve knot tolerance with
 * middle between them: the point curve at their mean (BSptcvgen; out needs order
 * poles). Statuses: -2 a non-finite parameter; those of BSactivsplt and BScomb2cvs.
 * TRUE exactly on 0. */
KW_API BSboolean BSpartofcv(BSrc *rc, const BScurve *curve, double start, double middle, double end,
                            BScurve *out);

/* ---- Knot removal (src/bspline/knot_removal.cpp) ---- */

/* Smooth chain of J cubic Bezier pieces to the spline with simple interior knots.
 * in: num_pieces J, rows (values per point), pieces (piece-major, rows interleaved:
 * coefficient i of row r of piece j at ((j * rows + r) * 4 + i)), breaks (J + 1,
 * strictly increasing). out: poles (rows x (J + 3), row r at r * (J + 3)) of the
 * spline with knots breaks[0] (4 times), breaks[1..J-1], breaks[J] (4 times); the
 * pieces are taken to join C2 (a C2 chain is reproduced exactly). No status: NULL
 * arrays, J < 1, rows < 1 or breaks not strictly increasing write nothing. */
KW_API void BSrmvkts4(int32_t num_pieces, int32_t rows, const double *pieces, const double *breaks,
                      double *poles);
/* The same for quartic pieces joined C3: coefficients (j * rows + r) * 5 + i, poles
 * rows x (J + 4). Status: 3 NULL array; -2 J < 1, rows < 1, breaks not finite and
 * strictly increasing (poles untouched). */
KW_API void BSrmvkts5(int32_t num_pieces, int32_t rows, const double *pieces, const double *breaks,
                      double *poles, BSrc *rc);
/* Removes one copy of the knot value knots[r] by least squares of the insertion
 * relations. r may name any copy: the run of knots within knot_tol of it is
 * measured in both directions. A rational curve is reduced in homogeneous space and
 * stays rational. in: curve, r. out: *out (arrays owned by the caller with room for
 * curve->num_poles poles, knots and, rational, weights; may be the input record):
 * the reduced curve (order, flags copied; non_uniform 1 unless a single span; no
 * boundaries); error (3 doubles): per coordinate a bound on the curve's change (the
 * absolute residual of the system; rational: scaled by the pole size and weights).
 * A run touching the end knots, r outside k..n-1, or a run of k or more copies (a
 * break) is not removed: status 0, *out a copy of the input, error 0.
 * Status: 3 NULL curve, out, error or arrays; -2 invalid curve; -5 degenerate
 * system; 33 scratch. */
KW_API void BSrm_kt_app(const BScurve *curve, int32_t r, BScurve *out, double *error, BSrc *rc);
/* Chooses q knots to remove among the num_knots - order knots from index order on.
 * in: knots, order, num_knots, classes (one class number per candidate), class_sizes
 * (size of each class in ascending class number), num_classes, q. out: removed (q
 * knot values): whole classes in ascending class number while they fit, then an
 * evenly spread subset of the first class that does not (element
 * floor((j - 0.5)(c + 1) / m + 0.5) of c, j = 1..m). q = number of candidates
 * returns them all (classes not read). Status: 3 NULL array; -2 order < 1, no
 * candidates, q outside 0..candidates, class sizes inconsistent with the classes;
 * 33 scratch. removed untouched on failure. */
KW_API void BSknot_rem2(const double *knots, int16_t order, int32_t num_knots,
                        const int32_t *classes, const int32_t *class_sizes, int32_t num_classes,
                        int32_t q, double *removed, BSrc *rc);
/* Removes every interior knot copy it can while the curve stays within tolerance
 * of the input (a guaranteed bound over the whole domain, not a sampled one); knots
 * are compared with the curve knot tolerance (knot_tol is set to it during the call
 * and restored). in: curve, tolerance (>= 0, distance). out: *out (arrays owned by
 * the caller with room for curve->num_poles poles, knots and weights): the reduced
 * curve. Status: 3 NULL curve, out or arrays; -2 invalid curve or tolerance not
 * finite and >= 0; 33 scratch; *out untouched on failure. */
KW_API void BSrmktsnchg(const BScurve *curve, double tolerance, BScurve *out, BSrc *rc);
/* Reduces every interior run of knots equal within 1e-12 to a single knot, in
 * place, by least-squares removal of the extra copies (exact where the curve is
 * smooth enough there; a run of order or more copies first merges the two poles at
 * the break into their mean). in: order, dim (1..64). in/out: poles (n poles of dim
 * doubles, pole-major, n = *num_knots - order), knots, *num_knots. Status: 3 NULL
 * array; -2 order < 2, dim outside 1..64, n < order, knots not finite and
 * ascending, empty domain, non-finite poles; -5 degenerate system; 33 scratch;
 * arrays untouched on failure. */
KW_API void BSrmnknot_b(int16_t order, int32_t dim, double *poles, double *knots,
                        int32_t *num_knots, BSrc *rc);

/* ---- Polynomial bases: tables (src/bases/tables.cpp) ---- */

/* Change-of-basis tables, generated at load from their rules and read-only for
 * callers. Parity-split packed rows: row k holds the coefficient of target basis
 * function k in the source functions k, k + 2, ... up to the table's maximum
 * degree M (floor((M - k) / 2) + 1 entries), the rows packed one after another;
 * out_k = sum_j row_k[j] * in_(k+2j). P Legendre, T and U Chebyshev of the first
 * and second kind, all on [-1, 1] with P_k(1) = T_k(1) = 1. */
/* x^k in P_k, P_(k+2), ...: even triangle (rows x^0, x^2, ... x^62 in P up to P_62,
 * 32 rows of 32 - r entries) then the odd one (x^1 ... x^63): 2 x 528 doubles. */
KW_API extern double BSgloballgdcan[1056];
/* T_k in P_k, P_(k+2), ... up to P_325: 26732 doubles. */
KW_API extern double BSgloballgdtch[26732];
/* P_k in T_k, T_(k+2), ... up to T_325: 26732 doubles. */
KW_API extern double BSglobaltchlgd[26732];
/* T_k in x^k, x^(k+2), ...: two triangles laid out as BSgloballgdcan. */
KW_API extern double BSglobalcantch[1056];
/* x^k in T_k, T_(k+2), ... up to T_41: 462 doubles. */
KW_API extern double BSglobaltchk1can[462];
/* x^k in U_k, U_(k+2), ... up to U_41: 462 doubles. */
KW_API extern double BSglobaltchk2can[462];
/* Rows k = 1 .. 320: P_k(x) in P_k((x+1)/2), P_(k+2)((x+1)/2), ...: 25760 doubles. */
KW_API extern double BSglobalcstlgdp[25760];
/* Rows k = 0 .. 319: P_k(x) in P_(k+1)((x+1)/2), P_(k+3)((x+1)/2), ... up to
 * P_320 (floor((320 - k - 1) / 2) + 1 entries): 25760 doubles. */
KW_API extern double BSglobalcstlgdm[25760];
/* 16 x 16 row-major: entry (p, n) = C(max(p, n), min(p, n)). */
KW_API extern double BScnp[256];
/* Rows n = 0 .. 20 packed (n + 1 entries): entry (n, p) = 1 / (p! (n - p)!). */
KW_API extern double BScnpn[231];
/* Gauss-Legendre nodes (roots of P_n, ascending) of the rules with 4, 8, 12, 16,
 * 20, 40, 80, 160 and 320 points one after another (offsets 0, 4, 12, 24, 40, 60,
 * 100, 180, 340): 660 doubles. */
KW_API extern double BSglobalintnodes[660];
/* Their weights for the non-negative nodes, n/2 per rule in the order of those
 * nodes (offsets 0, 2, 6, 12, 20, 30, 50, 90, 170): 330 doubles. */
KW_API extern double BSglobalintweights[330];
/* Degree limits of the tables. */
KW_API extern const int32_t BSglobalmaxdegcstlgd;   /* 320 */
KW_API extern const int32_t BSglobalmaxdeglgdtch;   /* 325 */
KW_API extern const int32_t BSglobalmaxdegtchlgd;   /* 325 */
KW_API extern const int32_t BSglobalmaxdegtchk1can; /* 41 */
KW_API extern const int32_t BSglobalmaxdegtchk2can; /* 41 */
KW_API extern const int32_t BSglobalmaxdeginttab;   /* 320: largest Gauss-Legendre rule */
/* Table module entry points; they do nothing. */
KW_API void BSglobals(void);
KW_API void BSlgdcantab(void);
KW_API void BScnptab(void);
KW_API void BScnpntab(void);
KW_API void BSlgdtchtab(void);
KW_API void BScstlgdata(void);
KW_API void BStchcantab(void);
KW_API void BStchlgdtab(void);
/* Out: *nodes points at the n ascending nodes of the Gauss-Legendre rule with n
 * points (inside BSglobalintnodes). Statuses: 3 null nodes; -2 n not one of 4, 8,
 * 12, 16, 20, 40, 80, 160, 320 (*nodes untouched). */
KW_API void BSextrtlgd(int32_t n, const double **nodes, BSrc *rc);

/* ---- Polynomial bases: conversions (src/bases/conversions.cpp) ---- */

/* Series of degree n are n + 1 doubles, basis function 0 first; multi-component
 * data holds all n + 1 coefficients of component 0, then component 1, ...
 * Legendre, Chebyshev and "local power" series live on [-1, 1]; Bezier
 * coefficients and power forms in t on [0, 1] (x = 2t - 1). Unless said otherwise
 * input and output must not overlap, outputs are written only on success, and
 * every routine with a status gives 3 for a null array, -2 for a degree or count
 * outside its range and -2 for a non-finite coefficient. */

/* Legendre -> power on [-1, 1], 0 <= n <= 63. In: n + 1 coefficients l; out: c. */
KW_API void BSlgdtcan(int32_t n, const double *l, double *c, BSrc *rc);
/* Power -> Legendre on [-1, 1], 0 <= n <= 127 (-2 above). */
KW_API void BScantlgd(int32_t n, const double *c, double *l, BSrc *rc);
/* Kernel of BScantlgd, 0 <= n <= 127 (nothing is written otherwise): even holds
 * c_0, c_2, ... (n/2 + 1 values), odd c_1, c_3, ... ((n + 1)/2 values); the
 * Legendre coefficients come out split the same way. No status. */
KW_API void BScantlgdp(int32_t n, const double *even, const double *odd, double *even_out,
                       double *odd_out);
/* Legendre -> Chebyshev and back, 0 <= n <= 325. */
KW_API void BSlgdttch(int32_t n, const double *l, double *t, BSrc *rc);
KW_API void BStchtlgd(int32_t n, const double *t, double *l, BSrc *rc);
/* Bezier on [0, 1] -> Legendre on [-1, 1] for each of dim components (dim >= 1),
 * 0 <= n <= 319: the exact change of basis (Gauss quadrature exact for degree 2n)
 * carried in extended precision, so l is within a few ulps of the exact series.
 * Round trip Bezier -> Legendre -> Bezier: as functions the rows agree to
 * rounding at every degree, but the Bezier coefficients themselves are
 * ill-conditioned in the Legendre coefficients (the return map grows like 2^n):
 * measured on coefficients in [-1, 1], the largest coefficient change is below
 * 1e-15 up to degree 7, 6e-15 at 15, 4e-14 at 16, 4e-9 at 31 and of order 1 at 63
 * (about 2^n * 5e-19). Statuses add 33 when scratch fails (n above 254). */
KW_API void BSbeztolgd(int32_t n, int32_t dim, const double *b, double *l, BSrc *rc);
/* Legendre -> Bezier (one component), 0 <= n <= 319, degree by degree in extended
 * precision. 33 when scratch fails (n above 254). */
KW_API void BSlgdtbez(int32_t n, const double *l, double *b, BSrc *rc);
/* Power in t on [0, 1] -> Bezier, n >= 0 (-2 above 1000). c and b may be the same. */
KW_API void BScantbez(int32_t n, const double *c, double *b, BSrc *rc);
/* Bezier -> power in t on [0, 1]; c and b may be the same. No status; nothing for
 * n < 0 or n > 1000. */
KW_API void BSbeztocan(int32_t n, const double *b, double *c);
/* Bezier on [0, 1] -> power in u = 2t - 1 for dim components. No status; nothing
 * for n < 0, n > 1000 or dim < 1. b and c may be the same. */
KW_API void BSbeztocan1(int32_t dim, int32_t n, const double *b, double *c);
/* Local power in u -> Bezier on [0, 1] for count pieces of n + 1 coefficients.
 * count >= 0, 0 <= n <= 1000; c and b may be the same. */
KW_API void BScantobez1(int32_t count, int32_t n, const double *c, double *b, BSrc *rc);
/* Curve record of a polynomial curve given in local power form: dim rows (1..4,
 * row k coordinate k; with dim 4 the last row is the weight function and the
 * others are weighted) of degree + 1 coefficients in u in [-1, 1]; the curve is
 * p(2t - 1) on knots [0, 1]. The record must hold room for degree + 1 poles,
 * 2 (degree + 1) knots and, for dim 4, degree + 1 weights. Statuses: 3 null
 * argument or record array; -2 dim outside 1..4, degree outside 1..1000 or a
 * non-finite coefficient; 33 scratch failure (record unchanged). */
KW_API void BScan2qelbs(int32_t dim, int32_t degree, const double *coefs, BScurve *curve, BSrc *rc);
/* Taylor form of one span of an array-form spline of degree n with num_poles
 * poles in dim coordinate-major rows: out receives dim rows of n + 1 power
 * coefficients in u in [-1, 1], u = (t - m) / (h / 2) about the span middle m,
 * h = knots[span + 1] - knots[span]. Statuses: 3 null array; -2 n < 1, dim < 1,
 * span outside n .. num_poles - 1, or an empty span; 33 scratch failure. */
KW_API void BSspantocan(int32_t n, int32_t num_poles, int32_t dim, const double *poles,
                        const double *knots, int32_t span, double *out, BSrc *rc);

/* ---- Polynomial bases: evaluation (src/bases/evaluation.cpp) ---- */

/* Routines without a status never fail: a negative degree or a null coefficient
 * array gives the value 0, a null output is ignored. */

/* *value = p(x) by Horner; 0 for n < 0. */
KW_API void BShorncan(int32_t n, const double *c, double x, double *value);
/* p(re + i im) by complex Horner into *value_re, *value_im. */
KW_API void BShorncanc(int32_t n, const double *c, double re, double im, double *value_re,
                       double *value_im);
/* p(x) and p(-x) from one pass over the even and odd parts. */
KW_API void BShorncansy(int32_t n, const double *c, double x, double *plus, double *minus);
/* Legendre series at x by Clenshaw's recurrence; the plain sum at x = 1 and the
 * alternating sum at x = -1. */
KW_API void BShornlgd(int32_t n, const double *l, double x, double *value);
/* values[i] = p^(i)(x), i = 0 .. d (d + 1 values; 0 above the degree). */
KW_API void BShorn_pd(int32_t n, int32_t d, const double *c, double x, double *values);
/* Polynomial patch p(u, v) = sum c[i (dv + 1) + j] u^i v^j and its partial
 * derivatives: out[a (d + 1) + b] = d^(a+b) p / du^a dv^b for a, b = 0 .. d
 * ((d + 1)^2 values). Statuses: 3 null array; -2 a degree or d outside 0..1000
 * or non-finite u, v; 33 scratch failure. */
KW_API void BShorn_pd2(int32_t du, int32_t dv, int32_t d, const double *coefs, double u, double v,
                       double *out, BSrc *rc);
/* BShorn_pd2 for count patches of (du + 1)(dv + 1) coefficients one after another;
 * results interleaved by patch: out[(a (d + 1) + b) count + patch]. count 0 does
 * nothing. Statuses as BShorn_pd2 (-2 also for count < 0). */
KW_API void BShorneval(int32_t du, int32_t dv, int32_t count, int32_t d, const double *patches,
                       double u, double v, double *out, BSrc *rc);
/* d_(k-1) = k c_k: the derivative (n values) of a power form; nothing for n <= 0. */
KW_API void BSdercanpol(int32_t n, const double *c, double *d);
/* First derivative (n values, degree n - 1) of a Legendre series; d may be l. */
KW_API void BSderlgdpol(int32_t n, const double *l, double *d);
/* k-th derivative of each of dim Legendre components: out dim components of
 * n - k + 1 values. Statuses: 3 null array; -2 n < 0, dim < 1, k < 0, k > n or a
 * non-finite coefficient; 33 scratch failure. */
KW_API void BSdercvlgd(int32_t n, int32_t dim, const double *l, int32_t k, double *out, BSrc *rc);
/* k-th derivative of a Legendre series at x (0 when k > n). Statuses: 3 null
 * array; -2 n < 0, k < 0, non-finite x or coefficient; 33 scratch failure. */
KW_API void BSevalgder(int32_t n, const double *l, int32_t k, double x, double *value, BSrc *rc);
/* The same with respect to t on the interval ab[0] .. ab[1] (x = 2(t - a)/(b - a)
 * - 1, derivative scaled by (2/(b - a))^k). -2 also for b = a or a non-finite
 * interval or t. */
KW_API void BSevalgderab(int32_t n, const double *l, const double *ab, int32_t k, double t,
                         double *value, BSrc *rc);

/* ---- Polynomial bases: series arithmetic (src/bases/arithmetic.cpp) ---- */

/* Degrees of the general routines are limited to 0..1000 (-2 beyond); outputs
 * must not overlap inputs unless said. Statuses: 3 null array; -2 degree outside
 * its range or a non-finite coefficient; 33 scratch failure. */

/* Product of two Legendre series: da + db + 1 coefficients, exact linearisation. */
KW_API void BSprodpolgd(int32_t da, int32_t db, const double *a, const double *b, double *out,
                        BSrc *rc);
/* Legendre series (da + db + 1 values) of sum m_ij P_i P_j, m row-major
 * ((da + 1) rows of db + 1 values, row i for the index of a). */
KW_API void BSmtrlgdlgd(int32_t da, int32_t db, const double *m, double *out, BSrc *rc);
/* Product of two Chebyshev series (da + db + 1 values); a negative degree is the
 * zero series (nothing written, status 0). */
KW_API void BSprodtch(int32_t da, const double *a, int32_t db, const double *b, double *out,
                      BSrc *rc);
/* Quotient a/b of two Legendre series, sampled at the 320 Gauss-Legendre nodes,
 * projected and truncated: *degree (at most 319, -1 for a zero quotient) and
 * q (degree + 1 values; room for 320). The truncation drops trailing coefficients
 * whose tail sum is at most 1e-14 times the coefficient sum, and every trailing
 * coefficient that lies within the rounding noise of the sampled values, so a
 * series divided by itself gives degree 0. Statuses add -5 when b vanishes at a
 * node. */
KW_API void BSdivlgdlgd(int32_t da, const double *a, int32_t db, const double *b, int32_t *degree,
                        double *q, BSrc *rc);
/* The same for power forms in x on [-1, 1]; q is the power form. Statuses add -1
 * when the truncated quotient has degree above 63 (outputs untouched). */
KW_API void BSdivcancan(int32_t da, const double *a, int32_t db, const double *b, int32_t *degree,
                        double *q, BSrc *rc);
/* Quotient q (n values, degree n - 1) of a Legendre series by (x - a); the
 * remainder is dropped. q may be l. Nothing for n <= 0. */
KW_API void BSlgddivxa(int32_t n, const double *l, double a, double *q);
/* Discrete Legendre projection: values at the n nodes of a tabulated Gauss rule
 * (ascending), n coefficients c_k = (2k + 1)/2 sum w_i f(x_i) P_k(x_i). -2 when n
 * is not 4, 8, 12, 16, 20, 40, 80, 160 or 320. */
KW_API void BShifit(int32_t n, const double *values, double *coefs, BSrc *rc);
/* Halves of a Legendre series, 0 <= n <= 320: left p((x - 1)/2), right
 * p((x + 1)/2), n + 1 values each; either may be l. */
KW_API void BShlfcpolgd(int32_t n, const double *l, double *left, double *right, BSrc *rc);
/* Halves of a power form in x on [-1, 1] (n + 1 values each): left p((x - 1)/2)
 * and right p((x + 1)/2). -2 also when an output is c. */
KW_API void BShlfcpocan(int32_t n, const double *c, double *left, double *right, BSrc *rc);
/* Column-major (n + 1) x (n + 1) matrix m: column k holds the Legendre
 * (BStablgdel1) or Chebyshev (BStabtchab) coefficients of B_k(alpha x + beta).
 * Nothing for n outside 0..1000. No status. */
KW_API void BStablgdel1(int32_t n, double alpha, double beta, double *m);
KW_API void BStabtchab(int32_t n, double alpha, double beta, double *m);
/* Series of p(((b - a)/2) x + (a + b)/2): p restricted to [a, b] and re-expanded on
 * [-1, 1], for Legendre, Chebyshev and power forms; out may be the input. */
KW_API void BSlimlgdab(int32_t n, const double *l, double a, double b, double *out, BSrc *rc);
KW_API void BSlimtchab(int32_t n, const double *t, double a, double b, double *out, BSrc *rc);
KW_API void BSlimcanab(int32_t n, const double *c, double a, double b, double *out, BSrc *rc);

/* ---- Polynomial bases: truncation (src/bases/truncation.cpp) ---- */

/* New degrees: -1 means the series is zero within the tolerance; a negative
 * tolerance keeps the degree. The vector routines take n = -1 (zero series) and
 * give status 3 for a null array, -2 for dim < 1, n < -1, a NaN tolerance or a
 * non-finite coefficient. */

/* Largest m with sum_(i=m..n) |l_i| > tol (-1 when none). No status. */
KW_API void BStrunclgd(int32_t n, const double *l, double tol, int32_t *degree);
/* Vector truncation of dim components: from the top, the Euclidean norm of each
 * coefficient vector above 1e-15 times the norm of all coefficients joins the
 * tail; the first index where the tail exceeds tol is the new degree. When out is
 * not null the first degree + 1 coefficients of every component are copied to
 * *out (taken from result memory, BSdbgalloc, when *out is null; nothing when the
 * degree is -1). Status -13 when that memory is short. Trace name "BSlgdcvint". */
KW_API void BStruncvlgd(int32_t n, int32_t dim, const double *c, double tol, int32_t *degree,
                        double **out, BSrc *rc);
/* As BStruncvlgd with the floor 1e-14 times the sum of all magnitudes. */
KW_API void BStruncvlgd0(int32_t n, int32_t dim, const double *c, double tol, int32_t *degree,
                         double **out, BSrc *rc);
/* In place, no allocation: the tail is the plain sum of all components'
 * magnitudes at the dropped indices; c is compacted to dim components of
 * degree + 1 values. */
KW_API void BStruncvlgf(int32_t n, int32_t dim, double *c, double tol, int32_t *degree, BSrc *rc);
/* As BStruncvlgf with Euclidean norms, norms below 1e-30 ignored, and never below
 * min(min_degree, n). */
KW_API void BStruncvlgm(int32_t n, int32_t dim, double *c, double tol, int32_t min_degree,
                        int32_t *degree, BSrc *rc);
/* Composite series: count segments of dim components of n + 1 values one after
 * another; each is scanned as by BStruncvlgd and all are compacted in place to the
 * largest new degree. -2 also for count < 1. */
KW_API void BStruncmlgd(int32_t count, int32_t n, int32_t dim, double *c, double tol,
                        int32_t *degree, BSrc *rc);
/* Rational series, the last of dim >= 2 components the weight: the tolerance is
 * scaled to tol w_lo / (1 + A / w_lo) (w_lo = |w_0| - sum_(k>0) |w_k| bounds the
 * weight below, A the largest numerator magnitude sum) so the rational function
 * moves by at most about tol; when w_lo <= 0 the degree is kept. Then as
 * BStruncvlgf (in place). */
KW_API void BStruncrlgf(int32_t n, int32_t dim, double *c, double tol, int32_t *degree, BSrc *rc);

/* ---- Arc length (src/arcs/arc_length.cpp) ---- */

/* Lengths integrate the speed of each span's Taylor form with Gauss-Legendre rules
 * of 4, 12, 20, 40, 80 and 160 points until two agree within the span's share of
 * the tolerance, halving a span when none does; a curve whose poles lie in order
 * on one line (within dist_tol) is measured exactly as the distance of its end
 * points. Common statuses: 3 null argument or record array; -2 bad record (shape,
 * non-finite or decreasing knots, non-finite poles, order above 64), parameters
 * outside the domain or non-finite; 49 a weight not above zero; -1 more than 30
 * halvings; 33 scratch failure. Outputs are written only on success. */

/* Sum of w_i (f(-x_i) + f(x_i)) over the n-point Gauss-Legendre rule (n one of 4,
 * 8, 12, 16, 20, 40, 80, 160, 320, else -2): values holds f(-x_i) at n/2 - 1 - i and
 * f(x_i) at n/2 + i. -2 also for a non-finite sum. */
KW_API void BSintegval(int32_t n, const double *values, double *integral, BSrc *rc);
/* Length of a whole polynomial (BSarclg3ds) or rational (BSarclg4ds) curve to the
 * absolute tolerance tol (> 0, else -2); -2 for the wrong kind of record. */
KW_API void BSarclg3ds(const BScurve *curve, double tol, double *length, BSrc *rc);
KW_API void BSarclg4ds(const BScurve *curve, double tol, double *length, BSrc *rc);
/* Length between *p1 and *p2 (either order) to arclen_tol. Parameters closer than
 * the local knot tolerance give 0. On a physically closed curve a middle parameter
 * outside [min, max] measures the way across the joint. Returns the length (also
 * in *length) and *ok TRUE; on failure the largest double and *ok FALSE. */
KW_API double BSarclen(BSrc *rc, BSboolean *ok, const BScurve *curve, const double *p1,
                       const double *p2, const double *middle, double *length);
/* BSarclen from *start to *end with the middle halfway. Returns TRUE exactly when
 * the status is 0. */
KW_API BSboolean BSarclength(BSrc *rc, const BScurve *curve, const double *start, const double *end,
                             double *length);
/* Parameter at *length along the curve from *start: toward the domain end when
 * *direction > *start, else toward the domain start. A closed curve is walked on
 * past its seam in the same direction. The full available length gives exactly
 * the end parameter. Status 9 (result FALSE): more than dist_tol beyond the end
 * of an open curve. Returns TRUE exactly when the status is 0. */
KW_API BSboolean BSiarcln(BSrc *rc, const BScurve *curve, const double *start, const double *length,
                          const double *direction, double *param);
/* The solver of BSiarcln: *available is the length from *start to *limit. Regula
 * falsi with the Illinois step until |L(start, u) - length| < dist_tol or the
 * bracket is below the curve knot tolerance. Statuses as BSiarcln. */
KW_API BSboolean BSiarcln2(BSrc *rc, const BScurve *curve, const double *available,
                           const double *start, const double *length, const double *limit,
                           double *param);
/* Reparametrises a curve in place over [0, 1] by the control-polygon lengths of its
 * segments between knots of multiplicity order - 1 (a segment shorter than dist_tol
 * counts 100 knot tolerances); interior knots follow their segment linearly. A
 * single span is left as it is. -6 when the whole polygon has no length. */
KW_API void BSarclnparc(BSrc *rc, BScurve *curve);
/* Integral of the speed |C'(u)| over [a, c] (c < a gives the negative) with
 * relative accuracy arclen_tol. context is the curve (const BScurve *). b, fa, fb,
 * fc, simpson and error_limit are accepted for compatibility and not used; out:
 * *error the accuracy aimed at, *tol unchanged, *state 0, *result and the return
 * value the integral, *ok TRUE. On failure the largest double and *ok FALSE. */
KW_API double BSnquad(BSrc *rc, BSboolean *ok, const void *context, double a, double b, double c,
                      double fa, double fb, double fc, double simpson, double *error,
                      double error_limit, double *tol, int16_t *state, double *result);

/* ---- Curve-curve intersection (src/query/curve_curve.cpp, curve_curve_pieces.cpp) ---- */

/* Curves are validated records of order 2 to 16 (weights positive, every number
 * finite, Cartesian poles within 1e150); a record that fails gives 3 for a null
 * record or array and -2 otherwise. A span record is a curve with num_poles ==
 * order (one span; any end knots). An intersection is a point (3 doubles) with a
 * parameter on each curve; an overlap is a stretch where the curves coincide within
 * dist_tol: its start and end points (6 doubles), a parameter pair on each curve,
 * with the parameter on the caller's first curve increasing. */

/* All intersections and overlaps of two curves.
 * in:  curve1, curve2; by_curve1: 0 drops an intersection inside an overlap only
 *      when both its parameters lie in the overlap's ranges and merges coincident
 *      intersections only when both curves stay at the point between their
 *      parameters (a curve passing twice through one point gives two results);
 *      non-zero: the parameter on curve 1 alone decides the drop and coincident
 *      points merge. int_cap, over_cap: room of the caller's buffers (0: none).
 *      int_pts (int_cap points), int_par1, int_par2 (int_cap doubles each);
 *      over_pts (over_cap point pairs), over_par1, over_par2 (over_cap pairs), all
 *      caller-owned; null allowed when the capacity is 0.
 * out: *num_int, *num_over. When a count exceeds its capacity the arrays come from
 *      BSdbgalloc instead (the caller frees each with BSdbgfree): *int_alloc TRUE and
 *      *a_int_pts, *a_int_par1, *a_int_par2 (likewise *over_alloc and the three
 *      overlap arrays). All counts, flags and pointers out are zeroed first.
 *      Intersections come sorted by their parameter on curve 1; on a physically
 *      closed curve a result at the seam carries the start parameter.
 * Statuses: 3 a null curve, record array, count, flag or pointer out, or a null
 * buffer with a positive capacity; -2 a bad record or a negative capacity; -13
 * result memory (nothing allocated, counts 0); 33 scratch memory; -1 more than 256
 * distinct results from one pair of spans. */
KW_API void BScvcvint(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                      int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                      double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                      int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                      BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                      double **a_int_par2, double **a_over_pts, double **a_over_par1,
                      double **a_over_par2, BSrc *rc);
/* BScvcvint for two segments (order 2, two poles each; -2 otherwise): crossing
 * point, or the overlap of collinear segments. */
KW_API void BSlnln_int(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                       int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                       double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                       int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                       BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                       double **a_int_par2, double **a_over_pts, double **a_over_par1,
                       double **a_over_par2, BSrc *rc);
/* BScvcvint for two polylines (order 2; -2 otherwise): crossings, and overlaps of
 * collinear legs merged across vertices. */
KW_API void BSlsls_int(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                       int32_t int_cap, int32_t over_cap, double *int_pts, double *int_par1,
                       double *int_par2, double *over_pts, double *over_par1, double *over_par2,
                       int32_t *num_int, int32_t *num_over, BSboolean *int_alloc,
                       BSboolean *over_alloc, double **a_int_pts, double **a_int_par1,
                       double **a_int_par2, double **a_over_pts, double **a_over_par1,
                       double **a_over_par2, BSrc *rc);
/* Intersections of two span records with classes 1 (point), 2 (segment) or 3
 * (general) (-2 otherwise): two points compare their pole averages, all other pairs
 * go to BSbzbz_int. out: *count results into points (3 doubles each), par1, par2
 * (parameters on the records' ranges); the caller gives room for 256 results. With
 * *overlap TRUE the two results are the ends of one overlap. Statuses as BSbzbz_int. */
KW_API void BSxspnspn(const BScurve *span1, const BScurve *span2, int16_t class1, int16_t class2,
                      int32_t *count, double *points, double *par1, double *par2,
                      BSboolean *overlap, BSrc *rc);
/* Intersections of two span records: end coincidences (an end of either span lying
 * on the other), then, unless two of them bound a common stretch (an overlap: count
 * 2, *overlap TRUE), the interior crossings and tangencies, ascending on span 1.
 * Output as BSxspnspn. Statuses: 3 null argument; -2 bad record or not a single
 * span; -1 more than 256 distinct results. */
KW_API void BSbzbz_int(const BScurve *span1, const BScurve *span2, int32_t *count, double *points,
                       double *par1, double *par2, BSboolean *overlap, BSrc *rc);
/* Newton iteration to a common point of two curves from (*u1, *u2) (clamped into
 * the domains), at most 10 steps; a closed curve's parameter wraps by its range (at
 * most 5 times), an open one is clamped. *converged TRUE when both steps fell below
 * ptol1, ptol2 and the points lie within dist_tol; only then are *u1, *u2 written.
 * mid (3 doubles) gets the middle of the last two points. Parallel tangents end the
 * iteration unconverged. Statuses: 3 null argument; -2 bad record, a non-finite
 * parameter or a negative tolerance; evaluation failures. */
KW_API void BScvcviter(const BScurve *curve1, const BScurve *curve2, BSboolean closed1,
                       BSboolean closed2, double ptol1, double ptol2, double *u1, double *u2,
                       double *mid, BSboolean *converged, BSrc *rc);
/* Merge of end results and interior results: an interior result within dist_tol
 * (1000 dist_tol when loose) of an end result is dropped; the rest are merged by
 * ascending parameter 1 (end results at most equal come first). in: num_ends end
 * points / par1 / par2, num_inner interior ones. out: *count results into points,
 * par1, par2 (room for num_ends + num_inner). Statuses: 3 null argument; -2 negative
 * count; 33 scratch memory. */
KW_API void BScvcv_comb(int32_t num_ends, int32_t num_inner, BSboolean loose,
                        const double *end_points, const double *inner_points,
                        const double *end_par1, const double *end_par2, const double *inner_par1,
                        const double *inner_par2, int32_t *count, double *points, double *par1,
                        double *par2, BSrc *rc);
/* Whether two span records coincide (within dist_tol) between the common points at
 * par1[0] / par2[0] and par1[1] / par2[1] (parameters on the records' ranges), by
 * samples projected both ways. *overlap FALSE when the two points coincide.
 * Statuses: 3 null argument; -2 bad record, not a single span, or a parameter
 * outside its range. */
KW_API void BSbzoverlap(const BScurve *span1, const BScurve *span2, const double *par1,
                        const double *par2, BSboolean *overlap, BSrc *rc);
/* Common part of the collinear segments a0-a1 and b0-b1 (3 doubles each), as the
 * points start and end on a0-a1. TRUE when it is longer than fine_dist_tol. Statuses:
 * 3 null argument; -2 a coordinate not finite or beyond 1e150. */
KW_API BSboolean BSoverlap(BSrc *rc, const double *a0, const double *a1, const double *b0,
                           const double *b1, double *start, double *end);
/* Intersection of a curve that is a point (its pole average) with another curve of
 * class other_class (1, 2 or 3; -2 otherwise). out: *count 0 or 1; point, the middle
 * parameter of the point curve, the parameter on the other curve (set onto an end
 * within its knot tolerance). Statuses: 3 null argument; -2 bad record; 33 scratch. */
KW_API void BSptcv_int(const BScurve *point_curve, const BScurve *other, int16_t other_class,
                       int32_t *count, double *point, double *par_point, double *par_other,
                       BSrc *rc);
/* Derivatives of half the squared distance |C1(u1) - C2(u2)|^2 / 2: matrix (2 x 2,
 * row-major) [[d.C1'' + |C1'|^2, -C1'.C2'], [-C1'.C2', -d.C2'' + |C2'|^2]] with
 * d = C1 - C2, *grad1 = d.C1', *grad2 = -d.C2'. Statuses: 3 null argument; -2 bad
 * record or non-finite parameter; evaluation failures. */
KW_API void BScvcvjmat(const BScurve *curve1, const BScurve *curve2, double u1, double u2,
                       double *matrix, double *grad1, double *grad2, BSrc *rc);
/* Sorting, merging and output of raw results (the last step of BScvcvint). Raw
 * parameters 1 are on curve1; swap non-zero: the caller's first curve is curve2
 * (outputs then carry its parameters first). Raw overlaps: point pairs and
 * parameter pairs. Overlaps meeting end to end in the same direction merge;
 * intersections inside an overlap are dropped and coincident ones merged as in
 * BScvcvint; the output arguments are those of BScvcvint. Statuses as BScvcvint,
 * and -2 for a negative count or a non-finite raw value. */
KW_API void BScvcv_sort(const BScurve *curve1, const BScurve *curve2, int16_t by_curve1,
                        int16_t swap, int32_t num_raw, const double *raw_pts,
                        const double *raw_par1, const double *raw_par2, int32_t num_raw_over,
                        const double *raw_over_pts, const double *raw_over_par1,
                        const double *raw_over_par2, int32_t int_cap, int32_t over_cap,
                        double *int_pts, double *int_par1, double *int_par2, double *over_pts,
                        double *over_par1, double *over_par2, int32_t *num_int, int32_t *num_over,
                        BSboolean *int_alloc, BSboolean *over_alloc, double **a_int_pts,
                        double **a_int_par1, double **a_int_par2, double **a_over_pts,
                        double **a_over_par1, double **a_over_par2, BSrc *rc);
/* Older entry: BScvcvint with flag 0 that always allocates. out: *num_int and
 * *points, *par1, *par2; *num_over and *over_points, *over_par1, *over_par2 (all from
 * BSdbgalloc, null when the count is 0). Returns TRUE exactly when the status is 0.
 * Statuses as BScvcvint. */
KW_API BSboolean BScvcv_int(BSrc *rc, const BScurve *curve1, const BScurve *curve2,
                            int32_t *num_int, double **points, double **par1, double **par2,
                            int32_t *num_over, double **over_points, double **over_par1,
                            double **over_par2);

/* ---- Polynomial roots (src/numeric/roots_closed_form.cpp, roots_general.cpp,
 *      roots_interval.cpp, roots_series.cpp; entry points in roots_api.cpp) ---- */

/* Power coefficients are ascending (x^0 first; degree n has n + 1). Complex roots
 * come as two parallel arrays, real parts and imaginary parts, one slot per root
 * with multiplicity; a real root has imaginary part exactly 0, a conjugate pair
 * takes adjacent slots. A root at infinity (leading coefficient exactly 0) is
 * DBL_MAX with imaginary part 0. Interval solvers return roots ascending, each
 * repeated by its multiplicity; a count of -1 means the function is zero within
 * the tolerance on the whole interval. Status 35: the roots could not be
 * separated at the tolerance (after retries with tol/1024 and tol/1024^2). */

/* Roots of c[2] x^2 + c[1] x + c[0] into re[2], im[2] (complex pair: slot 0 has
 * the imaginary part of the sign of c[2]). No status; NULL arguments do nothing. */
KW_API void BSrpoly2(const double *coefs, double *re, double *im);
/* Roots of t^3 + p t + q given d = 4p^3 + 27q^2 into re[3], im[3]. No status. */
KW_API void BSrpoly3c(double p, double q, double d, double *re, double *im);
/* Roots of the cubic coefs[4] into re[3], im[3]; the root of smallest magnitude is
 * computed from the reciprocal equation, the others by exact deflation.
 * Statuses: 3 NULL argument; -2 a non-finite coefficient; -1 no root to invert
 * (slots hold what earlier steps wrote). */
KW_API void BSrpoly3(const double *coefs, double *re, double *im, BSrc *rc);
/* Roots of the quartic coefs[5] into re[4], im[4] (biquadratic, palindromic,
 * multiple-root and perfect-square cases first, then Ferrari on the reciprocal).
 * Statuses: 3 NULL argument; -2 a non-finite coefficient; -1 no real
 * factorisation found. */
KW_API void BSrpoly4(const double *coefs, double *re, double *im, BSrc *rc);
/* All *degree roots of coefs (*degree + 1 values) into re, im (*degree slots each):
 * degrees 1 to 4 in closed form, higher ones by the Jenkins-Traub iteration
 * (roots at the origin first). Returns TRUE exactly when the status is 0.
 * Statuses: 3 NULL argument; -2 degree below 1, a non-finite coefficient or a
 * leading coefficient below 2^-97 in magnitude (zero for degree 1); -1 no
 * convergence (roots found so far stay); 33 no scratch memory (degree > 100). */
KW_API BSboolean BSrpoly(BSrc *rc, const double *coefs, const int16_t *degree, double *re,
                         double *im);
/* *flag TRUE when x is a root of the degree-n polynomial coefs: |p(x)| below 1e-14
 * times the largest |c_i x^i| (x = 0: c[0] == 0). NULL arguments do nothing. */
KW_API void BSnulpol(int32_t n, const double *coefs, double x, BSboolean *flag);
/* Real cube root of x, refined by Newton steps, into *out. */
KW_API void BScbrt(double x, double *out);
/* Real k-th root of x into *out. Statuses: 3 NULL out; -2 negative x with even k,
 * k < 1 or non-finite x (*out untouched). */
KW_API void BSkroot(double x, int32_t k, double *out, BSrc *rc);
/* Principal square root of re + i im (real part >= 0; on the negative real axis
 * the imaginary part has the sign of im), accurate for every ratio of the parts. */
KW_API void BSdsqrtc(double re, double im, double *root_re, double *root_im);
/* 1 / (re + i im). */
KW_API void BSinvc(double re, double im, double *inv_re, double *inv_im);
/* x^n (products below |n| = 10, exp(n ln|x|) above). Statuses: -2 non-finite x;
 * -5 x == 0 with n < 0 (result 0). */
KW_API double BSpower(BSrc *rc, double x, int32_t n);
/* x^y = exp(y ln x) (1 for y == 0). Statuses: -2 non-finite argument or x < 0 with
 * y != 0; -5 x == 0 with y < 0 (result 0). */
KW_API double BSrpower(double x, double y, BSrc *rc);

/* Legendre series: n + 1 coefficients of P_0 .. P_n on [-1, 1]. */
/* *may_vanish TRUE unless |c0| > max(tol, 1e-14 S) + S with S = sum_{i>=1} |c_i|. */
KW_API void BSboxlgd1(int32_t n, const double *coefs, double tol, BSboolean *may_vanish);
/* *is_zero TRUE when the sum of the coefficient magnitudes is at most tol. */
KW_API void BSchkzolgd(int32_t n, const double *coefs, double tol, BSboolean *is_zero);
/* Degree-2 series coefs[3]: *count roots (0 or 2, never outside [-1, 1]) ascending
 * into roots[2], snapped to -1, 0, 1 within their tolerance; a near-double root
 * whose zone covers all of [-1, 1] sets *ambiguous (count 0). */
KW_API void BSrtlgd2(const double *coefs, double tol, int32_t *count, double *roots,
                     BSboolean *ambiguous);
/* Roots on [-1, 1] of a degree-n series (n <= 320) within tol: *count and roots
 * (room for n). Roots within their tolerance of -1, 0 or 1 are those values.
 * Statuses: 3 NULL argument; -2 n outside 0..320, tol negative or non-finite, a
 * non-finite coefficient; 33 no scratch memory; 35 inseparable roots. On failure
 * the outputs are untouched. */
KW_API void BSfndrtlgd1(int32_t n, const double *coefs, double tol, int32_t *count, double *roots,
                        BSrc *rc);
/* The roots in [s0, s1] of a series living on [u0, u1] (u0 < u1, s0 <= s1):
 * *count (0 when the intervals do not meet) and roots (room for n) as parameters
 * of [u0, u1]; roots at the ends of the searched overlap are its exact ends.
 * Statuses as BSfndrtlgd1, and -2 for u0 >= u1, s1 < s0 or a non-finite end. */
KW_API void BSfndrtlgd1ab(int32_t n, const double *coefs, double u0, double u1, double s0,
                          double s1, double tol, int32_t *count, double *roots, BSrc *rc);
/* Roots on [a, b] of the order-k Bezier coefficients coefs (k values): *count
 * (-1 when k < 1 or every |coef| <= tol) and roots (room for k - 1); a root at an
 * end is exactly a or b. Statuses: 3 NULL argument; -2 k > 321, tol negative or
 * non-finite, a non-finite coefficient or end; 33; 35. Outputs untouched on failure. */
KW_API void BSfndrtbez1(int32_t order, const double *coefs, double a, double b, double tol,
                        int32_t *count, double *roots, BSrc *rc);
/* Roots and zero intervals of a scalar B-spline: order k (1..321), num_poles n >= k
 * scalar poles, n + k non-decreasing knots. Out: *num_roots roots ascending with
 * multiplicity (caller's room: k (n - k + 1)), *num_zero zero intervals as
 * (start, end) pairs in zero_pairs (room for 2 (n - k + 1)): stretches where the
 * function is zero within tol; their end knots are not roots. A root at a knot is
 * reported once (roots of neighbouring spans within the knot tolerance merge); its
 * multiplicity is odd where the function changes sign and even where it touches.
 * Roots at both ends of the domain are reported. Statuses: 3 NULL argument; -2 bad
 * order, count or knots, non-finite pole or knot, tol negative or non-finite; -13
 * no work memory; 33, 35 from the span solver (counts then hold what was found). */
KW_API void BSfndrtbsp1(int32_t order, int32_t num_poles, const double *poles, const double *knots,
                        double tol, int32_t *num_roots, double *roots, int32_t *num_zero,
                        double *zero_pairs, BSrc *rc);
/* BSfndrtbsp1 with the fixed tolerance 1e-6: *degree, *last_index (n - 1), the
 * unused argument is not read; zero intervals into the separate arrays zero_starts
 * and zero_ends (room for n - degree each); roots: room for (degree + 1) (n -
 * degree). Returns TRUE exactly when the status is 0. Statuses as BSfndrtbsp1. */
KW_API BSboolean BSbzeroes(BSrc *rc, const int16_t *degree, const void *unused, const double *poles,
                           const int32_t *last_index, const double *knots, int32_t *num_roots,
                           double *roots, int32_t *num_zero, double *zero_starts,
                           double *zero_ends);

/* ---- Curve-plane intersection (src/query/curve_plane.cpp) ---- */

/* A plane is a point (3 doubles) and a normal of any non-zero length. The signed
 * distance of the curve from the plane is a B-spline on the curve's knots; its
 * roots are the intersections and its zero intervals (within the tolerance) the
 * stretches lying in the plane. A crossing at a knot is reported once; roots at
 * both ends of the domain are reported. */

/* Roots of the signed distance of an array-form curve: dim (1..3) coordinate-major
 * rows of num_poles values, then the weight row when rational (weighted rows);
 * order 2..321; knots (num_poles + order). point and normal: dim doubles. Out:
 * *num_roots parameters ascending, a multiple root repeated (room for order x
 * (num_poles - order + 1)); *num_intervals (start, end) pairs in intervals (room for
 * 2 (num_poles - order + 1)). Statuses: 3 NULL argument; -2 bad sizes, knots,
 * non-finite value, weight not positive, tol negative or non-finite; -6 zero
 * normal; 33 no scratch memory; -13, 35 from the root finder (counts then hold
 * what was found). */
KW_API void BSxbspcvpl(int32_t dim, int32_t order, int32_t num_poles, BSboolean rational,
                       const double *poles, const double *knots, const double *point,
                       const double *normal, double tol, int32_t *num_roots, double *roots,
                       int32_t *num_intervals, double *intervals, BSrc *rc);
/* Intersections of a curve with a plane at basis_tol: *num_points distinct
 * parameters ascending into params with their points (3 doubles each) into points
 * (room for order x (num_poles - order + 1) each); a tangential touch is one point;
 * when the first and last parameters are the domain ends and their points lie
 * within basis_tol (a closed curve crossing at its joint) only the first is kept.
 * *num_intervals zero intervals into starts and ends (room for num_poles - order
 * + 1 each). Returns TRUE exactly when the status is 0. Statuses: 3 NULL argument
 * or record array; -2 bad record (order 2..321), non-finite value, weight not
 * positive; -6 zero normal; 33 no scratch memory; -13, 35 from the root finder
 * and evaluation failures (counts then hold what was found). */
KW_API BSboolean BSpl_cv_int(BSrc *rc, const BScurve *curve, const double *point,
                             const double *normal, int32_t *num_points, double *points,
                             double *params, int32_t *num_intervals, double *starts, double *ends);
/* Projects curve in onto the plane along direction into the caller's record out
 * (its poles, knots and, for a rational curve, weights arrays sized like in's; out
 * may be in): poles moved along the unit direction into the plane, weights and
 * knots copied (out->weights set to NULL for a polynomial curve), num_boundaries
 * 0, bdrys NULL, planar TRUE when the new poles span exactly a plane. normal is
 * normalised in place (unless it is zero). Returns TRUE exactly when the status is
 * 0; out is untouched on failure. Statuses: 3 NULL argument or array; -2 bad
 * record, non-finite value; -6 zero normal or direction; 13 direction within
 * orient_tol of the plane; 33 no scratch memory. */
KW_API BSboolean BSprj_cv_pl(BSrc *rc, const BScurve *in, const double *point, double *normal,
                             const double *direction, BScurve *out);

/* ---- Composite Legendre curves: memory (src/approx/composite_memory.cpp) ---- */

/* A composite Legendre curve of m segments is a set of parallel values: dimModel d,
 * nSegment m, periodic, ndegArr (degree of each segment), iratArr (kind: 0
 * polynomial, 1..3 rational), ibaseArr (1 Legendre, 0 power form in the local
 * variable), curveSeries (m pointers into one coefficient block: segment i has w_i
 * components of ndegArr[i] + 1 coefficients, component after component; w_i is d,
 * d + 1, d + 2, d + 3 for kinds 0..3, and 2, 3, 3, 4 when d = 2; a rational
 * segment holds weighted coordinates and the weight as component d), bezKnots
 * (m + 1 increasing breakpoints; segment i on [b_i, b_(i+1)] with local variable
 * x = 2 (t - b_i) / (b_(i+1) - b_i) - 1) and start_end_parameters (2 doubles). */

/* Allocates the per-segment arrays: ndegArr, iratArr, ibaseArr (m int32 each) and
 * bezKnots (m + 1 doubles), zero-filled, every ibaseArr entry 1; result memory
 * released with BSdbgfree. Status: 3 NULL output pointer; -2 m outside
 * 1..1000000; -13 (nothing stays allocated, outputs null). */
KW_API void BSalldeflgd(int32_t m, int32_t **ndegArr, int32_t **iratArr, int32_t **ibaseArr,
                        double **bezKnots, BSrc *rc);
/* Allocates curveSeries: *curveSeries becomes an array of m pointers into one
 * zero-filled block of sum (ndegArr[i] + 1) w_i doubles (release with
 * BSfrecmplgd). Status: 3 NULL argument; -2 d < 1, m outside 1..1000000, a degree
 * outside 0..319 or a kind outside 0..3; -13 (nothing allocated). */
KW_API void BSallcmplgd(int32_t d, int32_t m, const int32_t *ndegArr, const int32_t *iratArr,
                        double ***curveSeries, BSrc *rc);
/* Releases the coefficient block and the pointer array of *curveSeries and clears
 * the pointer; nothing for NULL. */
KW_API void BSfrecmplgd(double ***curveSeries);

/* ---- Composite Legendre curves: conversion (src/approx/composite_convert.cpp) ---- */

/* Every Bezier span of an array-form spline to one Legendre segment.
 * in: degree (1..319), num_poles n, comps (1..64), knots (n + degree + 1,
 * ascending), poles (comps coordinate-major rows of n). out: *num_spans, series
 * (span-major, row r of span j at ((j * comps) + r) * (degree + 1); room for
 * (n - degree) spans), breaks (*num_spans + 1). Status: 3 NULL; -2 sizes, knots,
 * non-finite poles, empty domain; 33. */
KW_API void BSbstolgd(int32_t degree, int32_t num_poles, int32_t comps, const double *knots,
                      const double *poles, int32_t *num_spans, double *series, double *breaks,
                      BSrc *rc);
/* B-spline -> composite Legendre, exact: one segment of degree order - 1 per
 * non-empty span, kind 1 when rational. in: d (1..64), num_poles n, order (2..320),
 * rational, poles (d coordinate-major rows of n, weighted, then the weight row when
 * rational), knots (n + order). out (result memory, the caller releases each with
 * BSdbgfree and curveSeries with BSfrecmplgd): *nSegment, *ndegArr, *iratArr,
 * *curveSeries, *bezKnots, start_end (2: b_0, b_m). The basis codes are all 1
 * (no array returned). Poles all within dist_tol of one point: one segment of
 * degree 0 (the point) on [0, 1]. Status: 3 NULL; -2 sizes, knots not ascending,
 * empty domain, non-finite poles, weight not positive; -13, 33 (outputs null). */
KW_API void BSbsp2cmlgd(int32_t d, int32_t num_poles, int32_t order, BSboolean rational,
                        const double *poles, const double *knots, int32_t *nSegment,
                        int32_t **ndegArr, int32_t **iratArr, double ***curveSeries,
                        double **bezKnots, double *start_end, BSrc *rc);
/* BSbsp2cmlgd for planar curves (d = 2). */
KW_API void BSbsp2cmlgd2d(int32_t num_poles, int32_t order, BSboolean rational, const double *poles,
                          const double *knots, int32_t *nSegment, int32_t **ndegArr,
                          int32_t **iratArr, double ***curveSeries, double **bezKnots,
                          double *start_end, BSrc *rc);
/* Exact C0 B-spline of a chain of m Legendre segments of one order k.
 * in: order k (2..320), m, d (1..64), series (component-major over segments: series
 * of component c of segment i at ((c * m + i) * k)), breaks (m + 1 on [-1, 1],
 * ascending). out (result memory, BSdbgfree): *num_poles N = (k - 1) m + 1, *poles
 * (d rows of N, coordinate-major; the pole two segments share is the mean of their
 * end poles), *knots (N + k, mapped to [0, 1] by (b + 1) / 2; interior breaks k - 1
 * times). Status: 3 NULL; -2 sizes, breaks, non-finite series; -13, 33. */
KW_API void BSlgdbspcm1(int32_t order, int32_t m, int32_t d, const double *series,
                        const double *breaks, int32_t *num_poles, double **poles, double **knots,
                        BSrc *rc);

/* ---- Composite Legendre curves: evaluation (src/approx/composite_eval.cpp) ---- */

/* The k-th derivative of a composite curve at t (d values into result): periodic
 * curves wrap t into [b_0, b_m]; below b_0 segment 0 and above b_m segment m - 1
 * are extended. Rational segments (d = 2, 3) by Leibniz' rule exactly at every k
 * (kinds 2 and 3 use their first d + 1 components). in: d (1..64), periodic, m,
 * ndegArr, iratArr, ibaseArr, curveSeries, bezKnots, k (0..1000), t. Status: 3
 * NULL; -2 m < 1, empty or non-finite range, t not finite, a zero-length segment,
 * an unknown basis or kind, degree outside 0..319, rational segment with d not 2
 * or 3; -5 zero weight at t; 33. */
KW_API void BSevalgdcmp(int32_t d, int32_t periodic, int32_t m, const int32_t *ndegArr,
                        const int32_t *iratArr, const int32_t *ibaseArr, double *const *curveSeries,
                        const double *bezKnots, int32_t k, double t, double *result, BSrc *rc);
/* The k-th derivative with respect to x of one Legendre segment (degree, d, kind,
 * coefficients component after component) at x: d values. Statuses as BSevalgdcmp. */
KW_API void BSevalgdsng(int32_t degree, int32_t d, int32_t kind, const double *coefs, int32_t k,
                        double x, double *result, BSrc *rc);
/* The same for a segment in power form in x. */
KW_API void BSevacansng(int32_t degree, int32_t d, int32_t kind, const double *coefs, int32_t k,
                        double x, double *result, BSrc *rc);

/* ---- Composite Legendre curves: continuity (src/approx/continuity_correction.cpp) ---- */

/* Least-squares continuity correction: the closest coefficients, in the L2 norm
 * of the functions over the parameter (each segment weighted by its length), that
 * are C^r at every interior breakpoint; the correction is the orthogonal
 * projection onto the constraints' row space, subtracted from the input.
 * in: g groups of c components (g c <= 256), order k (1..320), r (0..k-1), m
 * segments, breaks (m + 1, ascending), in (series j of segment i at (j m + i) k),
 * tol. out: out (same layout; may be in). Status: 3 NULL; -2 counts, r, breaks not
 * finite and ascending, non-finite series or tol; -5 a zero-length segment; 55
 * (a warning, out written) when some segment's change exceeds tol and 2.2e-14 of
 * its size; 33. m = 1 copies the series. */
KW_API void BScstlgdbsp(int32_t g, int32_t c, int32_t order, int32_t r, int32_t m,
                        const double *breaks, const double *in, double tol, double *out, BSrc *rc);

/* ---- Composite Legendre text record (src/records/composite_text.cpp) ---- */

/* Writes one composite Legendre record (the fields as for BSalldeflgd) to stream
 * (NULL: standard error): "dimModel %d", "nSegment %d", "periodic %d", then
 * "ndegArr", "iratArr", "ibaseArr " and one "%d" line per segment each, then
 * "curveSeries" with every coefficient of every segment (w_i (ndegArr[i] + 1)
 * per segment, the record's component counts for every kind), "bezKnots" with
 * m + 1 values, "start_end_parameters" with both on one line, and an empty line.
 * Numbers are "%22.17f", or "%22.17e" where the fixed form would not read back as
 * the same double. Writes nothing when an array is NULL, d is outside 1..64, m
 * outside 1..1000000, or a degree (0..319) or kind (0..3) is out of range. */
KW_API void BSprtcmplgd(FILE *stream, int32_t dimModel, int32_t nSegment, int32_t periodic,
                        const int32_t *ndegArr, const int32_t *iratArr, const int32_t *ibaseArr,
                        double *const *curveSeries, const double *bezKnots,
                        const double *start_end);
/* Reads one record written by BSprtcmplgd (keywords searched word by word). out:
 * *dimModel, *nSegment, *periodic, and the arrays as BSalldeflgd and BSallcmplgd
 * allocate them (the caller releases them), start_end (2). Status: 3 NULL; -1 the
 * stream ends before a keyword or value, or a value cannot be read, is not finite
 * or is out of range (d 1..64, m 1..1000000, degree 0..319, kind 0..3, basis 0..1);
 * -13. On failure nothing stays allocated and the outputs are unchanged. */
KW_API void BSreadcmlgd(FILE *stream, int32_t *dimModel, int32_t *nSegment, int32_t *periodic,
                        int32_t **ndegArr, int32_t **iratArr, int32_t **ibaseArr,
                        double ***curveSeries, double **bezKnots, double *start_end, BSrc *rc);
/* Reads groups of records: first `groups` counts ("%d", each 1..1000000) into
 * counts, then counts[g] records for every group in order. Every output receives a
 * new table (result memory) of one entry per group, each entry a table of one slot
 * per record (start_end: 2 doubles per record); slot j of group g holds record j as
 * BSreadcmlgd gives it. dimModel receives each record's dimension in turn. Status:
 * 3 NULL; -2 groups < 1; -1 a count cannot be read; the first failing record's
 * status; -13. What was allocated before a failure stays in the caller's tables
 * (unused entries are null): the caller releases every non-null entry. */
KW_API void BSrdsscmlgd(FILE *stream, int32_t *dimModel, int32_t groups, int32_t *counts,
                        int32_t ***nSegment, int32_t ***periodic, int32_t ****ndegArr,
                        int32_t ****iratArr, int32_t ****ibaseArr, double *****curveSeries,
                        double ****bezKnots, double ***start_end, BSrc *rc);

/* ---- Composite Legendre curves to B-splines (src/approx/composite_to_spline.cpp) ---- */

/* Composite Legendre -> B-spline record of a requested order within tolerance: the
 * part [start_end[0], start_end[1]] is cut from its end segments, every segment is
 * cut where its coefficient tail stays below tolerance / 128, converted on its own
 * (BSlgdbspl1, or BSlgdbsplr for kinds 1..3, whose first d + 1 components are the
 * weighted coordinates and the weight; planar rational segments are first divided
 * by their weight, BScnvlgd2d) and the pieces are joined C0 (BScnvlgdnt). in: the
 * composite curve (d 1..3, as BSalldeflgd describes it), start_end, tolerance
 * (> 0, the largest distance of the result from the composite curve where the
 * composite curve itself is C0), order (2..16, the requested order). A periodic
 * curve takes a range of at most one period that may lie outside the breakpoints
 * or cross the seam; a whole period comes back closed (phy_closed 1).
 * out: *curve, a new record (release with BSfreeqelcv) whose order is the largest
 * order the segments need, at most the requested order and at least 2; knots on
 * [0, 1]. Status: 3 NULL; -2 d outside 1..3, m < 1, breakpoints not ascending, a
 * degree (0..319), kind (0..3) or basis (0, 1) out of range, a rational segment
 * with d not 2 or 3, a power-form segment above degree 127, non-finite
 * coefficients, order or tolerance out of range, a range outside the breakpoints
 * (more than a period when periodic) or empty, a weight not positive; 55 (a
 * warning, *curve written) when some segment could not be brought within
 * tolerance; -13, 33. *curve untouched on failure. */
KW_API void BScmlgd2bsp(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                        const int32_t *iratArr, const int32_t *ibaseArr, double *const *curveSeries,
                        const double *bezKnots, const double *start_end, double tolerance,
                        int32_t order, BScurve **curve, BSrc *rc);
/* The same for segments first..last (0-based; first > last runs through the seam of
 * a periodic curve), the first from local parameter local_start (-1..1) and the
 * last to local_end. Status as BScmlgd2bsp; -2 for indices or local parameters out
 * of range. */
KW_API void BScmlg2bsab(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                        const int32_t *iratArr, const int32_t *ibaseArr, double *const *curveSeries,
                        const double *bezKnots, int32_t first, int32_t last, double local_start,
                        double local_end, double tolerance, int32_t order, BScurve **curve,
                        BSrc *rc);
/* The same for the parameter range [start, end], without the first cut of the
 * segments and without dividing planar rational segments. */
KW_API void BSlimcmplgd(int32_t d, int32_t m, int32_t periodic, const int32_t *ndegArr,
                        const int32_t *iratArr, const int32_t *ibaseArr, double *const *curveSeries,
                        const double *bezKnots, double start, double end, double tolerance,
                        int32_t order, BScurve **curve, BSrc *rc);

/* ---- Nearest points through Legendre forms (src/query/project_legendre.cpp) ---- */

/* Nearest points of a spline to num_pts points, each search bounded by a distance
 * already known. Curve: degree (1 .. 15), num_poles (> degree), dim (>= 1, with
 * (dim + rational) (degree + 1) <= 64), rational flag, poles (dim coordinate-major
 * rows of num_poles values, weighted when rational, then the weights row), knots
 * (num_poles + degree + 1, non-decreasing, domain knots[degree] .. knots[num_poles]).
 * points: num_pts points of dim doubles; tol >= 0: an end of a Bezier piece, or a
 * pole the curve passes through (an end or a knot of multiplicity degree), less
 * than tol / 2 farther than the nearest point found is returned instead.
 * In: dists_in, pars_in (num_pts each): the best distance and parameter known per
 * point (the largest double when none). Out: dists_out, pars_out (num_pts each) and
 * feet_out (num_pts points of dim doubles); the in and out arrays may be the same.
 * A point found nearer than its bound gets its distance, parameter and foot (the
 * curve point at that parameter); any other point keeps its incoming distance and
 * parameter, with the curve point there as foot when that parameter lies in the
 * domain (else its foot is untouched). A planar rational quadratic circle or arc is
 * projected in closed form; a point at its centre gets the start point, the radius
 * and the start parameter. num_pts 0 does nothing. Caller owns all arrays.
 * Statuses: 3 null array; -2 bad sizes, a non-finite or decreasing knot, an empty
 * domain, a pole row value or point not finite or beyond 1e150, a weight not positive, tol
 * or an incoming distance negative or not finite (outputs untouched); 50 degree
 * above 15; -12 some point found nothing nearer than its bound (the results of all
 * points are written); 33 scratch exhausted. */
KW_API void BSmdptbscv(int16_t degree, int32_t num_poles, int32_t dim, BSboolean rational,
                       double *poles, double *knots, int32_t num_pts, double *points, double tol,
                       double *dists_in, double *pars_in, double *dists_out, double *pars_out,
                       double *feet_out, BSrc *rc);

/* ---- Offset curves (src/offset/offset_curves.cpp, src/offset/planar_engine.cpp,
 * src/offset/piece_offset.cpp, src/offset/loops.cpp) ---- */

/* An offset lies in the curve's plane at distance |d| from it: every point of the
 * result is within offset_tol of |d| from the base (checked on dense samples of
 * every span, refined until it holds). Curves are validated records of order 2 to
 * 16. Corners of the base (C0 knots, and the seam of a closed curve) are rounded
 * by arcs about the corner, or with corner selector 1 extended along the two
 * tangents to where they meet (round when they turn by more than 120 degrees); on
 * the concave side the two offsets are cut at their crossing. Result curves are
 * new records (release with BSfreeqelcv); loop lists are arrays from BSdbgcalloc
 * (release each curve, then the array with BSdbgfree). Common statuses: 3 a null
 * argument; -2 a bad record, a non-finite d or direction point; -6 a zero-length
 * curve or tangent where a direction is needed; -13 no result memory; 33 no
 * scratch memory; 5 a piece did not reach offset_tol within 15 refinement passes
 * or before growing to 64 times its spans (a warning: the complete result is
 * returned); -1 with loop code 1 or 2, a concave corner whose two offsets do not
 * cross (a piece too short for the corner) left a connector closer than |d| to the
 * curve after loop removal (no offset at that distance there), or the offset winds
 * over itself too densely for loop removal (more than 8 candidate crossings, or 256
 * segments sharing its range, per sample segment). Outputs are written only when the status is 0
 * or 5. Loop removal finds crossings and stretches the offset runs along twice;
 * the offset of a closed curve whose start lies inside a loop is re-started at the
 * mean of its two smallest self-intersection parameters, and a loop through the
 * seam of a closed offset is cut like any other (code 1 returns it joined across
 * the seam). Loop code 0 returns the offset as computed, loops and all. */

/* Offset of a planar curve or of a straight line toward the direction point's side
 * (d > 0; d < 0 the other side). in: curve, *d, dirpt (3 doubles), *corner (1:
 * extended corners, else round), *code (1: cut loops away and return each as a
 * closed curve, 2: cut and drop them, other: keep the offset as computed).
 * out: *result, *nloops and *loops (a new array, null when none; the caller's
 * pointer is not read). The plane normal of a line is (F - L) x (dirpt - F).
 * Status -2 also when the poles are neither in one plane nor on one line.
 * Returns TRUE exactly when the status is 0. */
KW_API BSboolean BScvoffset(BSrc *rc, const BScurve *curve, const double *d, const double *dirpt,
                            const int32_t *corner, const int16_t *code, BScurve **result,
                            int32_t *nloops, BScurve ***loops);
/* Offset with an optional given plane normal. normal_given FALSE: as BScvoffset
 * (a negative d flips the side and is used as -d); then *side_flag (out) is TRUE
 * when the offset lies right of the tangent about the normal found, written to
 * normal (out, 3 doubles). normal_given TRUE: normal (in, 3 doubles) is the plane
 * normal, *side_flag (in) TRUE offsets right of the tangent about it, FALSE left,
 * and d keeps its sign (negative: the other side). corner, code and outputs as
 * BScvoffset. Status -2 also: a curve not in one plane (or not in a plane normal
 * to the given normal); -6 a zero normal. */
KW_API void BScvoffsetd(const BScurve *curve, double d, const double *dirpt, BSboolean normal_given,
                        int32_t corner, int16_t code, BSboolean *side_flag, double *normal,
                        BScurve **result, int32_t *nloops, BScurve ***loops, BSrc *rc);
/* The common 3-D path of both entries. find_normal TRUE and base_ready FALSE: the
 * normal (out), *side (out) and frame (out, 9 doubles) are found from dirpt as in
 * BScvoffset; base_ready TRUE: normal, *side (+-1) and frame (BStrans2 of the
 * normal) are the caller's. find_normal FALSE with base_ready FALSE: -2. corner
 * TRUE: extended corners. Outputs and statuses as BScvoffset. */
KW_API void BScvoff3d(const BScurve *curve, double d, BSboolean corner, int16_t code,
                      BSboolean find_normal, const double *dirpt, double *normal,
                      BSboolean base_ready, int32_t *side, double *frame, BScurve **result,
                      int32_t *nloops, BScurve ***loops, BSrc *rc);
/* Sets curve->phy_closed from its end poles (squared distance below dist_sqtol)
 * and *collinear (out) TRUE when its poles lie on one line (BScollinmn2; weights
 * too uneven for it: the unweighted poles). Statuses of BScollinmn2. */
KW_API void BSofchkln(BScurve *curve, BSboolean *collinear, BSrc *rc);
/* Maps curve's domain linearly onto [a, b] in place. -1: b <= a, a bad record or a
 * failure inside. */
KW_API void BSofrparcv(BScurve *curve, double a, double b, BSrc *rc);
/* Planar offset engine: curve with poles in a plane z = constant, offset at d
 * times side (+1: right of the tangent when normal is (0, 0, 1), else left;
 * normal (0, 0, +-1)). corner TRUE: extended corners. *result (out): a new record
 * on the curve's domain; a closed curve gives a closed offset. |d| below zero_tol:
 * a copy. Status -2 also: side not +-1 or normal not (0, 0, +-1). */
KW_API void BSxycvoff(const BScurve *curve, double d, BSboolean corner, const double *normal,
                      int32_t side, BScurve **result, BSrc *rc);
/* Offset of one smooth piece (no corners handled) as BSxycvoff: poles placed so
 * that the piece meets the true offset at its Greville abscissae (the offset
 * control polygon of BSsetspn for order 2), knots inserted where it strays until
 * within offset_tol. *result (out): a new record. */
KW_API void BSspnoffset(const BScurve *piece, double d, const double *normal, int32_t side,
                        BScurve **result, BSrc *rc);
/* Copy of in into out (arrays sized like in's) with its poles carried into
 * (BScvoton) or out of (BScvntoo) the frame (9 doubles, rows e1 e2 e3) at origin
 * with *scale (BSptsoldtnw, BSptsnwtold). Statuses of BScv_copy and the transforms. */
KW_API BSboolean BScvoton(BSrc *rc, const double *origin, const double *frame, const double *scale,
                          const BScurve *in, BScurve *out);
KW_API BSboolean BScvntoo(BSrc *rc, const double *origin, const double *frame, const double *scale,
                          const BScurve *in, BScurve *out);
/* Loop removal of a planar offset: its self-intersections and self-overlaps are
 * found and the outermost loops they close cut away; on a curve with phy_closed set
 * a pair spanning more than half the domain closes a loop through the seam, and
 * the widest such loop is cut too (the result stays closed). The rest is joined
 * and mapped onto the offset's domain (*result, new record). code 1: the loops are returned in *loops
 * (new array of *nloops closed curves, knots on [0, 1]); 2: dropped (*nloops 0);
 * other: *result is a copy. The tolerance record is restored whole afterwards.
 * Statuses: -1 a failure inside; -13; 33. */
KW_API void BSofrmlp3(const BScurve *offset, int16_t code, int32_t *nloops, BScurve ***loops,
                      BScurve **result, BSrc *rc);

/* ---- Nearest points through Legendre forms: one point, one piece, arcs
 * (src/query/project_legendre.cpp, src/query/project_legendre_piece.cpp) ---- */

/* The parts of BSmdptbscv as entries of their own. Curves are given as for
 * BSmdptbscv (degree, num_poles, dim, rational, coordinate-major poles with the
 * weights row last, knots); a piece as (dim + rational) rows of degree + 1 values:
 * Bezier coefficients on t in [0, 1] (BSmdptbzcv) or Legendre series on x in
 * [-1, 1], x = 2t - 1 (the others), weighted coordinates then the weights when
 * rational. A returned parameter always evaluates to the returned foot. Caller
 * owns all arrays. Common statuses: 3 a null pointer; -2 degree outside 1 .. 15,
 * num_poles <= degree, dim < 1, (dim + rational) (degree + 1) > 64, a knot
 * decreasing or not finite, an empty domain, a pole, coefficient or point not
 * finite or beyond 1e150, a weight (for a piece: a Bezier weight) not positive, tol
 * or a bound negative or not finite; 33 scratch exhausted. Outputs are written only
 * as stated. */

/* Nearest point of the spline to point (dim doubles) strictly nearer than bound
 * (in; the largest double when none is known), by branch and bound over its pieces
 * (no break-pole pass). Out on status 0: *dist, *par in the domain, foot (dim
 * doubles). -12: nothing nearer than bound (outputs untouched). tol: a piece end
 * less than tol / 2 farther than the nearest point of its piece is preferred. */
KW_API void BSmdptbscv1(int16_t degree, int32_t num_poles, int32_t dim, BSboolean rational,
                        double *poles, double *knots, double *point, double tol, double bound,
                        double *dist, double *par, double *foot, BSrc *rc);
/* Nearest points of one Bezier piece (poles: rows of degree + 1 Bezier
 * coefficients) to num_pts points (dim doubles each), each strictly nearer than
 * dists_in[i], then the end pass of BSmdptlgcv. Out per point: pt_rc[i] 0 with
 * dists_out[i], pars_out[i] (t in [0, 1]) and the foot in feet_out (dim doubles),
 * or -12 with dists_out[i] = dists_in[i] and the rest untouched. dists_in may be
 * dists_out. Status 0, or -12 when some point found nothing; num_pts 0 does
 * nothing. */
KW_API void BSmdptbzcv(int16_t degree, int32_t dim, BSboolean rational, double *poles,
                       int32_t num_pts, double *points, double tol, double *dists_in,
                       double *dists_out, double *pars_out, double *feet_out, BSrc *pt_rc,
                       BSrc *rc);
/* As BSmdptbzcv for a piece given as Legendre series, parameters x in [-1, 1] in
 * xs_out. After the search of each point (BSmdptlgcv1) the nearer end of the piece
 * (x = -1 on ties) replaces its result when less than tol / 2 farther, or, when the
 * search found nothing, when nearer than dists_in[i]. */
KW_API void BSmdptlgcv(int16_t degree, int32_t dim, BSboolean rational, double *series,
                       int32_t num_pts, double *points, double tol, double *dists_in,
                       double *dists_out, double *xs_out, double *feet_out, BSrc *pt_rc,
                       BSrc *rc);
/* Nearest point of one Legendre piece to point strictly nearer than bound: status 0
 * with *dist, *x in [-1, 1] and foot (dim doubles); -12 when none (outputs
 * untouched). Halves the piece; a half whose rows truncate to lines at
 * tol / 128 is solved as by BSmdptlnlg. */
KW_API void BSmdptlgcv1(int16_t degree, int32_t dim, BSboolean rational, double *series,
                        double *point, double tol, double bound, double *dist, double *x,
                        double *foot, BSrc *rc);
/* Nearest point of a straight Legendre piece: the foot on the chord of its ends,
 * polished on the piece itself, or the nearer end. Out: *dist, *x, foot (dim
 * doubles). Status 50: some row does not truncate to degree 1 at tol / 128
 * (outputs untouched). */
KW_API void BSmdptlnlg(int16_t degree, int32_t dim, BSboolean rational, double *series,
                       double *point, double tol, double *dist, double *x, double *foot,
                       BSrc *rc);
/* Closed-form nearest point of a planar circular arc or circle (degree 2, dim 2,
 * rational, as BSprepcarc builds them with z dropped) to point (2 doubles). Out:
 * *dist = |d - r| (d the distance to the centre), *par, foot (2 doubles, on the
 * ray from the centre). A point at the centre gets the start point, the radius and
 * the first domain knot. Status 50 (outputs untouched): the curve is no circular
 * arc, or the point's direction from the centre misses the arc (its nearest point
 * is then an end). */
KW_API void BSmdptcrcv(int16_t degree, int32_t num_poles, int32_t dim, BSboolean rational,
                       double *poles, double *knots, double *point, double *dist, double *par,
                       double *foot, BSrc *rc);
/* Parameter of the point of a planar circular arc (as BSmdptcrcv) at angle (in
 * radians from its start, in its direction of travel, 0 .. its sweep). Out: *par.
 * Status 50: no circular arc; -2 also: angle outside [0, sweep] (beyond 2.2e-14). */
KW_API void BSinvbspcrc(int16_t degree, int32_t num_poles, int32_t dim, BSboolean rational,
                        double *poles, double *knots, double angle, double *par, BSrc *rc);
/* Inverse of the rational circle parametrisation: for the counterclockwise angle
 * theta in (-pi, pi] from start - centre to point - centre (2 doubles each), *t =
 * tan(theta / 2) and *defined TRUE; theta = pi gives *defined FALSE (*t untouched).
 * Statuses: 3 null; -2 a value not finite or beyond 1e150; -6 start or point at the
 * centre (outputs untouched). */
KW_API void BSinvcircle(double *centre, double *start, double *point, double *t,
                        BSboolean *defined, BSrc *rc);

/* ---- Legendre segments to B-splines (src/approx/legendre_to_spline.cpp,
 * src/approx/composite_to_spline.cpp, src/bspline/knot_removal.cpp) ---- */

/* Breakpoints for approximating a Legendre series by order-k pieces of continuity r
 * within tol: from the centre outwards, each piece's half-length h solves
 * M h^k = C tol with M the largest (over the g groups, Euclidean over their c
 * components) k-th derivative at the piece's ends and
 * C = k (k - 1 - r)! (3 5 ... (2k - 1)) / k!; then mapped onto exactly -1 .. 1.
 * in: n (0..319), g, c (g c in 1..256), series (g c components of n + 1 values,
 * component after component), order k (2..16), r (negative counts as 0, capped at
 * k - 1), tol (> 0). out: *num_pieces (0 when n < k: nothing to place) and
 * *breaks (num_pieces + 1 ascending values from -1 to 1, result memory, BSdbgfree;
 * null when num_pieces is 0). Status: 3 NULL; -2 arguments out of range or not
 * finite; -13 no memory or more than 9999 steps to one side; 33. */
KW_API void BSfndktslg(int32_t n, int32_t g, int32_t c, const double *series, int32_t order,
                       int32_t r, double tol, int32_t *num_pieces, double **breaks, BSrc *rc);
/* The order-k spline with simple knots at the breaks that approximates a Legendre
 * series: each piece is the series restricted to its interval and cut to degree
 * k - 1, the pieces are made C^(k-2) by BScstlgdbsp, and the smooth Bezier chain is
 * read off as a spline. in: n (0..319), c (1..256), series (c components of n + 1
 * values), order (2..16), num_pieces (>= 1), breaks (num_pieces + 1, strictly
 * ascending), tol (> 0, for the continuity correction). out: *poles (c rows of
 * num_pieces + order - 1 values) and *knots (order copies of breaks[0], the inner
 * breaks, order copies of the last; num_pieces + 2 order - 1 values), both result
 * memory. Status: 3 NULL; -2 arguments out of range or not finite; 55 (a warning,
 * outputs written) when the correction of some piece exceeds tol; -13; 33. */
KW_API void BSlgdbspspn(int32_t n, int32_t c, const double *series, int32_t order,
                        int32_t num_pieces, const double *breaks, double tol, double **poles,
                        double **knots, BSrc *rc);
/* A polynomial Legendre segment (on [-1, 1]) as a B-spline of order at most k whose
 * distance from it stays within tol: the series is cut to its effective degree
 * (tail at tol / 16); below k it is one Bezier piece of that degree (order 1 and a
 * zero pole for a zero series), otherwise knots are placed (BSfndktslg) and the
 * spline built (BSlgdbspspn), the placement tolerance halved while the error bound
 * (dropped tails plus continuity correction) exceeds tol, at most 10 times.
 * in: n (0..319), c (1..256), series (c components of n + 1 values), order k
 * (2..16), r (as BSfndktslg), tol (> 0). out: *out_order, *num_poles, *poles (c
 * rows of num_poles values) and *knots (num_poles + out_order values on [-1, 1]),
 * result memory. Status: 3 NULL; -2 arguments out of range or not finite; 55 (a
 * warning, outputs written) when the bound still exceeds tol; -13; 33. */
KW_API void BSlgdbspl1(int32_t n, int32_t c, const double *series, int32_t order, int32_t r,
                       double tol, int32_t *out_order, int32_t *num_poles, double **poles,
                       double **knots, BSrc *rc);
/* The same for a rational segment: series holds d weighted coordinates then the
 * weight (d + 1 components); the homogeneous tolerance is scaled from tol by the
 * weight's lower bound and the size of the curve so that the Cartesian curve stays
 * within tol. out: d + 1 rows (weighted coordinates, then the weights). Status as
 * BSlgdbspl1, and -2 for d outside 1..3 or a weight that is not positive. */
KW_API void BSlgdbsplr(int32_t n, int32_t d, const double *series, int32_t order, int32_t r,
                       double tol, int32_t *out_order, int32_t *num_poles, double **poles,
                       double **knots, BSrc *rc);
/* Every segment of a composite curve converted on its own (BSlgdbspl1, or
 * BSlgdbsplr for kinds 1..3) and joined C0 into one record: the order is the
 * largest the segments need (at most order, at least 2), lower ones raised;
 * rational segments are scaled so that the weights agree where segments meet, and
 * the shared pole is the mean of the two end points; each segment gets half of
 * tol so that the join stays within tol of a C0 composite curve. A periodic curve
 * comes back closed. in: the composite curve as BScmlgd2bsp, order (2..16), r (as
 * BSfndktslg), tol (> 0). out: *curve, a new record with knots on [0, 1]. Status as
 * BScmlgd2bsp. */
KW_API void BScnvlgdnt(int32_t d, int32_t periodic, int32_t m, const int32_t *ndegArr,
                       const int32_t *iratArr, const int32_t *ibaseArr, double *const *curveSeries,
                       const double *bezKnots, int32_t order, int32_t r, double tol,
                       BScurve **curve, BSrc *rc);
/* The same for a planar curve (d = 2): a rational segment is first divided by its
 * weight (BSdivlgdlgd) and joins as a polynomial one when the quotient matches the
 * curve within tol / 8 on dense samples; otherwise it stays rational. */
KW_API void BScnvlgd2d(int32_t periodic, int32_t m, const int32_t *ndegArr, const int32_t *iratArr,
                       const int32_t *ibaseArr, double *const *curveSeries, const double *bezKnots,
                       int32_t order, int32_t r, double tol, BScurve **curve, BSrc *rc);
/* Smooth chain of J quadratic Bezier pieces to the spline with simple interior
 * knots, as BSrmvkts4: coefficients (j * rows + r) * 3 + i, poles rows x (J + 2)
 * (row r at r * (J + 2)); the pieces are taken to join C1. Status: 3 NULL array;
 * -2 J < 1, rows < 1, breaks not finite and strictly increasing (poles untouched). */
KW_API void BSbzod3bsp(int32_t num_pieces, int32_t rows, const double *pieces, const double *breaks,
                       double *poles, BSrc *rc);

/* ---- Offset steps (src/offset/offset_curves.cpp, src/offset/piece_offset.cpp,
 * src/offset/planar_engine.cpp) ---- */

/* The steps of the offset path, callable one by one. Curves are validated records
 * of order 2 to 16; 3 a null argument, -2 a bad record or non-finite input. */

/* Plane normal and working curve of an offset. in: curve, dirpt (3 doubles),
 * normal_given, given_normal (3 doubles, read when normal_given; may be null
 * otherwise), *orient (in/out). out: *base, a new record (release with
 * BSfreeqelcv): the curve projected onto its own plane through the mean of its
 * poles (planar TRUE), or a copy for a straight line (planar FALSE), phy_closed
 * from its end poles; normal (3 doubles), unit. normal_given TRUE: the normal is
 * given_normal, negated when *orient is FALSE. Otherwise the normal is D x T with T
 * the unit tangent at the point of the curve nearest to dirpt and D the unit
 * direction from it to dirpt in the plane (for a line (F - L) x (dirpt - F)), so
 * that dirpt lies right of the tangent about it; *orient becomes TRUE. At the seam
 * of a closed curve the end tangent more nearly perpendicular to D is used.
 * Statuses: -2 poles neither in one plane nor on one line; -6 a zero tangent,
 * direction or normal (dirpt on the curve); -13; 33. Outputs untouched on failure. */
KW_API void BSofnorm(const BScurve *curve, const double *dirpt, BSboolean normal_given,
                     const double *given_normal, BSboolean *orient, BScurve **base, double *normal,
                     BSrc *rc);
/* Side of a planar curve on which dirpt lies, and the offset frame. in: curve,
 * dirpt, normal (3 doubles, any length). out: *side +1 when dirpt lies right of the
 * tangent about the normal at its nearest point (the curve and dirpt projected
 * into the plane normal to it through the mean of the poles), -1 otherwise (also
 * on the tangent line); frame (9 doubles, rows e1 e2 e3, BStrans2 of the normal).
 * At the seam of a curve with phy_closed set the end whose tangent is more nearly
 * perpendicular to the direction decides. Statuses: -6 zero normal, tangent or
 * direction; 13 a curve edge-on to the normal; -13; 33. */
KW_API void BSfndoffdir(const BScurve *curve, const double *dirpt, const double *normal,
                        int32_t *side, double *frame, BSrc *rc);
/* Offset control polygon of one span. span: index from order - 1 to num_poles - 1;
 * piece: poles in a plane z = constant; d, side (+-1), normal (0, 0, +-1) as
 * BSxycvoff; result (in/out): a record of the piece's order, pole count and
 * rational flag whose poles of that span are placed: the first span places pole 0
 * (offset along its first leg of length) and poles up to order - 3, every span
 * with index above 1 pole span - 1, the last span the last pole, every other span
 * pole span. Interior poles as BSsetq. Placed poles have z = 0 and, when rational,
 * the piece's weights. Statuses: -2 span out of range or records unalike; -6 a
 * polygon without a leg of length; 33. */
KW_API void BSsetspn(int32_t span, const BScurve *piece, double d, const double *normal,
                     int32_t side, BScurve *result, BSrc *rc);
/* Interior offset pole index (1 to num_poles - 2) into result, arguments as
 * BSsetspn: the corner of the two offset legs at that pole (their mean when they
 * meet within dist_tol; the first leg's offset when the legs turn back on each
 * other). Statuses: 5 index is the last pole (nothing placed); -2 index below 1
 * or beyond the last pole; -6 no leg of length beside the pole; 33. */
KW_API void BSsetq(int32_t index, const BScurve *piece, double d, const double *normal,
                   int32_t side, BScurve *result, BSrc *rc);
/* Tests an offset result against true offset points. in: count values
 * (count >= 0) and their true offset points (count points of 3 doubles), both
 * in/out; tol (a distance >= 0); piece (the base) and result. A value u passes when
 * the foot F of its point E on result (Newton from u, the global nearest point
 * when that fails) lies within 0.75 offset_tol of E and within max(tol, 0.75
 * offset_tol) of result(u). out: the failing values and points moved to the front
 * of the arrays in order, their count *kept; fail_spans (room for count int32)
 * the piece's spans of the failing values, consecutive duplicates once, *nfail of
 * them; *all_passed TRUE when none failed. Statuses: -2 count < 0, tol negative or
 * not finite, a value or point not finite; 33. */
KW_API void BStstspn1(int32_t count, double tol, double *values, double *points,
                      const BScurve *piece, const BScurve *result, int32_t *nfail,
                      int32_t *fail_spans, int32_t *kept, BSboolean *all_passed, BSrc *rc);
/* Brings two curves to a common order: the lower-order one is raised (shape kept)
 * and its record replaced by a new one (the old record, which must come from
 * BSallocqelcv, is released). in/out: *curve1, *curve2. out: *order, the common
 * order; *num_poles, the pole count of their join (sum less one). Statuses: -13;
 * 33; those of BSupthedeg. On failure a curve not yet raised is unchanged. */
KW_API void BSofupdeg(BScurve **curve1, BScurve **curve2, int16_t *order, int32_t *num_poles,
                      BSrc *rc);

#ifdef __cplusplus
}
#endif

#endif /* KNOTWORK_H */
