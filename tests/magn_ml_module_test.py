"""magn_ml from Python: pelmor's magnitudes, NaN where there are none, and NumPy's rules."""
import doctest
import os
import subprocess

import numpy as np
import pytest

import magn_ml

F32, F64 = np.float32, np.float64
NODES = np.r_[0:100:5, 100:600:10, 600:1001:100].astype(F32)  # the table's 75 distances


def test_magnitudes_are_those_pelmor_prints():
    rng = np.random.default_rng(29)
    edges = np.concatenate([NODES, np.nextafter(NODES, F32(0)), np.nextafter(NODES, F32(2000))])
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
    (0, 50, "nan"), (-1, 50, "nan"), (np.nan, 50, "nan"), (np.inf, 50, "nan"), (-np.inf, 50, "nan"),
    (1, np.nan, "nan"), (1, 0.5, "nan"), (1, 1000, "nan"), (1, np.inf, "nan"), (1, -np.inf, "nan"),
    (1e300, 50, "nan"), (1e-300, 50, "nan"), (1, 1e300, "nan"), (1, 999.99999999, "nan"), (1, -1e300, "nan"),
    (1, 0.99999999999, "1.40"), (1e-40, 5, "-38.60"), (1, 32, "2.18"), (1000, 100, "6.00"), (1, 999.9, "5.70")])
def test_no_magnitude_is_nan_and_raises_nothing(ampl, km, printed, dtype):
    with np.errstate(all="ignore"):  # the test's own rounding to float32
        ampl, km = dtype(ampl), dtype(km)
    with np.errstate(all="raise"):
        assert "%.2f" % magn_ml.ml(ampl, km) == printed


def test_a_ufunc_as_any_other():
    ampl, km, want = np.array([[1], [10]], F32), np.array([100, 600], F32), np.array([[3, 4.9], [4, 5.9]], F32)
    for got in (magn_ml.ml(ampl, km), magn_ml.ml.outer([1, 10], km)): np.testing.assert_array_equal(got, want)
    np.testing.assert_array_equal(magn_ml.ml(ampl, km, out=np.full((2, 2), -1, F64), where=[True, False]), [[3, -1], [4, -1]])
    for dtype in (F32, F64):  # views whose steps differ (one, two and three elements), and the element after them
        a, d, out = np.array([1, 10, 100], dtype), np.array([100, 0, 600, 0, 32], dtype)[::2], np.zeros(12, dtype)
        magn_ml.ml(a, d, out=out[:9:3])
        np.testing.assert_array_equal(out[::3], [*magn_ml.ml(a, d.copy()), 0])
    assert magn_ml.ml(np.empty((0, 3), F32), 5).shape == (0, 3) and pytest.raises(TypeError, magn_ml.ml, 1)
    assert type(magn_ml.ml(1, 100)) is F64 and type(magn_ml.ml(np.float16(1), np.array(100, F32))) is F32


@pytest.mark.parametrize("ampl, km, result", [
    (np.int8, np.uint8, F32), (np.int16, np.uint16, F32), (np.float16, F32, F32), (np.int32, np.uint32, F64),
    (np.int64, np.uint64, F64), (F64, np.int8, F64), (np.longdouble, F32, TypeError), (F32, np.complex64, TypeError),
    (np.complex128, F64, TypeError), (object, F32, TypeError), (str, F32, TypeError), ("M8[s]", F32, TypeError)])
def test_dtypes(ampl, km, result):
    dtype = lambda: magn_ml.ml(np.array([100], ampl), np.array([100], km)).dtype
    assert pytest.raises(TypeError, dtype) if result is TypeError else dtype() == result


@pytest.mark.parametrize("n, printed", [(0, "nan nan 0"), (1, "6.00 nan 1"), (2, "3.70 3.25 2"),
                                        (3, "2.97 2.63 3"), (4, "2.27 2.05 4"), (8, "1.85 0.31 6"), (9, "1.93 0.34 7")])
def test_network_as_pelmor_n(n, printed):  # 1000 at 100 km, then 1 at 5, 10, ... km: pelmor -n's weight rows
    station_ml = magn_ml.ml(([1000] + [1] * 8)[:n], [100, 5, 10, 15, 20, 25, 30, 35, 40][:n])
    forms = (station_ml, station_ml.tolist(), station_ml.astype(F32), station_ml.astype(object))  # left as they were
    assert {"%.2f %.2f %d" % magn_ml.network(form) for form in forms} == {printed} and station_ml.tolist() == forms[1]


@pytest.mark.parametrize("station_ml, error, message", [
    ([3.0, np.nan], ValueError, r"nan \(index 1\)"), ((2.0, -np.inf), ValueError, "-inf"), ([1e300], ValueError, "1e"),
    ([[1.0]], ValueError, "one dimension"), (np.broadcast_to(F32(1), 2**31), ValueError, "more than 2147483647"),
    ("3.5", TypeError, "str"), (3.5, TypeError, "float"), (["3.5"], TypeError, "str"), ([1, None], TypeError, "None"),
    ([1j], TypeError, "complex"), (np.array([1], "M8[s]"), TypeError, "datetime"),
    (np.ones(1, np.longdouble), TypeError, "cast")])
def test_network_refuses(station_ml, error, message):
    with pytest.raises(error, match=message):
        magn_ml.network(station_ml)


def test_table_and_documents():
    table = magn_ml.ML_SIGMA
    assert table.dtype == F32 and table[32] == F32(3.65)
    np.testing.assert_array_equal(magn_ml.ml(1, NODES[1:-1]), table[1:-1])
    pytest.raises(ValueError, table.setflags, write=True)
    assert doctest.testmod(magn_ml).failed == 0


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer keeps freed memory")
def test_memory_stays_flat_over_a_million_calls():
    calls = [lambda: magn_ml.ml(1.0, 100.0), lambda: magn_ml.network([3.0, 2.0]),
             lambda: magn_ml.network([1.0, np.nan]), lambda: magn_ml.network([float("2.5"), None])]
    for count in (20_000, 1_000_000):
        pages = np.loadtxt("/proc/self/statm")[1]
        for i in range(count):
            try: calls[i % 4]()
            except (ValueError, TypeError): pass
    assert (np.loadtxt("/proc/self/statm")[1] - pages) * os.sysconf("SC_PAGE_SIZE") < 2 << 20
