"""The Curve class: a NURBS curve in 3D held as numpy arrays."""

import ctypes

import numpy as np

from . import _lib
from ._lib import RC, BScurve, call, doubles, ptr


def _as_param_array(u):
    arr = doubles(np.atleast_1d(u))
    if arr.ndim != 1:
        raise ValueError("parameters must be a scalar or a 1-D array")
    return arr


class Curve:
    """A B-spline curve in 3D, rational when it has weights.

    poles: (n, 3) Cartesian poles; knots: n + order values; weights: n values or
    None. Operations return new curves and leave this one unchanged.
    """

    def __init__(self, poles, knots, weights=None, periodic=False):
        self._poles = doubles(poles).reshape(-1, 3).copy()
        self._knots = doubles(knots).ravel().copy()
        self._weights = None if weights is None else doubles(weights).ravel().copy()
        self._periodic = bool(periodic)
        n = len(self._poles)
        order = len(self._knots) - n
        if order < 2 or n < order:
            raise ValueError(f"{n} poles and {len(self._knots)} knots make no curve")
        if self._weights is not None and len(self._weights) != n:
            raise ValueError("one weight per pole is needed")
        self._order = order
        self._record = None

    # ---- the library record ------------------------------------------------

    def _rec(self):
        """A BScurve over buffers owned by this object (built once)."""
        if self._record is None:
            n = len(self._poles)
            if self._weights is None:
                self._wpoles = self._poles.copy()
            else:
                self._wpoles = self._poles * self._weights[:, None]
            self._record = BScurve(self._order, int(self._periodic), 1, n, ptr(self._wpoles),
                                   len(self._knots), ptr(self._knots),
                                   int(self._weights is not None), ptr(self._weights), 0, 0, 0,
                                   None)
        return ctypes.byref(self._record)

    @classmethod
    def _from_record(cls, rec):
        """A Curve with copies of the arrays of a library record."""
        n, k = rec.num_poles, rec.order
        poles = np.ctypeslib.as_array(rec.poles, (n, 3)).copy()
        knots = np.ctypeslib.as_array(rec.knots, (n + k,)).copy()
        weights = None
        if rec.rational:
            weights = np.ctypeslib.as_array(rec.weights, (n,)).copy()
            poles /= weights[:, None]
        return cls(poles, knots, weights, bool(rec.periodic))

    @classmethod
    def _take(cls, pointer):
        """A Curve from a record the library allocated; the record is released."""
        try:
            return cls._from_record(pointer.contents)
        finally:
            call("BSfreeqelcv", pointer, RC)

    @staticmethod
    def _blank(num_poles, num_knots, rational):
        """A record with buffers for a result; returns (record, buffers)."""
        bufs = [np.zeros((num_poles, 3)), np.zeros(num_knots),
                np.zeros(num_poles) if rational else None]
        rec = BScurve(0, 0, 0, 0, ptr(bufs[0]), 0, ptr(bufs[1]), int(rational), ptr(bufs[2]),
                      0, 0, 0, None)
        return rec, bufs

    # ---- properties --------------------------------------------------------

    order = property(lambda self: self._order, doc="degree + 1")
    degree = property(lambda self: self._order - 1)
    poles = property(lambda self: self._poles.copy(), doc="(n, 3) Cartesian poles")
    knots = property(lambda self: self._knots.copy())
    weights = property(lambda self: None if self._weights is None else self._weights.copy())
    rational = property(lambda self: self._weights is not None)
    periodic = property(lambda self: self._periodic)

    @property
    def domain(self):
        """(start, end) parameters."""
        return (float(self._knots[self._order - 1]), float(self._knots[len(self._poles)]))

    @property
    def closed(self):
        """True when the end points coincide within the distance tolerance."""
        rec = BScurve.from_buffer_copy(self._rec()._obj)
        call("BScvtstclsd", ctypes.byref(rec), RC)
        return bool(rec.phy_closed)

    def __repr__(self):
        kind = "rational " if self.rational else ""
        return f"<knotwork.Curve {kind}order {self._order}, {len(self._poles)} poles>"

    # ---- text dumps --------------------------------------------------------

    @classmethod
    def from_dump(cls, text):
        """Reads one curve from the text of an unlabelled dump."""
        data = text.encode()
        stream = _lib.libc.fmemopen(data, len(data), b"r")
        if not stream:
            raise OSError("fmemopen failed")
        try:
            return cls._read_stream(stream)
        finally:
            _lib.libc.fclose(stream)

    @classmethod
    def read(cls, path):
        """Reads one curve from a dump file."""
        stream = _lib.libc.fopen(str(path).encode(), b"r")
        if not stream:
            raise OSError(f"cannot open {path}")
        try:
            return cls._read_stream(stream)
        finally:
            _lib.libc.fclose(stream)

    @classmethod
    def _read_stream(cls, stream):
        out = _lib.CV()
        rc = ctypes.c_int32(0)
        _lib.clear_trace()
        _lib.lib.BSreadcv(stream, ctypes.byref(out), ctypes.byref(rc))
        if out:  # statuses 2 and 49 may still hand out a record
            curve = cls._take(out)
            if rc.value == 0:
                return curve
        raise _lib.KnotworkError("BSreadcv", rc.value, _lib.trace())

    def dumps(self, name="curve"):
        """The unlabelled dump text, as BSreadcv reads it."""
        rec = self._rec()
        return _lib.capture(lambda s: _lib.lib.BSprintbspc(s, name.encode(), rec, 0))

    def write(self, path, name="curve"):
        with open(path, "w") as f:
            f.write(self.dumps(name))

    # ---- evaluation --------------------------------------------------------

    def evaluate(self, u, derivatives=0):
        """Points (derivatives 0: shape (3,) or (m, 3)) or points and derivatives
        (shape (d+1, 3) or (m, d+1, 3)) at a parameter or an array of them."""
        scalar = np.ndim(u) == 0
        pars = _as_param_array(u)
        d = int(derivatives)
        out = np.zeros((len(pars), d + 1, 3))
        if 0 <= d <= 2:
            # The sweep walks the spans forward: it needs ascending parameters.
            order = None
            if np.any(np.diff(pars) < 0):
                order = np.argsort(pars, kind="stable")
                pars = doubles(pars[order])
            call("BScvarreval", RC, self._rec(), ptr(pars), len(pars), d, ptr(out))
            if order is not None:
                out[order] = out.copy()
        else:
            for i, p in enumerate(pars):
                call("BScveval", self._rec(), float(p), d, ptr(out[i]), RC)
        if d == 0:
            out = out[:, 0, :]
        return out[0] if scalar else out

    __call__ = evaluate

    # ---- modification ------------------------------------------------------

    def insert_knot(self, u, times=1):
        """The same curve with u inserted times more (keeps the shape)."""
        out = _lib.CV()
        call("BSadd_1kt_mul", self._rec(), float(u), int(times), 0, ctypes.byref(out), RC)
        return Curve._take(out)

    def split(self, u):
        """(left, right) halves at u; a side of no length is None."""
        n, k = len(self._poles), self._order
        left, lbufs = self._blank(n + k, n + 2 * k, self.rational)
        right, rbufs = self._blank(n + k, n + 2 * k, self.rational)
        uu = ctypes.c_double(u)
        call("BScvsplit", RC, self._rec(), ctypes.byref(uu), ctypes.byref(left),
             ctypes.byref(right), None)
        return tuple(Curve._from_record(r) if r.num_poles > 0 else None for r in (left, right))

    def extract(self, ua, ub):
        """The part of the curve between ua and ub."""
        n, k = len(self._poles), self._order
        out, bufs = self._blank(n + 2 * (k - 1), n + 3 * k, self.rational)
        a, b = ctypes.c_double(ua), ctypes.c_double(ub)
        call("BSactivsplt", RC, self._rec(), ctypes.byref(a), ctypes.byref(b),
             ctypes.byref(out), None)
        return Curve._from_record(out)

    def reversed(self):
        """The curve run backwards over the same domain."""
        copy = Curve(self._poles, self._knots, self._weights, self._periodic)
        call("BSrev_cv", RC, copy._rec())
        return Curve._from_record(copy._record)

    def elevate(self, degree):
        """The same shape raised to the given degree."""
        if degree == self.degree:
            return Curve(self._poles, self._knots, self._weights, self._periodic)
        copy = Curve(self._poles, self._knots, self._weights, self._periodic)
        out = _lib.CV()
        call("BSupthedeg", copy._rec(), int(degree), 0, ctypes.byref(out), RC)
        return Curve._take(out)

    def bezier_pieces(self):
        """One Bezier curve per span of non-zero length."""
        n, k = len(self._poles), self._order
        count = n - k + 1
        recs = (BScurve * count)()
        keep = []
        for i in range(count):
            rec, bufs = self._blank(k, 2 * k, self.rational)
            recs[i] = rec
            keep.append(bufs)
        got = ctypes.c_int32(0)
        call("BScvtobz", RC, self._rec(), ctypes.byref(got), recs)
        return [Curve._from_record(recs[i]) for i in range(got.value)]

    # ---- queries -----------------------------------------------------------

    def box(self):
        """(min, max) corners of the axis-aligned box of the poles."""
        lo, hi = np.zeros(3), np.zeros(3)
        rec = self._record if self._record is not None else self._rec()._obj
        n = ctypes.c_int32(len(self._poles))
        call("BSbx2", RC, ctypes.byref(n), rec.poles, rec.weights, ptr(lo), ptr(hi))
        return lo, hi

    def nearest(self, point):
        """(parameter, foot point, distance) of the curve point nearest to point;
        for an (m, 3) array of points, arrays of each."""
        pts = doubles(point)
        if pts.ndim == 2:
            m = len(pts)
            params, feet, dists = np.zeros(m), np.zeros((m, 3)), np.zeros(m)
            near = ctypes.c_int16(0)
            call("BSmdstptscv", m, ptr(pts), self._rec(), ptr(params), ptr(feet), ptr(dists),
                 ctypes.byref(near), RC)
            return params, feet, dists
        pts = pts.reshape(3)
        u, dist, foot = ctypes.c_double(), ctypes.c_double(), np.zeros(3)
        call("BSmdstptcv", self._rec(), ptr(pts), ctypes.byref(u), ptr(foot), ctypes.byref(dist),
             RC)
        return u.value, foot, dist.value

    def all_nearest(self, point):
        """(parameters, intervals, distance): every nearest parameter, every interval
        of nearest parameters ((k, 2) array) and the distance."""
        pts = doubles(point).reshape(3)
        ni, np_ = ctypes.c_int16(), ctypes.c_int16()
        params, intervals = _lib.DP(), _lib.DP()
        dist = ctypes.c_double()
        try:
            call("BSmdistptcv", self._rec(), ptr(pts), ctypes.byref(ni), ctypes.byref(np_),
                 ctypes.byref(params), ctypes.byref(dist), ctypes.byref(intervals), RC)
            u = np.ctypeslib.as_array(params, (np_.value,)).copy() if params else np.zeros(0)
            iv = (np.ctypeslib.as_array(intervals, (ni.value, 2)).copy() if intervals
                  else np.zeros((0, 2)))
        finally:
            _lib.free(params)
            _lib.free(intervals)
        return u, iv, dist.value

    # ---- construction ------------------------------------------------------

    @classmethod
    def interpolate(cls, points, order=4, periodic=False, start_tangent=None, end_tangent=None):
        """The curve of the given order through the points ((n, 3)), optionally with
        end tangent directions; periodic needs the last point equal to the first."""
        pts = doubles(points).reshape(-1, 3)
        n = len(pts)
        st = None if start_tangent is None else doubles(start_tangent).reshape(3)
        et = None if end_tangent is None else doubles(end_tangent).reshape(3)
        rec, bufs = cls._blank(max(n + order - 1, 1), max(n + 2 * order - 1, 1), False)
        call("BSdirfitcv", n, ptr(pts), int(order), int(st is not None), int(et is not None),
             int(bool(periodic)), ptr(st), ptr(et), ctypes.byref(rec), RC)
        return cls._from_record(rec)

    @classmethod
    def fit(cls, points, num_poles, order=4):
        """Least-squares curve of the given order with num_poles poles through the
        points ((n, 3)), end points interpolated."""
        pts = doubles(points).reshape(-1, 3)
        n, m = len(pts), int(num_poles)
        pars, span = np.zeros(max(n, 1)), np.zeros(max(n, 1), dtype=np.int32)
        knots = np.zeros(m + order)
        nk = ctypes.c_int32(0)
        call("BSktsprsfft", n, ptr(pts), None, int(order), 0, m - order + 1, 0, 0, 0, ptr(pars),
             ctypes.byref(nk), ptr(knots), _lib.iptr(span), RC)
        poles = np.zeros((m, 3))
        call("BSfitratpts", n, ptr(pts), None, ptr(pars), _lib.iptr(span), int(order), m,
             ptr(knots), 3, 3, 0, 1, 0, 0, None, None, None, None, None, None, ptr(poles), None,
             RC)
        return cls(poles, knots[: m + order])

    # ---- circles and arcs --------------------------------------------------

    @classmethod
    def _arc_record(cls, name, points, extra=()):
        """Runs an arc constructor on a record with room for 7 poles (extra: its
        optional outputs after the record, passed as null)."""
        rec, bufs = cls._blank(7, 10, True)
        call(name, RC, *[ptr(doubles(p).reshape(3)) for p in points], ctypes.byref(rec), *extra)
        return cls._from_record(rec)

    @classmethod
    def circle(cls, centre, radius, normal):
        """The full circle about centre with the given radius, counterclockwise
        seen from normal."""
        rec, bufs = cls._blank(7, 10, True)
        r = ctypes.c_double(radius)
        call("BSprepcirc", RC, ptr(doubles(centre).reshape(3)), ctypes.byref(r),
             ptr(doubles(normal).reshape(3)), ctypes.byref(rec), None, None)
        return cls._from_record(rec)

    @classmethod
    def arc(cls, start, centre, end, normal):
        """The arc from start about centre to the ray of end, counterclockwise about
        normal."""
        return cls._arc_record("BSprepcarc", (start, centre, end, normal), (None, None))

    @classmethod
    def arc3(cls, p1, p2, p3):
        """The arc from p1 through p2 to p3."""
        return cls._arc_record("BSarc3pts", (p1, p2, p3))

    # ---- arc length --------------------------------------------------------

    def length(self, u0=None, u1=None):
        """Length between u0 and u1 (default: the domain ends)."""
        lo, hi = self.domain
        a = ctypes.c_double(lo if u0 is None else u0)
        b = ctypes.c_double(hi if u1 is None else u1)
        out = ctypes.c_double()
        call("BSarclength", RC, self._rec(), ctypes.byref(a), ctypes.byref(b), ctypes.byref(out))
        return out.value

    def at_length(self, s, start=None):
        """Parameter at length s from start (default: the domain start), toward the
        domain end, or toward the domain start when s is negative."""
        u0 = self.domain[0] if start is None else float(start)
        a, ln = ctypes.c_double(u0), ctypes.c_double(abs(s))
        d = ctypes.c_double(u0 + 1.0 if s >= 0 else u0 - 1.0)
        out = ctypes.c_double()
        call("BSiarcln", RC, self._rec(), ctypes.byref(a), ctypes.byref(ln), ctypes.byref(d),
             ctypes.byref(out))
        return out.value

    # ---- intersections -----------------------------------------------------

    def intersect_plane(self, point, normal):
        """(points (m, 3), params (m,), intervals (k, 2)) where the curve meets the
        plane through point normal to normal; intervals are stretches lying in it."""
        spans = len(self._poles) - self._order + 1
        room = self._order * spans
        pts, pars = np.zeros((room, 3)), np.zeros(room)
        starts, ends = np.zeros(spans), np.zeros(spans)
        npt, niv = ctypes.c_int32(), ctypes.c_int32()
        call("BSpl_cv_int", RC, self._rec(), ptr(doubles(point).reshape(3)),
             ptr(doubles(normal).reshape(3)), ctypes.byref(npt), ptr(pts), ptr(pars),
             ctypes.byref(niv), ptr(starts), ptr(ends))
        m, k = npt.value, niv.value
        return pts[:m].copy(), pars[:m].copy(), np.c_[starts[:k], ends[:k]]

    def intersect(self, other):
        """(points (m, 3), params (m, 2): parameter on this curve and on other,
        overlaps): overlaps is a list of (end points (2, 3), this curve's parameter
        range (2,), other's range (2,)) for stretches where the curves coincide."""
        counts = [ctypes.c_int32(), ctypes.c_int32()]
        arrays = [_lib.DP() for _ in range(6)]
        refs = [ctypes.byref(a) for a in arrays]
        try:
            call("BScvcv_int", RC, self._rec(), other._rec(), ctypes.byref(counts[0]), *refs[:3],
                 ctypes.byref(counts[1]), *refs[3:])
            m, k = counts[0].value, counts[1].value

            def take(a, shape):
                return np.ctypeslib.as_array(a, shape).copy() if a else np.zeros(shape)

            pts = take(arrays[0], (m, 3))
            pars = np.c_[take(arrays[1], (m,)), take(arrays[2], (m,))]
            op = take(arrays[3], (k, 2, 3))
            o1, o2 = take(arrays[4], (k, 2)), take(arrays[5], (k, 2))
        finally:
            for a in arrays:
                _lib.free(a)
        return pts, pars, [(op[i], o1[i], o2[i]) for i in range(k)]

    # ---- joins and knot removal --------------------------------------------

    def join(self, other):
        """One curve from this and other meeting at any pair of ends (reversed as
        needed, the lower degree raised), knots normalised to [0, 1]."""
        k = max(self._order, other._order)
        room = sum(len(c._poles) + (k - c._order) * (len(c._poles) - c._order + 1)
                   for c in (self, other))
        rec, bufs = self._blank(room, room + k, True)
        call("BSmerge_cv", RC, self._rec(), other._rec(), ctypes.byref(rec))
        return Curve._from_record(rec)

    def remove_knots(self, tol):
        """The curve with every interior knot removed that keeps it within distance
        tol of this one."""
        n = len(self._poles)
        rec, bufs = self._blank(n, n + self._order, self.rational)
        call("BSrmktsnchg", self._rec(), float(tol), ctypes.byref(rec), RC)
        return Curve._from_record(rec)

    # ---- offsets -----------------------------------------------------------

    def offset(self, d, toward, extend_corners=False, loops="cut"):
        """The offset at distance |d| in the curve's plane (for a straight line the
        plane through it and toward), on the side of the point toward (d < 0: the
        other side); every point lies within offset_tol of |d| from the curve.
        Corners are rounded (extend_corners: extended along their tangents where
        they turn by less than 120 degrees). loops: "cut" cuts the loops of the
        offset away, "keep" keeps them, "return" cuts them and returns
        (offset, [loops as closed curves]). A piece still short of offset_tol after
        the refinement passes gives a RuntimeWarning (the offset is returned)."""
        codes = {"keep": 0, "return": 1, "cut": 2}
        if loops not in codes:
            raise ValueError('loops must be "cut", "keep" or "return"')
        dist, corner = ctypes.c_double(d), ctypes.c_int32(1 if extend_corners else 0)
        code, count = ctypes.c_int16(codes[loops]), ctypes.c_int32()
        result, array = _lib.CV(), ctypes.POINTER(_lib.CV)()
        _lib.clear_trace()
        rc = ctypes.c_int32(0)
        _lib.lib.BScvoffset(ctypes.byref(rc), self._rec(), ctypes.byref(dist),
                            ptr(doubles(toward).reshape(3)), ctypes.byref(corner),
                            ctypes.byref(code), ctypes.byref(result), ctypes.byref(count),
                            ctypes.byref(array))
        if rc.value not in (0, 5):
            raise _lib.KnotworkError("BScvoffset", rc.value, _lib.trace())
        if rc.value == 5:
            import warnings
            warnings.warn("offset: some piece is short of offset_tol", RuntimeWarning)
        curve = Curve._take(result)
        pieces = [Curve._take(array[i]) for i in range(count.value)]
        if array:
            _lib.lib.BSdbgfree(array)
        return (curve, pieces) if loops == "return" else curve
