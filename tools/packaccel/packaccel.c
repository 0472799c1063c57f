/* The bulk work of kestrelyn-pack, loaded by it through ctypes when it is
 * found: a file range copied into the output while its bytes are summed for
 * the PE checksum.  The packer works without it, at a fraction of the speed.
 *
 * The copy is the kernel's (copy_file_range, as cp does it); the sum runs
 * beside it on a second thread, reading the same range from the page cache
 * through a buffer that stays in the processor's cache.  Where the kernel
 * cannot copy between the two files, or no thread can be made, the range is
 * read once into that buffer, summed and written.
 *
 * The sum is the PE checksum's: the range read as little-endian 16-bit words
 * counted from its first byte, modulo 0xFFFF.  A range that starts at an odd
 * offset of the output counts 256 times that (65536 ≡ 1), which the caller
 * applies. */
#define _GNU_SOURCE
#include <errno.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#define KPA_VERSION 1
#define KPA_BUFFER (256u << 10)
#define KPA_COPY_STEP (64 << 20)
/* Error returns besides -errno. */
#define KPA_SHRANK (-100000)

int kpa_version(void);
int64_t kpa_copy_sum(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len,
                     uint32_t *sum);

int kpa_version(void) { return KPA_VERSION; }

/* The sum of the 16-bit little-endian words of p[0, n), a last odd byte as
 * the low half of a word.  With SSE2 (every x86-64), sixteen bytes at a
 * time: the bytes at even and at odd places summed apart. */
static uint64_t word_sum(const unsigned char *p, size_t n)
{
    uint64_t s = 0;
    size_t i = 0;
#ifdef __SSE2__
    __m128i low = _mm_set1_epi16(0xFF), zero = _mm_setzero_si128();
    __m128i even = zero, odd = zero;
    uint64_t e[2], o[2];
    for (; i + 16 <= n; i += 16) {
        __m128i x = _mm_loadu_si128((const __m128i *)(p + i));
        even = _mm_add_epi64(even, _mm_sad_epu8(_mm_and_si128(x, low), zero));
        odd = _mm_add_epi64(odd, _mm_sad_epu8(_mm_srli_epi16(x, 8), zero));
    }
    _mm_storeu_si128((__m128i *)e, even);
    _mm_storeu_si128((__m128i *)o, odd);
    s = e[0] + e[1] + 256 * (o[0] + o[1]);
#endif
    for (; i + 1 < n; i += 2)
        s += (uint32_t)p[i] | (uint32_t)p[i + 1] << 8;
    if (n & 1)
        s += p[n - 1];
    return s;
}

/* One range to sum, and to write too when out_fd is not -1. */
struct job {
    int in_fd, out_fd;
    int64_t in_off, out_off, len;
    uint64_t acc;  /* modulo 0xFFFF */
    int nonzero;
    int64_t rc;    /* 0, -errno or KPA_SHRANK */
};

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

/* Reads the job's range through one buffer, sums it and, if asked, writes
 * it; a buffer of zeros is left as a hole (the caller sets the file's size). */
static void *run_job(void *arg)
{
    struct job *j = arg;
    unsigned char *buf = malloc(KPA_BUFFER);
    int64_t done = 0;

    if (!buf) {
        j->rc = -ENOMEM;
        return NULL;
    }
    while (done < j->len) {
        size_t want = j->len - done < KPA_BUFFER ? (size_t)(j->len - done) : KPA_BUFFER;
        ssize_t got = pread(j->in_fd, buf, want, j->in_off + done);
        uint64_t s;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            j->rc = -errno;
            break;
        }
        if (got == 0) {
            j->rc = KPA_SHRANK;
            break;
        }
        s = word_sum(buf, (size_t)got);
        if (s && j->out_fd >= 0) {
            j->rc = write_all(j->out_fd, buf, (size_t)got, j->out_off + done);
            if (j->rc)
                break;
        }
        /* A short read may leave the next piece at an odd offset of the range. */
        j->acc = (j->acc + (done & 1 ? (s % 0xFFFF) * 256 : s % 0xFFFF)) % 0xFFFF;
        j->nonzero |= s != 0;
        done += got;
    }
    free(buf);
    return NULL;
}

/* The kernel's copy of the range, skipping the source's holes as cp does
 * (the output is a new file: its holes read as zeros); 1 if it cannot copy
 * between these files at all (nothing was copied then), 0 when done, else
 * an error return.  Moves in_fd's offset. */
static int64_t kernel_copy(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len)
{
    int64_t done = 0;
    int copied = 0;
    while (done < len) {
        off_t at = in_off + done, data, hole;
        loff_t from, to;
        size_t want;
        ssize_t got;
        data = lseek(in_fd, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            return 0; /* a hole to the end; a file that shrank shows in the sum */
        if (data > at) {
            done = data - in_off < len ? data - in_off : len;
            continue;
        }
        hole = lseek(in_fd, at, SEEK_HOLE);
        if (hole <= at)
            hole = in_off + len;
        want = len - done < KPA_COPY_STEP ? (size_t)(len - done) : KPA_COPY_STEP;
        if ((int64_t)want > hole - at)
            want = (size_t)(hole - at);
        from = at;
        to = out_off + done;
        got = copy_file_range(in_fd, &from, out_fd, &to, want, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (!copied && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                              errno == EOPNOTSUPP || errno == EBADF))
                return 1;
            return -errno;
        }
        if (got == 0)
            return KPA_SHRANK;
        copied = 1;
        done += got;
    }
    return 0;
}

/* Copies len bytes at in_off of in_fd to out_off of out_fd and stores their
 * sum in *sum: 0 for zeros only, else 1 to 0xFFFF, as the end-around carry
 * folds it.  out_fd's offset does not move, in_fd's may.  Returns len,
 * -errno on a failed read or write, or KPA_SHRANK if in_fd ends first. */
int64_t kpa_copy_sum(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len,
                     uint32_t *sum)
{
    struct job j = { in_fd, -1, in_off, out_off, len, 0, 0, 0 };
    pthread_t summer;
    int64_t copied;

    if (len < 0 || in_off < 0 || out_off < 0)
        return -EINVAL;
    if (pthread_create(&summer, NULL, run_job, &j) == 0) {
        copied = kernel_copy(in_fd, in_off, out_fd, out_off, len);
        pthread_join(summer, NULL);
        if (copied == 1) {
            /* Summed already; the copy goes through the buffer after all. */
            struct job w = { in_fd, out_fd, in_off, out_off, len, 0, 0, 0 };
            run_job(&w);
            copied = w.rc;
        }
        if (!j.rc)
            j.rc = copied;
    } else {
        j.out_fd = out_fd;
        run_job(&j);
    }
    if (j.rc)
        return j.rc;
    *sum = (uint32_t)(j.acc || !j.nonzero ? j.acc : 0xFFFF);
    return len;
}
