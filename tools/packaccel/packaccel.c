/* The bulk work of kestrelyn-pack, loaded by it through ctypes when it is
 * found: a file range copied into the output while its bytes are summed for
 * the PE checksum.  The packer works without it, at a fraction of the speed.
 *
 * The sum is the PE checksum's: the range read as little-endian 16-bit words
 * counted from its first byte, modulo 0xFFFF.  A range that starts at an odd
 * offset of the output counts 256 times that (65536 ≡ 1), which the caller
 * applies. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#define KPA_VERSION 1
#define KPA_BUFFER (1u << 20)
/* Error returns besides -errno. */
#define KPA_SHRANK (-100000)

int kpa_version(void);
int64_t kpa_copy_sum(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len,
                     uint32_t *sum);

int kpa_version(void) { return KPA_VERSION; }

/* The sum of the 16-bit little-endian words of p[0, n), a last odd byte as
 * the low half of a word. */
static uint64_t word_sum(const unsigned char *p, size_t n)
{
    uint64_t s = 0;
    size_t i;
    for (i = 0; i + 1 < n; i += 2)
        s += (uint32_t)p[i] | (uint32_t)p[i + 1] << 8;
    if (n & 1)
        s += p[n - 1];
    return s;
}

static int write_all(int fd, const unsigned char *p, size_t n, int64_t off)
{
    while (n) {
        ssize_t done = pwrite(fd, p, n, off);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        p += done;
        n -= (size_t)done;
        off += done;
    }
    return 0;
}

/* Copies len bytes at in_off of in_fd to out_off of out_fd, leaving a hole
 * where a whole buffer is zeros (the caller sets the file's size at the end),
 * and stores their sum in *sum: 0 for zeros only, else 1 to 0xFFFF, as the
 * end-around carry folds it.  Neither file's offset moves.  Returns len,
 * -errno on a failed read or write, or KPA_SHRANK if in_fd ends first. */
int64_t kpa_copy_sum(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len,
                     uint32_t *sum)
{
    unsigned char *buf;
    uint64_t acc = 0;
    int64_t done = 0;
    int64_t rc = 0;
    int nonzero = 0;

    if (len < 0 || in_off < 0 || out_off < 0)
        return -EINVAL;
    buf = malloc(KPA_BUFFER);
    if (!buf)
        return -ENOMEM;
    while (done < len) {
        size_t want = len - done < KPA_BUFFER ? (size_t)(len - done) : KPA_BUFFER;
        ssize_t got = pread(in_fd, buf, want, in_off + done);
        uint64_t s;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            rc = -errno;
            break;
        }
        if (got == 0) {
            rc = KPA_SHRANK;
            break;
        }
        s = word_sum(buf, (size_t)got);
        if (s) {
            rc = write_all(out_fd, buf, (size_t)got, out_off + done);
            if (rc)
                break;
        }
        /* A short read may leave the next piece at an odd offset of the range. */
        acc = (acc + (done & 1 ? (s % 0xFFFF) * 256 : s % 0xFFFF)) % 0xFFFF;
        nonzero |= s != 0;
        done += got;
    }
    free(buf);
    if (rc)
        return rc;
    *sum = (uint32_t)(acc || !nonzero ? acc : 0xFFFF);
    return done;
}
