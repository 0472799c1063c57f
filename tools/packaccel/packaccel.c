/* The bulk work of kestrelyn-pack, loaded by it through ctypes when it is
 * found: a file range copied into the output while its bytes are summed for
 * the PE checksum.  The packer works without it, at a fraction of the speed.
 *
 * Each half of the range goes to a thread of its own, which maps the input
 * a window at a time, sums a piece of it while the piece is in the
 * processor's cache and writes the piece from there: the bytes are read from
 * the page cache once and copied once, as cp copies them.  A piece of zeros
 * is left as a hole.  Where the input cannot be mapped, or no thread can be
 * made, the range is read through a buffer instead.  An input that shrinks
 * while it is mapped raises SIGBUS (EFAULT where the write reads it), which
 * is caught for the copy's duration and ends it as a shrunk input.
 *
 * The sum is the PE checksum's: the range read as little-endian 16-bit words
 * counted from its first byte, modulo 0xFFFF.  A range that starts at an odd
 * offset of the output counts 256 times that (65536 ≡ 1), which the caller
 * applies. */
#define _GNU_SOURCE
#include <errno.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __SSE2__
# include <emmintrin.h>
#endif

#define KPA_VERSION 2
/* kpa_copy_sum's flags: the buffer's way even where mapping works. */
#define KPA_NO_MAP  1
#define KPA_BUFFER  (256u << 10)
#define KPA_WINDOW  (4u << 20) /* mapped pages count as the packer's memory */
/* Error returns besides -errno. */
#define KPA_SHRANK  (-100000)

int kpa_version(void);
int64_t kpa_copy_sum(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len, int flags,
                     uint32_t *sum);

int kpa_version(void)
{
    return KPA_VERSION;
}

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
    for (; i + 16 <= n; i += 16)
    {
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
struct job
{
    int in_fd, out_fd;
    int64_t in_off, out_off, len;
    uint64_t acc; /* modulo 0xFFFF */
    int nonzero;
    int64_t rc; /* 0, -errno or KPA_SHRANK */
    int no_map;
};

static int write_all(int fd, const unsigned char *p, size_t n, int64_t off)
{
    while (n)
    {
        ssize_t done = pwrite(fd, p, n, off);
        if (done < 0)
        {
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

/* Adds the sum s of a piece at offset done of the job's range. */
static void add_piece(struct job *j, uint64_t s, int64_t done)
{
    /* A short read may leave the next piece at an odd offset of the range. */
    j->acc = (j->acc + (done & 1 ? (s % 0xFFFF) * 256 : s % 0xFFFF)) % 0xFFFF;
    j->nonzero |= s != 0;
}

/* Reads the job's range through one buffer, sums it and writes it; a
 * buffer of zeros is left as a hole (the caller sets the file's size). */
static void read_job(struct job *j)
{
    unsigned char *buf = malloc(KPA_BUFFER);
    int64_t done = 0;

    if (!buf)
    {
        j->rc = -ENOMEM;
        return;
    }
    while (done < j->len)
    {
        size_t want = j->len - done < KPA_BUFFER ? (size_t)(j->len - done) : KPA_BUFFER;
        ssize_t got = pread(j->in_fd, buf, want, j->in_off + done);
        uint64_t s;
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            j->rc = -errno;
            break;
        }
        if (got == 0)
        {
            j->rc = KPA_SHRANK;
            break;
        }
        s = word_sum(buf, (size_t)got);
        if (s)
        {
            j->rc = write_all(j->out_fd, buf, (size_t)got, j->out_off + done);
            if (j->rc)
                break;
        }
        add_piece(j, s, done);
        done += got;
    }
    free(buf);
}

static __thread sigjmp_buf *bus_jump;

static void on_bus(int sig)
{
    if (bus_jump)
        siglongjmp(*bus_jump, 1);
    signal(sig, SIG_DFL);
    raise(sig);
}

/* The job through a mapping of the input, or through the buffer where the
 * input cannot be mapped. */
static void *run_job(void *arg)
{
    struct job *j = arg;
    long page = sysconf(_SC_PAGESIZE);
    sigjmp_buf jump;
    volatile int64_t done = 0;
    unsigned char *volatile map = NULL;
    volatile size_t map_len = 0;

    if (j->no_map)
    {
        read_job(j);
        return NULL;
    }
    if (sigsetjmp(jump, 0))
    {
        bus_jump = NULL;
        munmap(map, map_len);
        j->rc = KPA_SHRANK;
        return NULL;
    }
    while (done < j->len)
    {
        int64_t at = j->in_off + done;
        int64_t base = at - at % page;
        size_t want = j->len - done < KPA_WINDOW ? (size_t)(j->len - done) : KPA_WINDOW;
        size_t k;
        map_len = (size_t)(at - base) + want;
        map = mmap(NULL, map_len, PROT_READ, MAP_SHARED, j->in_fd, base);
        if (map == MAP_FAILED)
        {
            if (done)
                j->rc = -errno;
            else
                read_job(j);
            return NULL;
        }
        madvise(map, map_len, MADV_SEQUENTIAL);
        bus_jump = &jump;
        for (k = 0; k < want && !j->rc; k += KPA_BUFFER)
        {
            const unsigned char *p = map + (at - base) + k;
            size_t n = want - k < KPA_BUFFER ? want - k : KPA_BUFFER;
            uint64_t s = word_sum(p, n);
            if (s)
                j->rc = write_all(j->out_fd, p, n, j->out_off + done + (int64_t)k);
            /* The kernel's own read of a mapping cut short. */
            if (j->rc == -EFAULT)
                j->rc = KPA_SHRANK;
            add_piece(j, s, done + (int64_t)k);
        }
        bus_jump = NULL;
        munmap(map, map_len);
        if (j->rc)
            return NULL;
        done += want;
    }
    return NULL;
}

/* Copies len bytes at in_off of in_fd to out_off of out_fd and stores their
 * sum in *sum: 0 for zeros only, else 1 to 0xFFFF, as the end-around carry
 * folds it; flags may be KPA_NO_MAP.  Neither file's offset moves.
 * Returns len, -errno on a failed read or write, or KPA_SHRANK if in_fd ends
 * first. */
int64_t kpa_copy_sum(int in_fd, int64_t in_off, int out_fd, int64_t out_off, int64_t len, int flags,
                     uint32_t *sum)
{
    /* The second half starts at an even offset of the range, so that its
     * sum adds as it is. */
    int64_t first = len >= 2 * KPA_WINDOW ? len / 4 * 2 : len, half = len - first;
    struct job a = { in_fd, out_fd, in_off, out_off, first, 0, 0, 0, flags & KPA_NO_MAP };
    struct job b = { in_fd, out_fd, in_off + first,    out_off + first, half, 0,
                     0,     0,      flags & KPA_NO_MAP };
    struct sigaction bus, old_bus;
    struct stat st;
    pthread_t second;
    int threads = 0;
    uint64_t acc;

    if (len < 0 || in_off < 0 || out_off < 0)
        return -EINVAL;
    if (fstat(in_fd, &st))
        return -errno;
    if (S_ISREG(st.st_mode) && st.st_size - in_off < len)
        return KPA_SHRANK;
    sigemptyset(&bus.sa_mask);
    bus.sa_flags = 0;
    bus.sa_handler = on_bus;
    sigaction(SIGBUS, &bus, &old_bus);
    if (half && pthread_create(&second, NULL, run_job, &b) == 0)
        threads = 1;
    run_job(&a);
    if (threads)
        pthread_join(second, NULL);
    else if (half && !a.rc)
        run_job(&b);
    sigaction(SIGBUS, &old_bus, NULL);
    if (a.rc)
        return a.rc;
    if (b.rc)
        return b.rc;
    acc = (a.acc + b.acc) % 0xFFFF;
    *sum = (uint32_t)(acc || !(a.nonzero || b.nonzero) ? acc : 0xFFFF);
    return len;
}
