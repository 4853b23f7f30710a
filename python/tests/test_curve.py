"""The binding against the library's own results and against geometry."""

import ctypes
import os

import numpy as np
import pytest

import knotwork
from knotwork import Curve, KnotworkError

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples")
S = np.sqrt(0.5)


def circle():
    return Curve([[1, 0, 0], [1, 1, 0], [0, 1, 0]], [0, 0, 0, 1, 1, 1], [1, S, 1])


def wave():
    rng = np.random.default_rng(7)
    poles = np.c_[np.arange(7.0), rng.uniform(-2, 2, 7), rng.uniform(-1, 1, 7)]
    return Curve(poles, [0, 0, 0, 0, 0.2, 0.5, 0.5, 1, 1, 1, 1], rng.uniform(0.5, 2, 7))


CURVES = [circle, wave]
U = np.linspace(0, 1, 41)


@pytest.mark.parametrize("make", CURVES)
def test_array_sweep_matches_pointwise_evaluator(make):
    c = make()
    swept = c.evaluate(U, 2)  # BScvarreval
    single = c.evaluate(U, 3)[:, :3]  # BScveval per parameter
    assert np.allclose(swept, single, atol=1e-12)
    assert np.allclose(c.evaluate(U[::-1]), swept[::-1, 0])
    h = 1e-6  # first derivative against central differences
    fd = (c.evaluate(U[1:-1] + h) - c.evaluate(U[1:-1] - h)) / (2 * h)
    assert np.allclose(fd, swept[1:-1, 1], atol=1e-5)


def test_circle_points_and_properties():
    c = circle()
    assert np.allclose(np.linalg.norm(c.evaluate(U), axis=1), 1, atol=1e-14)
    assert (c.order, c.domain, c.rational, c.closed) == (3, (0.0, 1.0), True, False)
    read = Curve.read(os.path.join(EXAMPLES, "quarter_circle.cv"))
    assert np.allclose(read.evaluate(U), c.evaluate(U))


@pytest.mark.parametrize("make", CURVES)
def test_modifications_keep_the_shape(make):
    c = make()
    p = c.evaluate(U)
    assert np.allclose(c.insert_knot(0.3, 2).evaluate(U), p)
    assert np.allclose(c.elevate(c.degree + 2).evaluate(U), p)
    assert np.allclose(c.reversed().evaluate(1 - U), p)
    left, right = c.split(0.37)
    assert np.allclose(left.evaluate(1 * left.domain[1]), right.evaluate(right.domain[0]))
    assert np.allclose(left.evaluate(U * 0.37), c.evaluate(U * 0.37))
    assert np.allclose(right.evaluate(0.37 + U * 0.63), c.evaluate(0.37 + U * 0.63))
    assert c.split(0.0)[0] is None
    part = c.extract(0.8, 0.1)
    assert part.domain == (0.1, 0.8)
    assert np.allclose(part.evaluate(0.1 + 0.7 * U), c.evaluate(0.1 + 0.7 * U))
    for piece in c.bezier_pieces():
        a, b = piece.domain
        assert len(piece.poles) == piece.order
        assert np.allclose(piece.evaluate(a + (b - a) * U), c.evaluate(a + (b - a) * U))
    again = Curve.from_dump(c.dumps())
    assert np.array_equal(again.knots, c.knots) and np.allclose(again.poles, c.poles)


@pytest.mark.parametrize("make", CURVES)
def test_box_and_nearest_points(make):
    c = make()
    lo, hi = c.box()
    p = c.evaluate(U)
    assert np.all(p >= lo - 1e-12) and np.all(p <= hi + 1e-12)
    q = np.array([[0.3, 2.0, 1.0], [5.0, -3.0, 0.5], [2.0, 0.1, -0.2]])
    us, feet, dists = c.nearest(q)
    dense = c.evaluate(np.linspace(0, 1, 4001))
    for i in range(len(q)):
        u, foot, d = c.nearest(q[i])
        assert (u, d) == pytest.approx((us[i], dists[i]), abs=1e-12)
        assert np.allclose(foot, c.evaluate(u)) and d == pytest.approx(np.linalg.norm(foot - q[i]))
        assert d <= np.linalg.norm(dense - q[i], axis=1).min() + 1e-12
        all_u, _, all_d = c.all_nearest(q[i])
        assert all_d == pytest.approx(d) and np.any(np.abs(all_u - u) < 1e-7)


def test_all_nearest_of_the_centre_is_the_whole_arc():
    params, intervals, dist = circle().all_nearest([0, 0, 0])
    assert len(params) == 0 and np.allclose(intervals, [[0, 1]]) and dist == pytest.approx(1)


def test_interpolation_and_fit_pass_through_the_points():
    t = np.linspace(0, 3, 12)
    pts = np.c_[t, np.sin(t), 0.1 * t**2]
    c = Curve.interpolate(pts, order=4)
    assert np.allclose(c.nearest(pts)[2], 0, atol=1e-9)
    f = Curve.fit(pts, 6)
    assert len(f.poles) == 6 and np.allclose(f.evaluate([0, 1]), pts[[0, -1]])
    assert f.nearest(pts)[2].max() < 0.05


def test_failures_raise_with_status_and_trace():
    with pytest.raises(KnotworkError) as err:
        circle().insert_knot(2.0)
    assert err.value.status == -2 and "error in BSadd_1kt_mul, rc = -2" in err.value.trace
    with pytest.raises(KnotworkError) as err:
        Curve.from_dump("BScurve\norder 3\nrubbish\n")
    assert err.value.status == -1
    with pytest.raises(KnotworkError):
        Curve.interpolate([[0, 0, 0], [1, 1, 0]], order=4)
    with pytest.raises(ValueError):
        Curve([[0, 0, 0]], [0, 1])


def test_no_memory_left_behind_at_debug_level_20():
    live = ctypes.c_int32.in_dll(knotwork.lib, "BSlist_al")  # first field: capacity
    count = ctypes.c_int32.from_address(ctypes.addressof(live) + 4)
    knotwork.debug_level.value = 20
    try:
        for make in CURVES:
            c = make()
            c.insert_knot(0.4), c.elevate(c.degree + 1), c.all_nearest([0, 0, 0])
            Curve.from_dump(c.dumps())
            with pytest.raises(KnotworkError):
                c.insert_knot(-1.0)
        assert count.value == 0 and knotwork.lib.BSmemclean() == 0
    finally:
        knotwork.debug_level.value = 0


def test_readme_session_runs():
    with open(os.path.join(HERE, "..", "..", "README.md")) as f:
        text = f.read()
    code = text.split("```python\n", 1)[1].split("```", 1)[0]
    scope = {}
    exec(code, scope)
    assert scope["u"] == pytest.approx(0.5) and scope["dist"] == pytest.approx(1.5)


def test_files_and_closed_curves(tmp_path):
    c = wave()
    c.write(tmp_path / "wave.cv")
    again = Curve.read(tmp_path / "wave.cv")
    assert np.allclose(again.poles, c.poles) and np.allclose(again.weights, c.weights)
    square = Curve([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0], [0, 0, 0]], [0, 0, 1, 2, 3, 4, 4])
    assert square.closed and not c.closed
    with pytest.raises(OSError):
        Curve.read(tmp_path / "none.cv")
    with pytest.raises(KnotworkError) as err:
        Curve.from_dump("")
    assert err.value.status == 2
