"""Knotwork from Python: NURBS curves over the libknotwork shared library.

    >>> import knotwork
    >>> c = knotwork.Curve([[0, 0, 0], [1, 2, 0], [3, 2, 0], [4, 0, 0]], [0, 0, 0, 0, 1, 1, 1, 1])
    >>> c.evaluate(0.5)
    array([2. , 1.5, 0. ])

The library is found through KNOTWORK_LIBRARY, the build tree next to this
package, or the system's library path. A failing status raises KnotworkError.
"""

from ._lib import KnotworkError, debug_level, lib
from .curve import Curve

__all__ = ["Curve", "KnotworkError", "debug_level", "lib"]
