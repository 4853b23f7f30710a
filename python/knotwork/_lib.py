"""ctypes access to the Knotwork shared library: loading, prototypes, status calls.

A new family of routines needs a line in PROTOTYPES per routine and a method that
calls ``call(name, ...)`` with ``RC`` where the status pointer goes.
"""

import ctypes
import ctypes.util
import os

import numpy as np

c_double_p = ctypes.POINTER(ctypes.c_double)
c_int32_p = ctypes.POINTER(ctypes.c_int32)
c_int16_p = ctypes.POINTER(ctypes.c_int16)


class BScurve(ctypes.Structure):
    """The library's curve record (poles stored multiplied by their weights)."""

    _fields_ = [
        ("order", ctypes.c_int16),
        ("periodic", ctypes.c_int16),
        ("non_uniform", ctypes.c_int16),
        ("num_poles", ctypes.c_int32),
        ("poles", c_double_p),
        ("num_knots", ctypes.c_int32),
        ("knots", c_double_p),
        ("rational", ctypes.c_int16),
        ("weights", c_double_p),
        ("planar", ctypes.c_int16),
        ("phy_closed", ctypes.c_int16),
        ("num_boundaries", ctypes.c_int16),
        ("bdrys", c_double_p),
    ]


CV = ctypes.POINTER(BScurve)
CVP = ctypes.POINTER(CV)
D, I, S, B = ctypes.c_double, ctypes.c_int32, ctypes.c_int16, ctypes.c_int16
DP, IP, SP, BP = c_double_p, c_int32_p, c_int16_p, c_int16_p
RCP = c_int32_p
VP = ctypes.c_void_p  # FILE * and other opaque pointers

# name: (result type, argument types). Status pointers are RCP.
PROTOTYPES = {
    "BSdbgprint": (None, [VP]),
    "BSdbginit": (I, []),
    "BSdbgfree": (None, [VP]),
    "BSmemclean": (I, []),
    "BSfreeqelcv": (None, [CV, RCP]),
    "BSreadcv": (None, [VP, CVP, RCP]),
    "BSprintbspc": (B, [VP, ctypes.c_char_p, CV, B]),
    "BScveval": (None, [CV, D, I, DP, RCP]),
    "BScvarreval": (None, [RCP, CV, DP, I, I, DP]),
    "BSadd_1kt_mul": (None, [CV, D, I, B, CVP, RCP]),
    "BScvsplit": (B, [RCP, CV, DP, CV, CV, BP]),
    "BSactivsplt": (B, [RCP, CV, DP, DP, CV, BP]),
    "BSrev_cv": (B, [RCP, CV]),
    "BScvtstclsd": (None, [CV, RCP]),
    "BSupthedeg": (None, [CV, S, B, CVP, RCP]),
    "BScvtobz": (B, [RCP, CV, IP, CV]),
    "BSbx2": (B, [RCP, IP, DP, DP, DP, DP]),
    "BSmdstptcv": (None, [CV, DP, DP, DP, DP, RCP]),
    "BSmdstptscv": (None, [I, DP, CV, DP, DP, DP, BP, RCP]),
    "BSmdistptcv": (None, [CV, DP, SP, SP, ctypes.POINTER(DP), DP, ctypes.POINTER(DP), RCP]),
    "BSdirfitcv": (None, [I, DP, S, I, I, B, DP, DP, CV, RCP]),
    "BSktsprsfft": (None, [I, DP, DP, S, B, I, B, B, B, DP, IP, DP, IP, RCP]),
    "BSfitratpts": (None, [I, DP, DP, DP, IP, S, I, DP, I, I, B, I, I, I, DP, DP, DP,
                           DP, DP, DP, DP, DP, RCP]),
    "BSprepcirc": (B, [RCP, DP, DP, DP, CV, DP, IP]),
    "BSprepcarc": (B, [RCP, DP, DP, DP, DP, CV, DP, IP]),
    "BSarc3pts": (B, [RCP, DP, DP, DP, CV]),
    "BSarclength": (B, [RCP, CV, DP, DP, DP]),
    "BSiarcln": (B, [RCP, CV, DP, DP, DP, DP]),
    "BSpl_cv_int": (B, [RCP, CV, DP, DP, IP, DP, DP, IP, DP, DP]),
    "BScvcv_int": (B, [RCP, CV, CV, IP, ctypes.POINTER(DP), ctypes.POINTER(DP),
                       ctypes.POINTER(DP), IP, ctypes.POINTER(DP), ctypes.POINTER(DP),
                       ctypes.POINTER(DP)]),
    "BSmerge_cv": (B, [RCP, CV, CV, CV]),
    "BSrmktsnchg": (None, [CV, D, CV, RCP]),
    "BScvoffset": (B, [RCP, CV, DP, DP, IP, SP, CVP, IP, ctypes.POINTER(CVP)]),
}


def _candidates():
    env = os.environ.get("KNOTWORK_LIBRARY")
    if env:
        yield env
    here = os.path.dirname(os.path.abspath(__file__))
    # The build tree next to the source tree (python/knotwork -> build/).
    yield os.path.join(here, "..", "..", "build", "libknotwork.so")
    # An installed package: <prefix>/lib/python3/dist-packages/knotwork.
    yield os.path.normpath(os.path.join(here, "..", "..", "..", "libknotwork.so"))
    found = ctypes.util.find_library("knotwork")
    if found:
        yield found
    yield "libknotwork.so"


def _load():
    errors = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as exc:
            errors.append(str(exc))
    raise OSError("libknotwork not found (set KNOTWORK_LIBRARY): " + "; ".join(errors))


lib = _load()
for _name, (_res, _args) in PROTOTYPES.items():
    _fn = getattr(lib, _name)
    _fn.restype = _res
    _fn.argtypes = _args

libc = ctypes.CDLL(None)
libc.open_memstream.restype = VP
libc.open_memstream.argtypes = [ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
libc.fmemopen.restype = VP
libc.fmemopen.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p]
libc.fopen.restype = VP
libc.fopen.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
libc.fclose.argtypes = [VP]
libc.free.argtypes = [VP]

debug_level = ctypes.c_int32.in_dll(lib, "BSdbglev")


class KnotworkError(RuntimeError):
    """A library routine ended with a non-zero status.

    ``status`` is the status word, ``trace`` the library's error trace
    (BSdbgprint output: one "error in <routine>, rc = <code>" line per entry).
    """

    def __init__(self, routine, status, trace):
        self.routine = routine
        self.status = status
        self.trace = trace
        super().__init__(f"{routine} failed with status {status}\n{trace}".rstrip())


def capture(write):
    """Runs write(FILE *) on an in-memory stream and returns what it wrote."""
    buf = ctypes.c_char_p()
    size = ctypes.c_size_t()
    stream = libc.open_memstream(ctypes.byref(buf), ctypes.byref(size))
    if not stream:
        raise MemoryError("open_memstream failed")
    try:
        write(stream)
    finally:
        libc.fclose(stream)
    text = ctypes.string_at(buf, size.value).decode()
    libc.free(buf)
    return text


def trace():
    """The library's current error trace as text."""
    return capture(lib.BSdbgprint)


class _RcMarker:
    pass


RC = _RcMarker()  # stands for the status pointer in call()


def clear_trace():
    """Empties the library's error trace."""
    if debug_level.value != -99:  # at -99 BSdbginit would run the console checkers
        lib.BSdbginit()


def call(name, *args):
    """Calls routine name with RC replaced by a status pointer; raises on failure.

    Returns the routine's own result. The error trace is cleared first, so the
    exception carries only this call's trace.
    """
    clear_trace()
    rc = ctypes.c_int32(0)
    real = [ctypes.byref(rc) if a is RC else a for a in args]
    result = getattr(lib, name)(*real)
    if rc.value != 0:
        raise KnotworkError(name, rc.value, trace())
    return result


def doubles(values, shape=None):
    """A C-contiguous float64 copy-or-view of values (optionally reshaped)."""
    arr = np.ascontiguousarray(values, dtype=np.float64)
    if shape is not None:
        arr = arr.reshape(shape)
    return arr


def ptr(arr):
    """double * of a float64 array (None: NULL)."""
    if arr is None:
        return None
    return arr.ctypes.data_as(c_double_p)


def iptr(arr):
    return None if arr is None else arr.ctypes.data_as(c_int32_p)


def free(address):
    """Releases result memory the library handed out (BSdbgfree); NULL is skipped."""
    if address:
        lib.BSdbgfree(ctypes.cast(address, VP))
