/*
 * One-time initialisation.
 *
 * RTOnce runs a function exactly once per RTONCE record, however many
 * threads ask at the same moment: the others wait until it is done, and all
 * callers get the status it returned.  Initialise the record statically with
 * RTONCE_INITIALIZER (no constructor is involved).
 */
#ifndef ZELK_ONCE_H
#define ZELK_ONCE_H

#include <zelk/types.h>

typedef struct RTONCE
{
    int32_t volatile iState;
    int32_t volatile rc;
} RTONCE;

#define RTONCE_INITIALIZER \
 {                         \
  0, 0                     \
 }

typedef int (*PFNRTONCE)(void *pvUser);

/* Runs pfnOnce(pvUser) the first time and returns its status, now and to every later caller. */
int RTOnce(RTONCE *pOnce, PFNRTONCE pfnOnce, void *pvUser);

#endif
