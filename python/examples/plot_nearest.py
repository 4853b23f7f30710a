#!/usr/bin/env python3
"""Plots a curve through sample points, its control polygon and the nearest
points of a few query points into a PNG (default nearest.png).

    PYTHONPATH=python python3 python/examples/plot_nearest.py [out.png]
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import knotwork  # noqa: E402

t = np.linspace(0, 2 * np.pi, 9)
curve = knotwork.Curve.interpolate(np.c_[t, np.sin(t), np.zeros_like(t)], order=4)
queries = np.array([[1.0, -0.5, 0], [3.0, 1.2, 0], [4.5, 0.0, 0], [6.0, -1.6, 0]])
params, feet, dists = curve.nearest(queries)

u = np.linspace(*curve.domain, 400)
points = curve.evaluate(u)
fig, ax = plt.subplots(figsize=(8, 4))
ax.plot(points[:, 0], points[:, 1], "b-", label="curve")
ax.plot(curve.poles[:, 0], curve.poles[:, 1], "o--", color="0.6", label="poles")
for q, f in zip(queries, feet):
    ax.plot([q[0], f[0]], [q[1], f[1]], "r-", lw=0.8)
ax.plot(queries[:, 0], queries[:, 1], "rx", label="query points")
ax.plot(feet[:, 0], feet[:, 1], "r.", label="nearest points")
ax.set_aspect("equal")
ax.legend(loc="upper right", fontsize="small")
out = sys.argv[1] if len(sys.argv) > 1 else "nearest.png"
fig.savefig(out, dpi=120, bbox_inches="tight")
print(f"wrote {out}: distances {np.round(dists, 4)}")
