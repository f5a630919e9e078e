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
"\n"
"The result is NaN, without a warning or a floating-point error (even\n"
"under np.seterr(all=\"raise\")), where there is no magnitude: a distance\n"
"outside 1 <= km < 1000 (1000 km itself is outside) or NaN, and an\n"
"amplitude without a logarithm: zero, negative, NaN or infinite, once\n"
"taken in single precision (so also a float64 amplitude beyond float32's\n"
"range, or one so small that it rounds to zero).\n"
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
"They are taken in single precision and averaged as `pelmor -n` averages,\n"
"by the 25 % trimmed mean of Rosenberger and Gasko: sorted, up to three\n"
"all weigh 1; from four on, an eighth of them is trimmed at each end, so\n"
"that with 4 to 7 the outermost two weigh less, and from 8 on the\n"
"outermost drop out.  station_ml itself is not changed: a copy is sorted.\n"
"\n"
"Returns (ml, sd, n): the network magnitude and the standard deviation of\n"
"the station magnitudes about it, as Python floats, and how many station\n"
"magnitudes count, an int.  ml is NaN when there are none (n is 0), and sd\n"
"is NaN when n is below 2.\n"
"\n"
"Raises ValueError, naming it, for a magnitude that is not finite in\n"
"single precision (NaN, an infinity, or beyond float32's range), and for\n"
"magnitudes in more than one dimension or more than 2**31 - 1 of them;\n"
"TypeError for a number or a string instead of a sequence, for an element\n"
"that is not a real number (a string, None, a complex number), and for\n"
"longdouble magnitudes, as ml() refuses them.");

/* The magnitude of one reading, or NaN where there is none.  The tests are
 * quiet comparisons, and neither log10 nor magn_ml sees an amplitude without
 * a logarithm or a NaN distance, so that no such reading raises a
 * floating-point exception, which NumPy would report. */
static float magnitude(float ampl, float km)
{
    int dist_ok;
    float ml;

    if (!(isgreater(ampl, 0.0f) && isless(ampl, INFINITY)) || isnan(km))
        return NAN;
    ml = magn_ml(ampl, km, &dist_ok);
    return dist_ok ? ml : NAN;
}

static void ml_float(char **args, npy_intp const *dimensions, npy_intp const *steps, void *data)
{
    char *ampl = args[0], *km = args[1], *out = args[2];
    npy_intp i;

    (void)data;
    for (i = 0; i < dimensions[0]; i++, ampl += steps[0], km += steps[1], out += steps[2])
        *(float *)out = magnitude(*(const float *)ampl, *(const float *)km);
}

/* Rounding a double to the float the library takes raises overflow beyond
 * float's range, underflow below its normal numbers, and invalid for a
 * signalling NaN.  The float is the value meant (an infinity, zero or a
 * subnormal, NaN), which magnitude() judges, so those flags are taken back
 * as they were. */
static const int narrowing = FE_OVERFLOW | FE_UNDERFLOW | FE_INVALID;

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

/* Writes the n station magnitudes into station[] in single precision.  An
 * array of numbers is converted by NumPy, which refuses longdouble as ml()
 * does; an array of objects element by element, each as a number (never
 * parsed from text); any other (strings, complex numbers, dates) is
 * refused. */
static int station_magnitudes(PyArrayObject *given, float *station)
{
    npy_intp n = PyArray_DIM(given, 0), i;
    char kind = PyArray_DESCR(given)->kind;

    if (kind == 'b' || kind == 'i' || kind == 'u' || kind == 'f') {
        PyArrayObject *doubles = (PyArrayObject *)PyArray_FROM_OTF((PyObject *)given, NPY_DOUBLE, NPY_ARRAY_IN_ARRAY);
        const double *value;

        if (!doubles)
            return 0;
        value = PyArray_DATA(doubles);
        for (i = 0; i < n; i++)
            station[i] = (float)value[i];
        Py_DECREF(doubles);
        return 1;
    }
    if (kind != 'O') {
        PyErr_Format(PyExc_TypeError, "station magnitudes must be real numbers, not %s",
                     PyArray_DESCR(given)->typeobj->tp_name);
        return 0;
    }
    for (i = 0; i < n; i++) {
        PyObject *item = PyArray_GETITEM(given, PyArray_GETPTR1(given, i));
        double value;

        if (!item)
            return 0;
        value = PyFloat_AsDouble(item);
        Py_DECREF(item);
        if (PyErr_Occurred())
            return 0;
        station[i] = (float)value;
    }
    return 1;
}

/* Names the first station magnitude that is not finite, as it was given. */
static void refuse_not_finite(PyArrayObject *given, const float *station)
{
    npy_intp i = 0;
    PyObject *item;

    while (isfinite(station[i]))
        i++;
    item = PyArray_GETITEM(given, PyArray_GETPTR1(given, i));
    if (item) {
        PyErr_Format(PyExc_ValueError, "station magnitude %R (index %zd) is not a finite single-precision number",
                     item, (Py_ssize_t)i);
        Py_DECREF(item);
    }
}

static PyObject *network(PyObject *module, PyObject *station_ml)
{
    PyArrayObject *given = (PyArrayObject *)PyArray_FROM_O(station_ml);
    PyObject *result = NULL;
    float *station = NULL;
    double ml = NAN, sd = NAN;
    npy_intp n;
    int counted;

    (void)module;
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
    n = PyArray_DIM(given, 0);
    if (n > INT_MAX) {
        PyErr_Format(PyExc_ValueError, "%zd station magnitudes are more than %d", (Py_ssize_t)n, INT_MAX);
        goto done;
    }
    station = PyMem_RawCalloc((size_t)n, sizeof *station);  /* from malloc, which sanitizers watch */
    if (!station) {
        PyErr_NoMemory();
        goto done;
    }
    if (!station_magnitudes(given, station))
        goto done;
    counted = magn_ml_network(station, (int)n, &ml, &sd);
    if (counted < 0) {
        refuse_not_finite(given, station);
        goto done;
    }
    if (counted < 2)
        sd = NAN;
    result = Py_BuildValue("(ddi)", ml, sd, counted);
done:
    PyMem_RawFree(station);
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
    PyObject *module;

    import_array();
    import_umath();
    module = PyModule_Create(&module_def);
    if (module && add(module, "ml", PyUFunc_FromFuncAndData(ml_loops, ml_data, ml_types, 2, 2, 1, PyUFunc_None,
                                                                  "ml", ml_doc, 0))
        && add(module, "ML_SIGMA", calibration_table()))
        return module;
    Py_XDECREF(module);
    return NULL;
}
