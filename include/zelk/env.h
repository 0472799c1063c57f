/*
 * The process environment.
 *
 * The runtime reads a few variables of its own process (the temporary
 * directory's, the logger's); this is the one query they go through.  Names
 * and values are UTF-8, converted at the system boundary.
 */
#ifndef ZELK_ENV_H
#define ZELK_ENV_H

#include <zelk/types.h>

/*
 * Reads the variable pszVar of the process environment.
 *
 * pszValue (cbValue bytes, counting the terminator) receives the value;
 * with pszValue null only the length is asked for.  *pcchActual (optional)
 * receives the value's length in UTF-8 bytes without the terminator, on
 * success and on KERR_BUFFER_OVERFLOW.  An existing empty variable gives ""
 * and success.
 *
 * Returns 0; KERR_INVALID_POINTER for a null name, KERR_ENV_INVALID_VAR_NAME
 * for a name containing '=', KERR_ENV_VAR_NOT_FOUND, KERR_BUFFER_OVERFLOW
 * (pszValue then holds "" when cbValue > 0), KERR_INTERNAL_ERROR_3 for a
 * value beyond 32767 UTF-16 units, KERR_NO_TMP_MEMORY, or a conversion
 * failure.
 */
int RTEnvQueryVar(const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual);

#endif
