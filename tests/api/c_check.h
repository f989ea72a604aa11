/* Checks for the C host programs: a failed check is printed with its place and counted, and
 * the program ends with CHECK_RESULT() (non-zero after any failure). */
#ifndef VXOSD_TESTS_C_CHECK_H
#define VXOSD_TESTS_C_CHECK_H

#include <stdio.h>
#include <stdlib.h>

static int failures = 0;
#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                              \
    }                                                                          \
  } while (0)

static int CheckResult(void) {
  if (failures) fprintf(stderr, "%d check(s) failed\n", failures);
  return failures ? EXIT_FAILURE : EXIT_SUCCESS;
}

#endif
