/*
 * Random numbers for names nobody else uses.
 *
 * One process-wide generator, made on first use and never re-seeded: a
 * Park-Miller generator seeded from the processor's time-stamp counter.  It
 * is meant for picking names that are unlikely to collide, not for secrets.
 */
#ifndef ZELK_RAND_H
#define ZELK_RAND_H

#include <zelk/types.h>

/* A number in [u32First, u32Last] (both inclusive; u32First <= u32Last). */
uint32_t RTRandRange(uint32_t u32First, uint32_t u32Last);

#endif
