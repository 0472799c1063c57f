/*
 * The Park-Miller step behind RTRandRange, exposed so that tests can check
 * it against the generator's known sequence.
 */
#ifndef ZELK_INTERNAL_RAND_H
#define ZELK_INTERNAL_RAND_H

#include <zelk/rand.h>

/* Advances the state (0 counts as 20080806) and returns it. */
uint32_t rtRandParkMillerNext(uint32_t *pu32State);
/* A number in [u32First, u32Last] from the state. */
uint32_t rtRandParkMillerRange(uint32_t *pu32State, uint32_t u32First, uint32_t u32Last);

#endif
