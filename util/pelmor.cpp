// pelmor: local magnitude of an event from an amplitude and a distance in km.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "magn_ml.h"

// Closes standard output.  A write that failed, at the close or before it,
// is a failure; a closed descriptor with nothing to write is not.
static int close_output(FILE *out, FILE *err, const char *prog, int status)
{
    bool failed = fflush(out) != 0 || ferror(out);
    int cause = errno;  // still that of a write that failed before
    if (fclose(out) != 0 && errno != EBADF) {
        failed = true;
        cause = errno;
    }
    if (!failed)
        return status;
    fprintf(err, "%s: write error: %s\n", prog, strerror(cause ? cause : EIO));
    return 1;
}

int pelmor(int argc, char *argv[], FILE *out, FILE *err)
{
    const char *prog = argc > 0 && *argv[0] ? argv[0] : "pelmor";
    float ampl, dist;
    int ok;

    if (argc != 3) {
        fprintf(err, "Usage: %s <ampl> <km-distance>\n", prog);
        return close_output(out, err, prog, 1);
    }
    // Only a finite amplitude above zero has a logarithm.
    if (sscanf(argv[1], "%f", &ampl) != 1 || !(ampl > 0 && std::isfinite(ampl))) {
        fprintf(err, "illegal amplitude %s\n", argv[1]);
        return close_output(out, err, prog, 1);
    }
    if (sscanf(argv[2], "%f", &dist) != 1) {
        fprintf(err, "illegal distance %s\n", argv[2]);
        return close_output(out, err, prog, 1);
    }
    float ml = magn_ml(ampl, dist, &ok);
    if (ok)
        fprintf(out, "%4.2f\n", static_cast<double>(ml));
    return close_output(out, err, prog, 0);
}

#ifndef PELMOR_NO_MAIN
int main(int argc, char *argv[]) { return pelmor(argc, argv, stdout, stderr); }
#endif
