/* Forced into every compilation of the sanitizer build (-include, see the
 * asan preset) to prove that the programs build and pass their tests
 * without the GNU extensions of the C library, as on the BSDs, macOS or
 * illumos.  The C headers are read first, so that their own declarations
 * stay legal; after that, any use of these names is a compile error, and a
 * configure check for one of them reports it missing.
 *
 * Only names that no other Unix C library is sure to have belong here.  The
 * tests' own fopencookie (tests/command.cpp) cannot be poisoned: they need
 * it on every system they run on. */
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* Lock-free stdio (getc_unlocked and putc_unlocked are POSIX and stay). */
#pragma GCC poison fgets_unlocked fputs_unlocked fwrite_unlocked fread_unlocked
#pragma GCC poison ferror_unlocked feof_unlocked clearerr_unlocked fileno_unlocked
#pragma GCC poison fflush_unlocked fgetc_unlocked fputc_unlocked fcloseall
/* String search and copy. */
#pragma GCC poison memrchr rawmemchr strchrnul mempcpy
/* The program's name, paths. */
#pragma GCC poison program_invocation_name program_invocation_short_name
#pragma GCC poison canonicalize_file_name get_current_dir_name
/* Randomness (POSIX since 2024, but not yet everywhere). */
#pragma GCC poison getentropy
/* Mathematics. */
#pragma GCC poison exp10 exp10f sincos sincosf
