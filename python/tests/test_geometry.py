"""Circles, arc length, intersections, joins and knot removal through the binding."""

import ctypes

import numpy as np
import pytest

import knotwork
from knotwork import Curve, KnotworkError

C, R, N = np.array([1.0, 2.0, 3.0]), 2.5, np.array([1.0, 1.0, 1.0])
U = np.linspace(0, 1, 37)


def on_circle(pts, centre, radius, normal):
    d = pts - centre
    return (np.allclose(np.linalg.norm(d, axis=1), radius, atol=1e-12)
            and np.allclose(d @ (normal / np.linalg.norm(normal)), 0, atol=1e-12))


def test_circles_and_arcs_lie_on_their_circles():
    circ = Curve.circle(C, R, N)
    assert circ.closed and on_circle(circ(U), C, R, N)
    start, end = C + [R, 0, 0], C + [0, 0, R]
    arc = Curve.arc(start, C, end, [0, -1, 0])  # from +x toward +z: a quarter turn
    assert on_circle(arc(U), C, R, [0, 1, 0])
    assert np.allclose(arc(0.0), start) and np.allclose(arc(1.0), end)
    p = [[0, 0, 0], [1, 1, 0], [2, 0, 0]]  # circle about (1, 0, 0), radius 1
    three = Curve.arc3(*p)
    assert on_circle(three(U), [1, 0, 0], 1, [0, 0, 1])
    assert np.allclose(three(0.5), p[1]) and np.allclose(three(1.0), p[2])
    with pytest.raises(KnotworkError) as err:
        Curve.arc3(p[0], p[0], p[2])
    assert err.value.status == -7


def test_length_and_its_inverse():
    circ = Curve.circle(C, R, N)
    assert circ.length() == pytest.approx(2 * np.pi * R, rel=1e-9)
    quarter = Curve.arc([1, 0, 0], [0, 0, 0], [0, 1, 0], [0, 0, 1])
    assert quarter.length() == pytest.approx(np.pi / 2, rel=1e-9)
    for u in (0.2, 0.55, 0.9):
        s = circ.length(0.0, u)
        assert circ.at_length(s) == pytest.approx(u, abs=1e-9)
        assert circ.at_length(-s, u) == pytest.approx(0.0, abs=1e-9)


def test_circle_cut_by_a_plane():
    circ = Curve.circle([0, 0, 0], 2, [0, 0, 1])
    pts, pars, intervals = circ.intersect_plane([1, 0, 0], [1, 0, 0])  # x = 1
    assert len(pts) == 2 and len(intervals) == 0
    assert np.allclose(sorted(pts[:, 1]), [-np.sqrt(3), np.sqrt(3)], atol=1e-10)
    assert np.allclose(circ(pars), pts, atol=1e-10)
    assert len(circ.intersect_plane([0, 0, 5], [0, 0, 1])[0]) == 0


def test_curve_curve_crossing_and_overlap():
    circ = Curve.circle([0, 0, 0], 1, [0, 0, 1])
    line = Curve([[-2, 0.5, 0], [2, 0.5, 0]], [0, 0, 1, 1])
    pts, pars, overlaps = line.intersect(circ)
    h = np.sqrt(0.75)
    assert np.allclose(pts, [[-h, 0.5, 0], [h, 0.5, 0]], atol=1e-9) and not overlaps
    assert np.allclose(line(pars[:, 0]), pts, atol=1e-9)
    assert np.allclose(circ(pars[:, 1]), pts, atol=1e-9)
    part = Curve([[0, 0.5, 0], [1, 0.5, 0]], [0, 0, 1, 1])
    pts, pars, overlaps = line.intersect(part)
    assert len(overlaps) == 1
    ends, r1, r2 = overlaps[0]
    assert np.allclose(r1, [0.5, 0.75]) and np.allclose(sorted(r2), [0, 1])


def test_join_reproduces_both_curves():
    a = Curve.arc([1, 0, 0], [0, 0, 0], [0, 1, 0], [0, 0, 1])
    b = Curve([[0, 1, 0], [-1, 2, 0], [-2, 1, 1]], [0, 0, 0, 1, 1, 1])  # a parabola
    line = Curve([[3, 0, 0], [1, 0, 0]], [0, 0, 1, 1])  # meets a's start; order 2 raised
    for first, second in ((a, b), (a, b.reversed()), (a, line)):
        j = first.join(second)
        assert j.domain == (0.0, 1.0)
        feet = np.r_[first(U), second(U)]
        assert np.all(j.nearest(feet)[2] < 1e-9)
        assert j.length() == pytest.approx(first.length() + second.length(), rel=1e-9)
    with pytest.raises(KnotworkError):
        a.join(Curve([[5, 5, 5], [6, 6, 6]], [0, 0, 1, 1]))


def test_knot_removal_stays_within_tolerance():
    base = Curve([[0, 0, 0], [1, 2, 0], [3, 2, 1], [4, 0, 0]], [0, 0, 0, 0, 1, 1, 1, 1])
    fine = base
    for u in (0.2, 0.4, 0.6, 0.8):
        fine = fine.insert_knot(u)
    exact = fine.remove_knots(1e-9)
    assert len(exact.poles) == 4 and np.allclose(exact(U), base(U), atol=1e-9)
    wavy = Curve(np.c_[np.arange(9.0), np.sin(np.arange(9.0)), np.zeros(9)],
                 [0, 0, 0, 0, .1, .3, .5, .6, .8, 1, 1, 1, 1])
    for tol, most in ((0.1, 8), (0.5, 6)):
        less = wavy.remove_knots(tol)
        assert len(less.poles) <= most
        assert np.all(less.nearest(wavy(np.linspace(0, 1, 401)))[2] <= tol * (1 + 1e-9))


def test_offsets_keep_their_distance_and_cut_loops():
    circ = Curve.circle([0, 0, 0], 2.0, [0, 0, 1])
    for d, r in ((0.5, 2.5), (-0.5, 1.5)):  # toward a point outside, then away from it
        assert np.allclose(np.linalg.norm(circ.offset(d, [5, 5, 0])(U), axis=1), r, atol=1e-12)
    # A tight bump offset inward past its curvature radius: one loop cut away.
    bump = Curve([[0, 0, 0], [1, 0, 0], [1.5, 1.5, 0], [2, 0, 0], [3, 0, 0]],
                 [0, 0, 0, 0, 0.5, 1, 1, 1, 1])
    raw = bump.offset(0.4, [1.5, -3, 0], loops="keep")
    cut, loops = bump.offset(0.4, [1.5, -3, 0], loops="return")
    assert len(loops) == 1 and loops[0].closed
    base = bump(np.linspace(0, 1, 4001))
    near = [np.min(np.linalg.norm(base - p, axis=1)) for p in cut(np.linspace(0, 1, 400))]
    assert min(near) > 0.4 - 1e-3 and max(near) < 0.4 + 1e-3
    assert min(np.min(np.linalg.norm(base - p, axis=1)) for p in raw(np.linspace(0, 1, 400))) < 0.3
    with pytest.raises(KnotworkError) as err:
        Curve([[0, 0, 0], [1, 0, 0], [1, 1, 1], [0, 1, 2]], [0, 0, 0, 0, 1, 1, 1, 1]).offset(
            0.1, [0, 0, 5])
    assert err.value.status == -2
    with pytest.raises(ValueError):
        circ.offset(0.1, [5, 5, 0], loops="drop")


def test_no_memory_left_behind_at_debug_level_20():
    live = ctypes.c_int32.in_dll(knotwork.lib, "BSlist_al")  # first field: capacity
    count = ctypes.c_int32.from_address(ctypes.addressof(live) + 4)
    knotwork.debug_level.value = 20
    try:
        circ = Curve.circle([0, 0, 0], 1, [0, 0, 1])
        line = Curve([[-2, 0.5, 0], [2, 0.5, 0]], [0, 0, 1, 1])
        line.intersect(circ), line.intersect(Curve([[0, 0.5, 0], [1, 0.5, 0]], [0, 0, 1, 1]))
        circ.intersect_plane([0, 0, 0], [1, 0, 0]), circ.at_length(1.0)
        tail = Curve([[2, 0, 0], [3, 0, 0]], [0, 0, 1, 1])
        Curve.arc3([0, 0, 0], [1, 1, 0], [2, 0, 0]).join(tail)
        Curve([[0, 0, 0], [1, 0, 0], [1.5, 1.5, 0], [2, 0, 0], [3, 0, 0]],
              [0, 0, 0, 0, 0.5, 1, 1, 1, 1]).offset(0.4, [1.5, -3, 0], loops="return")
        with pytest.raises(KnotworkError):
            line.intersect(Curve([[0, 0, 0], [1, 1, 0]], [0, 0, 1, 0.5]))
        assert count.value == 0 and knotwork.lib.BSmemclean() == 0
    finally:
        knotwork.debug_level.value = 0
