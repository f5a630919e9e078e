/* The Python module magn_ml: the library's magnitude routine as a NumPy
 * ufunc, ml(ampl, km), its network average, network(station_ml), and its
 * calibration table, ML_SIGMA.  The magnitudes are the library's own, the
 * single-precision ones that pelmor prints, whatever dtype they come in. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include <numpy/ufuncobject.h>

#include <fenv.h>
#include <limits.h>
#include <math.h>
#include <string.h>

#include "magn_ml.h"

PyDoc_STRVAR(module_doc,
"Local magnitudes of seismic events for NumPy: the magn_ml library.\n"
"\n"
"ml(ampl, km) is the local magnitude of each reading, a NumPy ufunc, and\n"
"network(station_ml) the network magnitude of an event from its station\n"
"magnitudes.  They compute what the magn_ml library and pelmor compute, in\n"
"the same single precision: a magnitude printed with \"%4.2f\" is the line\n"
"that `pelmor -` prints for the same amplitude and distance, and network()\n"
"gives the ML, SD and N of `pelmor -n`.\n"
"\n"
"The amplitude is the peak trace amplitude, in millimetres, of a standard\n"
"Wood-Anderson seismograph, for which the calibration values (Richter's\n"
"-log A0) are defined: 1 mm at 100 km is magnitude 3.0.  An amplitude in\n"
"another unit, such as nanometres of ground motion or a digitiser's counts,\n"
"gives a magnitude wrong by a constant, the log10 of the ratio of the\n"
"units; convert it to the Wood-Anderson trace first.  The distance is the\n"
"epicentral distance in km; the table covers 1 km up to 1000 km.\n"
"\n"
"ML_SIGMA is the calibration table itself, a read-only float32 array of\n"
"the distance correction at 75 nodes: 0 to 100 km every 5 km (indices 0 to\n"
"20), 100 to 600 km every 10 km (20 to 70) and 600 to 1000 km every 100 km\n"
"(70 to 74).\n"
"\n"
">>> import magn_ml\n"
">>> print(magn_ml.ml(1000, 100), magn_ml.ml(1, 1500))\n"
"6.0 nan\n"
">>> station_ml = magn_ml.ml([0.52, 1.7, 12.5, 3.1, 0.0082, 460.0],\n"
"...                         [12.5, 48.0, 110.0, 250.0, 31.2, 612.0])\n"
">>> print(\"%.2f %.2f %d\" % magn_ml.network(station_ml))\n"
"3.21 1.96 6\n");

PyDoc_STRVAR(ml_doc,
"Local magnitude of each reading from its amplitude and distance.\n"
"\n"
"ml(ampl, km): x1 is ampl, the peak trace amplitude of a standard\n"
"Wood-Anderson seismograph in millimetres (not nanometres of ground motion,\n"
"nor counts: see help(magn_ml)), and x2 is km, the epicentral distance in\n"
"kilometres.  The magnitude is log10(ampl) plus the distance correction\n"
"interpolated linearly in ML_SIGMA.\n"
"\n"
"Each pair is taken in single precision, as the library takes it, and the\n"
"result is the library's float exactly: float32 for float32 and float16\n"
"inputs and integers of up to 16 bits, and the same value widened to\n"
"float64 for float64 inputs, wider integers and Python numbers (float64\n"
"values are rounded to float32 first).  Printed with \"%4.2f\", a float32\n"
"result is the line that `pelmor -` prints for the same two values.\n"
"Wider integers are made float64 first, exactly up to 2**53: an amplitude\n"
"beyond that is rounded twice, and may be taken as the float next to\n"
"pelmor's.  Python integers beyond 64 bits are objects to NumPy, and raise\n"
"TypeError.\n"
"\n"
"The result is NaN, without a warning or a floating-point error (even\n"
"under np.seterr(all=\"raise\")), where there is no magnitude: a distance\n"
"outside 1 <= km < 1000 (1000 km itself is outside) or NaN, and an\n"
"amplitude without a logarithm: zero, negative, NaN or infinite, once\n"
"taken in single precision (so also a float64 amplitude beyond float32's\n"
"range, or one so small that it rounds to zero).\n"
"\n"
"That is the loop's own doing: it leaves no floating-point flag set.\n"
"NumPy's casts of the inputs to the loop's type, made before it runs,\n"
"follow np.seterr as they do for any ufunc (np.add alike).  So NumPy\n"
"reports, as np.seterr directs (by default a warning for an overflow or an\n"
"invalid value, nothing for an underflow), where it casts to float32 a\n"
"value beyond float32's range or below its normal numbers (a Python float\n"
"or a float64 scalar given with a float32 array, any float64 input under\n"
"dtype=np.float32 or signature=\"ff->f\"), and where it widens a float32\n"
"signalling NaN to go with a float64 input.  Inputs of one dtype, float32\n"
"or float64, are not cast.\n"
"\n"
"As for any ufunc, the inputs broadcast against each other, and out=,\n"
"where= and the ufunc's methods (ml.outer, ...) work.  Every integer\n"
"dtype, float16, float32 and float64 are taken; longdouble, complex,\n"
"strings and objects raise TypeError.  Python numbers give a NumPy scalar:\n"
"ml(1, 100) is 3.0, a float64.");

PyDoc_STRVAR(network_doc,
"network($module, station_ml, /)\n"
"--\n"
"\n"
"Network magnitude of an event from its station magnitudes.\n"
"\n"
"station_ml is a sequence or a one-dimensional array of the station\n"
"magnitudes of the event's readings, such as ml() gives, less its NaNs.\n"
"They are taken in single precision (integers through float64, as ml()\n"
"takes them) and averaged as `pelmor -n` averages, by the 25 % trimmed\n"
"mean of Rosenberger and Gasko: sorted, up to three all weigh 1; from four\n"
"on, an eighth of them is trimmed at each end, so that with 4 to 7 the\n"
"outermost two weigh less, and from 8 on the outermost drop out.\n"
"station_ml itself is not changed: a copy is sorted.  An array of objects\n"
"(or a sequence that NumPy makes one, such as one with an integer beyond\n"
"64 bits) is taken element by element with float(), from a copy of its\n"
"elements: a float() that changes the array changes nothing taken.  An\n"
"array is read from its data, even where a subclass of it tells another\n"
"length or other items.\n"
"\n"
"Returns (ml, sd, n): the network magnitude and the standard deviation of\n"
"the station magnitudes about it, as Python floats, and how many station\n"
"magnitudes count, an int.  ml is NaN when there are none (n is 0), and sd\n"
"is NaN when n is below 2.\n"
"\n"
"Raises ValueError, naming it, for a magnitude that is not finite in\n"
"single precision (NaN, an infinity, or beyond float32's range, such as an\n"
"integer beyond float64's), and for magnitudes in more than one dimension\n"
"or more than 2**31 - 1 of them; TypeError for a number or a string\n"
"instead of a sequence, for an element that is not a real number (a\n"
"string, None, a complex number), for longdouble magnitudes, in an array\n"
"or one by one, as ml() refuses them, and for a masked array (also one\n"
"that __array__ gives), whose data holds the masked magnitudes too: pass\n"
"station_ml.compressed().  An element's own float() raises as it raises.");

/* The magnitude of one reading, or NaN where there is none.  The tests are
 * quiet comparisons, and neither log10 nor magn_ml sees an amplitude without
 * a logarithm or a NaN distance, so that no such reading raises a
 * floating-point exception, which NumPy would report (but for a signalling
 * NaN: see below). */
static float magnitude(float ampl, float km)
{
    int dist_ok;
    float ml;

    if (!(isgreater(ampl, 0.0f) && isless(ampl, INFINITY)) || isnan(km))
        return NAN;
    ml = magn_ml(ampl, km, &dist_ok);
    return dist_ok ? ml : NAN;
}

/* Rounding a double to the float the library takes raises overflow beyond
 * float's range, underflow below its normal numbers, and invalid for a
 * signalling NaN; magnitude()'s comparisons raise invalid for a signalling
 * NaN too (a float16 one reaches the float loop as a float32 one).  The
 * float is the value meant (an infinity, zero or a subnormal, NaN), which
 * magnitude() judges, so those flags are taken back as they were before the
 * loop; those that NumPy raised before it, casting an earlier buffer, stay. */
static const int narrowing = FE_OVERFLOW | FE_UNDERFLOW | FE_INVALID;

static void ml_float(char **args, npy_intp const *dimensions, npy_intp const *steps, void *data)
{
    char *ampl = args[0], *km = args[1], *out = args[2];
    int raised = fetestexcept(narrowing);
    npy_intp i;

    (void)data;
    for (i = 0; i < dimensions[0]; i++, ampl += steps[0], km += steps[1], out += steps[2])
        *(float *)out = magnitude(*(const float *)ampl, *(const float *)km);
    feclearexcept(narrowing & ~raised);
}

static void ml_double(char **args, npy_intp const *dimensions, npy_intp const *steps, void *data)
{
    char *ampl = args[0], *km = args[1], *out = args[2];
    int raised = fetestexcept(narrowing);
    npy_intp i;

    (void)data;
    for (i = 0; i < dimensions[0]; i++, ampl += steps[0], km += steps[1], out += steps[2])
        *(double *)out = magnitude((float)*(const double *)ampl, (float)*(const double *)km);
    feclearexcept(narrowing & ~raised);
}

/* Whether station magnitudes of this dtype are taken: booleans, integers and
 * floats that float64 holds, the numbers that ml() takes too. */
static int real_numbers(const PyArray_Descr *descr)
{
    return descr->kind == 'b' || descr->kind == 'i' || descr->kind == 'u'
           || (descr->kind == 'f' && PyArray_CanCastSafely(descr->type_num, NPY_DOUBLE));
}

static void refuse_dtype(const PyArray_Descr *descr)
{
    PyErr_Format(PyExc_TypeError, "station magnitudes must be real numbers that float64 holds, not %s",
                 descr->typeobj->tp_name);
}

/* numpy.ma.MaskedArray.  A masked array's data holds the masked magnitudes
 * too, which its mask leaves out: it is refused rather than averaged whole. */
static PyObject *masked_array;

static int refuse_masked(PyObject *given)
{
    int masked = PyObject_IsInstance(given, masked_array);

    if (masked > 0)
        PyErr_SetString(PyExc_TypeError, "network() takes no masked array: pass the magnitudes that count, "
                                         "station_ml.compressed()");
    return masked != 0;
}

/* The station magnitudes as an array of NumPy's own type, a view of what was
 * given, so that they are read from the data: a subclass's length, items
 * and iteration are its own.  What NumPy makes of them (also through
 * __array__) may not be a masked array. */
static PyArrayObject *station_array(PyObject *station_ml)
{
    PyArrayObject *given = (PyArrayObject *)PyArray_FROM_O(station_ml), *plain = NULL;

    if (given && !refuse_masked((PyObject *)given))
        plain = (PyArrayObject *)PyArray_View(given, NULL, &PyArray_Type);
    Py_XDECREF(given);
    return plain;
}

/* The station magnitudes as they are taken, in an object of network()'s own.
 * An array of numbers becomes a contiguous array: of floats for float16 and
 * float32, whose float32 signalling NaNs NumPy would report in widening them,
 * and of doubles for the rest, rounded to single precision here (NumPy would
 * report a value beyond float32's range before network() names it).  An
 * array of objects becomes a tuple of its elements, which holds them while
 * each one's float() runs Python code that may change or free the array. */
static PyObject *station_values(PyArrayObject *given)
{
    const PyArray_Descr *descr = PyArray_DESCR(given);

    if (descr->kind == 'O')
        return PySequence_Tuple((PyObject *)given);
    if (!real_numbers(descr)) {
        refuse_dtype(descr);
        return NULL;
    }
    return PyArray_FROM_OTF((PyObject *)given, descr->kind == 'f' && descr->elsize <= 4 ? NPY_FLOAT : NPY_DOUBLE,
                            NPY_ARRAY_IN_ARRAY);
}

/* Names the first station magnitude that is not finite, as it was given,
 * or by its index alone when it cannot be written. */
static void refuse_not_finite(PyObject *values, const float *station)
{
    Py_ssize_t i = 0;
    PyObject *item, *text;

    while (isfinite(station[i]))
        i++;
    item = PySequence_GetItem(values, i);
    text = item ? PyObject_Repr(item) : NULL;
    Py_XDECREF(item);
    if (text) {
        PyErr_Format(PyExc_ValueError, "station magnitude %U (index %zd) is not a finite single-precision number",
                     text, i);
        Py_DECREF(text);
    } else {
        PyErr_Clear();
        PyErr_Format(PyExc_ValueError, "station magnitude at index %zd is not a finite single-precision number", i);
    }
}

/* One element of an array of objects, as a number (never parsed from text);
 * a NumPy number is judged by its dtype, as an array of them is.  Returns
 * 0 with an exception set if it is not taken. */
static int station_object(PyObject *item, float *station)
{
    double value;

    if (PyArray_IsScalar(item, Generic)) {
        PyArray_Descr *descr = PyArray_DescrFromScalar(item);
        int taken = descr && real_numbers(descr);

        if (descr && !taken)
            refuse_dtype(descr);
        Py_XDECREF(descr);
        if (!taken)
            return 0;
    }
    value = PyFloat_AsDouble(item);
    if (value == -1.0 && PyErr_Occurred()) {
        if (!PyLong_Check(item) || !PyErr_ExceptionMatches(PyExc_OverflowError))
            return 0;
        PyErr_Clear();
        value = INFINITY;  /* an integer beyond float64's range, so beyond float32's: named as not finite */
    }
    *station = (float)value;
    return 1;
}

/* Writes the n station magnitudes of VALUES into station[] in single
 * precision. */
static int station_magnitudes(PyObject *values, Py_ssize_t n, float *station)
{
    Py_ssize_t i;

    if (PyTuple_Check(values)) {
        for (i = 0; i < n; i++)
            if (!station_object(PyTuple_GET_ITEM(values, i), &station[i]))
                return 0;
    } else if (PyArray_TYPE((PyArrayObject *)values) == NPY_DOUBLE) {
        const double *value = PyArray_DATA((PyArrayObject *)values);

        for (i = 0; i < n; i++)
            station[i] = (float)value[i];
    } else
        memcpy(station, PyArray_DATA((PyArrayObject *)values), (size_t)n * sizeof *station);
    return 1;
}

/* Whether magn_ml_network can take N station magnitudes: it counts in an
 * int. */
static int countable(Py_ssize_t n)
{
    if (n <= INT_MAX)
        return 1;
    PyErr_Format(PyExc_ValueError, "%zd station magnitudes are more than %d", n, INT_MAX);
    return 0;
}

static PyObject *network(PyObject *module, PyObject *station_ml)
{
    PyArrayObject *given;
    PyObject *values = NULL, *result = NULL;
    float *station = NULL;
    double ml = NAN, sd = NAN;
    Py_ssize_t n;
    int counted;

    (void)module;
    given = station_array(station_ml);
    if (!given)
        return NULL;
    if (PyArray_NDIM(given) == 0) {
        PyErr_Format(PyExc_TypeError, "network() takes a sequence of station magnitudes, not %s",
                     Py_TYPE(station_ml)->tp_name);
        goto done;
    }
    if (PyArray_NDIM(given) > 1) {
        PyErr_Format(PyExc_ValueError, "station magnitudes must be in one dimension, not %d",
                     PyArray_NDIM(given));
        goto done;
    }
    /* The count is checked before the copy, and again on it: a finalizer
     * that the garbage collector runs while the tuple is made may have
     * resized the array. */
    if (!countable(PyArray_DIM(given, 0)) || !(values = station_values(given))
        || (n = PySequence_Size(values)) < 0 || !countable(n))
        goto done;
    station = PyMem_RawCalloc((size_t)n, sizeof *station);  /* from malloc, which sanitizers watch */
    if (!station) {
        PyErr_NoMemory();
        goto done;
    }
    if (!station_magnitudes(values, n, station))
        goto done;
    counted = magn_ml_network(station, (int)n, &ml, &sd);
    if (counted < 0) {
        refuse_not_finite(values, station);
        goto done;
    }
    if (counted < 2)
        sd = NAN;
    result = Py_BuildValue("(ddi)", ml, sd, counted);
done:
    PyMem_RawFree(station);
    Py_XDECREF(values);
    Py_DECREF(given);
    return result;
}

/* The library's own table, through a read-only view of its memory, so that
 * no one can make the array writeable again. */
static PyObject *calibration_table(void)
{
    PyObject *memory = PyMemoryView_FromMemory((char *)ml_sigma, sizeof ml_sigma, PyBUF_READ);
    PyObject *table;

    if (!memory)
        return NULL;
    table = PyArray_FromBuffer(memory, PyArray_DescrFromType(NPY_FLOAT32), -1, 0);
    Py_DECREF(memory);
    return table;
}

static PyMethodDef methods[] = {
    {"network", network, METH_O, network_doc},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "magn_ml", module_doc, -1, methods, NULL, NULL, NULL, NULL,
};

static PyUFuncGenericFunction ml_loops[] = {ml_float, ml_double};
static void *ml_data[] = {NULL, NULL};
static char ml_types[] = {NPY_FLOAT, NPY_FLOAT, NPY_FLOAT, NPY_DOUBLE, NPY_DOUBLE, NPY_DOUBLE};

/* Adds VALUE to MODULE as NAME, taking the reference; 0 on failure. */
static int add(PyObject *module, const char *name, PyObject *value)
{
    int added = PyModule_AddObjectRef(module, name, value) == 0;

    Py_XDECREF(value);
    return added;
}

PyMODINIT_FUNC PyInit_magn_ml(void)
{
    PyObject *module, *numpy_ma;

    import_array();
    import_umath();
    numpy_ma = PyImport_ImportModule("numpy.ma");
    if (!numpy_ma)
        return NULL;
    Py_XSETREF(masked_array, PyObject_GetAttrString(numpy_ma, "MaskedArray"));
    Py_DECREF(numpy_ma);
    if (!masked_array)
        return NULL;
    module = PyModule_Create(&module_def);
    if (module && add(module, "ml", PyUFunc_FromFuncAndData(ml_loops, ml_data, ml_types, 2, 2, 1, PyUFunc_None,
                                                                  "ml", ml_doc, 0))
        && add(module, "ML_SIGMA", calibration_table()))
        return module;
    Py_XDECREF(module);
    return NULL;
}
