"""magn_ml from Python: pelmor's magnitudes, NaN where there are none, and NumPy's rules."""
import contextlib, doctest, fractions, gc, os, subprocess, sys, numpy as np, pytest, magn_ml

F32, F64, NODES = np.float32, np.float64, np.r_[0:100:5, 100:600:10, 600:1001:100].astype(np.float32)  # its 75 distances
SNAN = {F32: np.uint32(0x7FA00000).view(F32), F64: np.uint64(0x7FF0000000000001).view(F64)}  # signalling NaNs
WEIGHTS = magn_ml.ml([1000] + [1] * 8, [100, 5, 10, 15, 20, 25, 30, 35, 40])  # pelmor -n's weight rows in their order
SHRUNK = np.array([type("", (), {"__float__": lambda s: SHRUNK.resize(1, refcheck=False) or 2.0})()] + [1.0] * 10**5 + [None])


def test_magnitudes_are_those_pelmor_prints():
    rng, edges = np.random.default_rng(29), np.concatenate([NODES, np.nextafter(NODES, 0), np.nextafter(NODES, 2000)])
    km = np.concatenate([rng.uniform(0.5, 1050, 100_000 - 2 * edges.size), edges, edges]).astype(F32)
    ampl = F32(10) ** rng.uniform(-4, 6, km.size).astype(F32)
    ampl[:8], km[8:12] = [0, -1, -0.0, np.inf, -np.inf, np.nan, 1e-30, 3e38], [np.nan, np.inf, -np.inf, -0.0]
    lines = "".join("%.9g %.9g\n" % pair for pair in zip(ampl.tolist(), km.tolist()))
    printed = subprocess.run([os.environ["PELMOR"], "-"], input=lines, capture_output=True, text=True).stdout
    ml = magn_ml.ml(ampl, km)
    assert ml.dtype == F32 and printed.split("\n")[:-1] == ["" if np.isnan(m) else "%4.2f" % m for m in ml.tolist()]
    a64, km64 = ampl * rng.uniform(0.999, 1.001, km.size), rng.uniform(0.999, 1.001, km.size) * km
    np.testing.assert_array_equal(magn_ml.ml(a64, km64), magn_ml.ml(a64.astype(F32), km64.astype(F32)))


@pytest.mark.parametrize("dtype", [F32, F64])
@pytest.mark.parametrize("ampl, km, printed", [
    (0, 50, "nan"), (-1, 50, "nan"), (np.nan, 50, "nan"), (np.inf, 50, "nan"), (-np.inf, 50, "nan"), (1000, 100, "6.00"),
    ("sNaN", 50, "nan"), (1, np.nan, "nan"), (1, 0.5, "nan"), (1, 1000, "nan"), (1, np.inf, "nan"), (1, -np.inf, "nan"),
    (1, "sNaN", "nan"), (1e300, 50, "nan"), (1e-300, 50, "nan"), (1, 1e300, "nan"), (1, 999.99999999, "nan"),
    (1, 999.9, "5.70"), (1, -1e300, "nan"), (3.4028235e38, 100, "41.53"), (1, 0.99999999999, "1.40"), (1e-40, 5, "-38.60"),
    (1, 32, "2.18")])
def test_no_magnitude_is_nan_and_raises_nothing(ampl, km, printed, dtype):
    with np.errstate(all="ignore"): ampl, km = (SNAN[dtype] if x == "sNaN" else dtype(x) for x in (ampl, km))  # own rounding
    with np.errstate(all="raise"): assert "%.2f" % magn_ml.ml(ampl, km) == printed


def test_a_ufunc_as_any_other():
    ampl, km, want = np.array([[1], [10]], F32), np.array([100, 600], F32), np.array([[3, 4.9], [4, 5.9]], F32)
    for got in (magn_ml.ml(ampl, km), magn_ml.ml.outer([1, 10], km)): np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(magn_ml.ml(ampl, km, out=np.full((2, 2), -1, F64), where=[True, False]), [[3, -1], [4, -1]])
    for dtype in (F32, F64):  # views whose steps differ (one, two and three elements), and the element after them
        a, d, out = np.array([1, 10, 100], dtype), np.array([100, 0, 600, 0, 32], dtype)[::2], np.zeros(12, dtype)
        np.testing.assert_array_equal([*magn_ml.ml(a, d, out=out[:9:3]), out[9]], [*magn_ml.ml(a, d.copy()), 0])
    assert magn_ml.ml(np.empty((0, 3), F32), 5).shape == (0, 3) and pytest.raises(TypeError, magn_ml.ml, 1)
    assert type(magn_ml.ml(1, 100)) is F64 and type(magn_ml.ml(np.float16(1), np.array(100, F32))) is F32


@pytest.mark.parametrize("ampl, km, result", [
    (np.int8, np.uint8, F32), (np.int16, np.uint16, F32), (np.float16, F32, F32), (np.int32, np.uint32, F64),
    (np.int64, np.uint64, F64), (F64, np.int8, F64), (np.longdouble, F32, TypeError), (F32, np.complex64, TypeError),
    (np.complex128, F64, TypeError), (object, F32, TypeError), (str, F32, TypeError), ("M8[s]", F32, TypeError)])
def test_dtypes(ampl, km, result):
    dtype = lambda: magn_ml.ml(np.array([100], ampl), np.array([100], km)).dtype
    assert pytest.raises(TypeError, dtype) if result is TypeError else dtype() == result


@pytest.mark.parametrize("station_ml, error, message", [(WEIGHTS[:0], None, "nan nan 0"),
    (WEIGHTS[:1], None, "6.00 nan 1"), (WEIGHTS[:2], None, "3.70 3.25 2"), (WEIGHTS[:3], None, "2.97 2.63 3"),
    (WEIGHTS[:4], None, "2.27 2.05 4"), (WEIGHTS[:8], None, "1.85 0.31 6"), (WEIGHTS, None, "1.93 0.34 7"),
    (np.array([True, False, True]), None, "0.67 0.58 3"), (np.uint8([3, 4]), None, "3.50 0.71 2"),
    (np.r_[1., 9, 2, 9, 3][::2], None, "2.00 1.00 3"), (np.array([-1, F32(2)], object), None, "0.50 2.12 2"),
    ([3.0, np.nan], ValueError, r"nan \(index 1\)"), ((2.0, -np.inf), ValueError, "-inf"), ([1e300], ValueError, "1e"),
    ([10**5000, fractions.Fraction(1)], ValueError, r"index 0\)? is not"), (np.r_[SNAN[F32]], ValueError, "nan"),
    ([[1.0]], ValueError, "one dim"), (np.broadcast_to(F32(1), 2**40), ValueError, "more than 2147483647"),
    ("3.5", TypeError, "str"), (3.5, TypeError, "float"), (["3.5"], TypeError, "str"), ([1, None], TypeError, "None"),
    ([1j], TypeError, "complex"), (np.ones(1, "m8"), TypeError, "timedelta"), (np.array([1], "M8[s]"), TypeError, "datetime"),
    (np.ones(1, np.longdouble), TypeError, "float64 holds"), ([np.longdouble(1), 2**70], TypeError, "float64 holds"),
    (type("", (), {"__array__": lambda s: np.ma.array([3.0], mask=[1])})(), TypeError, "compressed"),  # masked
    ([type("", (), {"__float__": lambda s: 1e300 ** 2})()], OverflowError, "range"), (SHRUNK, TypeError, "NoneType"),
    (WEIGHTS[:3].view(type("", (np.ndarray,), {"__len__": lambda s: 1, "__iter__": None})), None, "2.97 2.63 3")])  # its data
def test_network(station_ml, error, message):  # message: ML SD N, the same in each form, which is left as it was
    if error: pytest.raises(error, magn_ml.network, station_ml).match(message)
    forms = () if error else (station_ml, station_ml.tolist(), station_ml.astype(F32), station_ml.astype(object))
    assert error or {"%.2f %.2f %d" % magn_ml.network(f) for f in forms} == {message} and station_ml.tolist() == forms[1]


@pytest.mark.parametrize("holds", [  # the table, the documents, references, and NumPy's flag on a NaN cast to int in buffer 2
    lambda t=magn_ml.ML_SIGMA: t.dtype == F32 and t[32] == F32(3.65) and (magn_ml.ml(1, NODES[1:-1]) == t[1:-1]).all(),
    lambda t=magn_ml.ML_SIGMA: pytest.raises(ValueError, t.setflags, write=True) and magn_ml.ml.identity is None,
    lambda: doctest.testmod(magn_ml) == (0, 4) and "Wood-Anderson" in magn_ml.ml.__doc__ and magn_ml.ml.ntypes == 2,
    lambda: [o.nbytes for o in gc.get_objects() if type(o) is memoryview].count(magn_ml.ML_SIGMA.nbytes) == 1,
    lambda: {sys.getrefcount(o) - len(gc.get_referrers(o)) for o in (magn_ml.ml, np.ma)} == {2},  # o's and the call's own
    lambda: pytest.raises(FloatingPointError, magn_ml.ml, np.arange(10**4), 1, out=np.empty(10**4, int), casting="unsafe")])
def test_module(holds):
    with np.errstate(all="raise"): assert holds()


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer keeps freed memory")
def test_memory_stays_flat_over_a_million_calls():
    calls = [lambda: magn_ml.ml(1.0, 100.0), lambda: magn_ml.network([3.0, 2.0]),
             lambda: magn_ml.network([1.0, np.nan]), lambda: magn_ml.network([float("2.5"), None]),
             lambda: magn_ml.network(np.array([2.5, np.datetime64(1, "s")], object))]  # a dtype made for its element
    for count in (20_000, 1_000_000):
        pages = np.loadtxt("/proc/self/statm")[1]
        for i in range(count):
            with contextlib.suppress(ValueError, TypeError): calls[i % 5]()
    assert (np.loadtxt("/proc/self/statm")[1] - pages) * os.sysconf("SC_PAGE_SIZE") < 2 << 20
