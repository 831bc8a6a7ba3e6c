// Measurement helper for bench/run.sh.
//
//   benchtool kick <port> <count> <interval_ms> <times_out> [<watch_port>]
//       writes ESC p 0x00 0x19 0xFA <count> times, one write() each, at least <interval_ms>
//       apart, and records per command CLOCK_MONOTONIC just before its write() and how many
//       bytes the bridge had left unread on <watch_port> at that moment (-1 unless given).
//       Unread bytes mean the new command reaches the bridge together with the last one.
//   benchtool flood <port> <bytes> <pid> <watch_port|-> <timeout_s>
//       writes <bytes> zero bytes while sampling <pid> every 5 ms, then waits until the process
//       has gone idle; prints key=value lines (see below).
//   benchtool proc <pid>
//       prints CPU, context switches and memory of <pid> as key=value lines.
//   benchtool wait-open <pid> <path> <timeout_ms>
//       waits until <pid> holds an open descriptor on the file <path> resolves to.
//   benchtool bridge <dir> <job_bytes> <count> <size> <latencies_out> [-- <command...>]
//       pass-through: makes two pseudo-terminal pairs, links their far ends as <dir>/com9 (the
//       POS writes its near end) and <dir>/com3 (the printer reads its near end), starts the
//       command (the bridge between com9 and com3) and waits until it holds both. Then writes a
//       job of <job_bytes> (numbered lines) and reads it at the printer as fast as it comes, and
//       <count> times writes <size> bytes and waits for them at the printer (10 writes before
//       are not counted), the microseconds taken one a line in <latencies_out>. Prints key=value
//       lines, among them the bridge's time on a CPU per small write (schedstat). With no
//       command, the small writes go through one pair, near end to far end.
//   benchtool net <sink> <port> <job_bytes> <kicks> <interval_ms> <writes_out> -- <command...>
//       network print port: makes the printer's end <sink> (pty:PATH, a pseudo-terminal whose far
//       end is linked as PATH; fifo:PATH, a named pipe; tcp:HOST:PORT, a listening socket that
//       takes any number of connections), starts the command (the bridge from TCP <port> on
//       127.0.0.1 to the sink) and waits until it listens. With <kicks> > 0, first a warm-up
//       job (a line and a drawer command, which binds the drawer library). Then one connection
//       sends a job of <job_bytes> receipt lines in 64 KiB writes while the sink is read as fast
//       as it comes; the bridge's CPU is read before the connection and once the last byte has
//       come. Then <kicks> times a new connection that writes ESC p 0x00 0x19 0xFA in one write()
//       and closes, at least <interval_ms> apart, CLOCK_MONOTONIC just before each write() one
//       line in <writes_out> (as kick writes it). Prints key=value lines.

#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <arpa/inet.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void sleep_ms(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

static int open_port(const char *path, int flags)
{
    int fd = open(path, flags | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "benchtool: cannot open %s: %s\n", path, strerror(errno));
        exit(2);
    }
    struct termios tio;
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

static int write_all(int fd, const unsigned char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        data += n;
        size -= (size_t)n;
    }
    return 0;
}

struct proc_info {
    long long cpu_ticks;      // utime + stime of the whole process, in clock ticks
    long long run_ns;         // time on a CPU summed over live threads (schedstat)
    long long main_run_ns;    // the same for the main thread alone
    long long voluntary;      // context switches summed over live threads
    long long nonvoluntary;
    long long rss_kb;
    long long hwm_kb;
    int threads;
};

static int read_text(const char *path, char *buf, size_t size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t n = read(fd, buf, size - 1);
    close(fd);
    if (n < 0)
        return -1;
    buf[n] = '\0';
    return 0;
}

static long long status_field(const char *text, const char *name)
{
    const char *p = strstr(text, name);
    return p ? strtoll(p + strlen(name), NULL, 10) : -1;
}

static int read_proc(int pid, struct proc_info *info)
{
    char path[128];
    char buf[8192];
    memset(info, 0, sizeof *info);

    snprintf(path, sizeof path, "/proc/%d/stat", pid);
    if (read_text(path, buf, sizeof buf) != 0)
        return -1;
    // The command name may hold spaces; fields are counted from after its closing parenthesis.
    const char *p = strrchr(buf, ')');
    if (!p)
        return -1;
    p += 2;
    unsigned long long utime = 0, stime = 0;
    if (sscanf(p, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return -1;
    info->cpu_ticks = (long long)(utime + stime);

    snprintf(path, sizeof path, "/proc/%d/status", pid);
    if (read_text(path, buf, sizeof buf) != 0)
        return -1;
    info->rss_kb = status_field(buf, "VmRSS:");
    info->hwm_kb = status_field(buf, "VmHWM:");

    snprintf(path, sizeof path, "/proc/%d/schedstat", pid);
    if (read_text(path, buf, sizeof buf) == 0)
        info->main_run_ns = strtoll(buf, NULL, 10);

    // The status counts belong to one thread; a process's wake-ups are those of all of them.
    snprintf(path, sizeof path, "/proc/%d/task", pid);
    DIR *dir = opendir(path);
    if (!dir)
        return -1;
    struct dirent *e;
    while ((e = readdir(dir)) != NULL) {
        if (e->d_name[0] == '.')
            continue;
        char tpath[300];
        snprintf(tpath, sizeof tpath, "/proc/%d/task/%s/status", pid, e->d_name);
        if (read_text(tpath, buf, sizeof buf) == 0) {
            info->voluntary += status_field(buf, "voluntary_ctxt_switches:");
            info->nonvoluntary += status_field(buf, "nonvoluntary_ctxt_switches:");
            ++info->threads;
        }
        snprintf(tpath, sizeof tpath, "/proc/%d/task/%s/schedstat", pid, e->d_name);
        if (read_text(tpath, buf, sizeof buf) == 0)
            info->run_ns += strtoll(buf, NULL, 10);
    }
    closedir(dir);
    return 0;
}

static int cmd_proc(int argc, char **argv)
{
    if (argc != 3)
        return 64;
    struct proc_info info;
    if (read_proc(atoi(argv[2]), &info) != 0) {
        fprintf(stderr, "benchtool: cannot read process %s\n", argv[2]);
        return 1;
    }
    printf("cpu_ticks=%lld\nclk_tck=%ld\nrun_ns=%lld\nvoluntary=%lld\nnonvoluntary=%lld\n"
           "rss_kb=%lld\nhwm_kb=%lld\nthreads=%d\n",
           info.cpu_ticks, sysconf(_SC_CLK_TCK), info.run_ns, info.voluntary, info.nonvoluntary,
           info.rss_kb, info.hwm_kb, info.threads);
    return 0;
}

static int cmd_kick(int argc, char **argv)
{
    if (argc != 6 && argc != 7)
        return 64;
    const int count = atoi(argv[3]);
    const long interval_ms = atol(argv[4]);
    int fd = open_port(argv[2], O_WRONLY);
    int watch = -1;
    if (argc == 7)
        watch = open(argv[6], O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    FILE *out = fopen(argv[5], "w");
    if (!out) {
        fprintf(stderr, "benchtool: cannot write %s\n", argv[5]);
        return 2;
    }
    static const unsigned char command[] = {0x1B, 0x70, 0x00, 0x19, 0xFA};
    struct sent {
        double t;
        int unread;
    } *sent = calloc((size_t)count, sizeof *sent);
    for (int i = 0; i < count; ++i) {
        int unread = -1;
        if (watch >= 0 && ioctl(watch, FIONREAD, &unread) != 0)
            unread = -1;
        sent[i].t = now();
        sent[i].unread = unread;
        if (write_all(fd, command, sizeof command) != 0) {
            fprintf(stderr, "benchtool: write failed: %s\n", strerror(errno));
            return 1;
        }
        // Spaced from this write, not from a fixed schedule: a writer that was held up must not
        // catch up with a burst of commands that would arrive as one.
        const double next = sent[i].t + (double)interval_ms / 1e3;
        const struct timespec deadline = {(time_t)next,
                                          (long)((next - (double)(time_t)next) * 1e9)};
        if (i + 1 < count) {
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, NULL) == EINTR) {
            }
        }
    }
    for (int i = 0; i < count; ++i)
        fprintf(out, "%.6f %d\n", sent[i].t, sent[i].unread);
    fclose(out);
    free(sent);
    if (watch >= 0)
        close(watch);
    close(fd);
    return 0;
}

struct flood_job {
    int fd;
    long long bytes;
    double t_first;
    double t_written;
    int done; // set, with release order, once t_written holds
    int failed;
};

static void *flood_writer(void *arg)
{
    struct flood_job *job = arg;
    static unsigned char zeros[4096];
    long long left = job->bytes;
    job->t_first = now();
    while (left > 0) {
        size_t n = left < (long long)sizeof zeros ? (size_t)left : sizeof zeros;
        if (write_all(job->fd, zeros, n) != 0) {
            job->failed = 1;
            break;
        }
        left -= (long long)n;
    }
    job->t_written = now();
    __atomic_store_n(&job->done, 1, __ATOMIC_RELEASE);
    return NULL;
}

// Flood, then decide when the program has drained it: the writer is done, nothing waits in the
// receiving end's kernel queue (when that end can be inspected), and the program's main thread
// has used under 0.2 ms of CPU in each of the last 40 samples (200 ms). Drained = the last sample
// at which it was still busy.
static int cmd_flood(int argc, char **argv)
{
    if (argc != 7)
        return 64;
    const int pid = atoi(argv[4]);
    const double timeout = atof(argv[6]);
    struct flood_job job = {open_port(argv[2], O_WRONLY), atoll(argv[3]), 0, 0, 0, 0};
    int watch = -1;
    if (strcmp(argv[5], "-") != 0)
        watch = open(argv[5], O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);

    struct proc_info before, info;
    if (read_proc(pid, &before) != 0)
        return 1;
    long long peak_rss = before.rss_kb;
    long long max_queue = 0;

    pthread_t writer;
    pthread_create(&writer, NULL, flood_writer, &job);
    const double start = now();
    long long last_run = before.main_run_ns;
    double last_busy = start;
    int quiet = 0;
    int timed_out = 0;
    for (;;) {
        sleep_ms(5);
        if (read_proc(pid, &info) != 0) {
            fprintf(stderr, "benchtool: process %d is gone\n", pid);
            return 1;
        }
        const double t = now();
        if (info.rss_kb > peak_rss)
            peak_rss = info.rss_kb;
        int queued = 0;
        if (watch >= 0 && ioctl(watch, FIONREAD, &queued) == 0 && queued > max_queue)
            max_queue = queued;
        const int written = __atomic_load_n(&job.done, __ATOMIC_ACQUIRE);
        if (info.main_run_ns - last_run > 200000) {
            last_busy = t;
            quiet = 0;
        } else if (written && queued == 0) {
            ++quiet;
        }
        last_run = info.main_run_ns;
        if (quiet >= 40)
            break;
        if (t - start > timeout) {
            timed_out = 1;
            break;
        }
    }
    if (timed_out)
        pthread_cancel(writer);
    pthread_join(writer, NULL);
    if (read_proc(pid, &info) != 0)
        return 1;
    const double drain_s = last_busy - job.t_first;
    printf("bytes=%lld\nwrite_failed=%d\ntimed_out=%d\nwatched_queue=%d\n", job.bytes, job.failed,
           timed_out, watch >= 0);
    printf("t_first=%.6f\nt_written=%.6f\nt_drained=%.6f\n", job.t_first, job.t_written, last_busy);
    printf("write_s=%.6f\ndrain_s=%.6f\n", job.done ? job.t_written - job.t_first : -1.0,
           drain_s);
    printf("rss_before_kb=%lld\nhwm_before_kb=%lld\nrss_peak_kb=%lld\nrss_after_kb=%lld\n"
           "hwm_after_kb=%lld\nmax_queue=%lld\n",
           before.rss_kb, before.hwm_kb, peak_rss, info.rss_kb, info.hwm_kb, max_queue);
    printf("cpu_ticks_used=%lld\nrun_ns_used=%lld\n", info.cpu_ticks - before.cpu_ticks,
           info.run_ns - before.run_ns);
    if (watch >= 0)
        close(watch);
    close(job.fd);
    return timed_out ? 3 : 0;
}


// Numbered lines, "0000000\n" "0000001\n" ...: no drawer command and no command that takes a
// payload, and a byte lost, doubled or moved shows.
static unsigned char *numbered_job(size_t size)
{
    unsigned char *job = malloc(size + 16);
    if (!job)
        exit(2);
    for (size_t at = 0, line = 0; at < size; at += 8, ++line)
        snprintf((char *)job + at, 9, "%07zu\n", line % 10000000);
    return job;
}

// Reads from fd into buf until size bytes have come or timeout_s passes without a byte.
static size_t read_until(int fd, unsigned char *buf, size_t size, double timeout_s)
{
    size_t got = 0;
    while (got < size) {
        struct pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, (int)(timeout_s * 1000));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t n = read(fd, buf + got, size - got);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;
        got += (size_t)n;
    }
    return got;
}

static int wait_open(int pid, const char *path, long timeout_ms)
{
    char target[PATH_MAX];
    if (!realpath(path, target)) {
        fprintf(stderr, "benchtool: cannot resolve %s\n", path);
        return 2;
    }
    char dirpath[64];
    snprintf(dirpath, sizeof dirpath, "/proc/%d/fd", pid);
    for (long waited = 0; waited <= timeout_ms; waited += 10) {
        DIR *dir = opendir(dirpath);
        if (!dir) {
            fprintf(stderr, "benchtool: process %d is gone\n", pid);
            return 1;
        }
        struct dirent *e;
        int found = 0;
        while (!found && (e = readdir(dir)) != NULL) {
            char link[PATH_MAX], fdpath[320];
            snprintf(fdpath, sizeof fdpath, "%s/%s", dirpath, e->d_name);
            ssize_t n = readlink(fdpath, link, sizeof link - 1);
            if (n > 0) {
                link[n] = '\0';
                found = strcmp(link, target) == 0;
            }
        }
        closedir(dir);
        if (found)
            return 0;
        sleep_ms(10);
    }
    fprintf(stderr, "benchtool: process %d did not open %s within %ld ms\n", pid, target,
            timeout_ms);
    return 1;
}

static int cmd_wait_open(int argc, char **argv)
{
    if (argc != 5)
        return 64;
    return wait_open(atoi(argv[2]), argv[3], atol(argv[4]));
}

struct job_writer {
    int fd;
    const unsigned char *data;
    size_t size;
    size_t piece; // bytes a write()
    int failed;
};

static void *write_job(void *arg)
{
    struct job_writer *job = arg;
    for (size_t at = 0; at < job->size && !job->failed; at += job->piece) {
        const size_t n = job->size - at < job->piece ? job->size - at : job->piece;
        job->failed = write_all(job->fd, job->data + at, n) != 0;
    }
    return NULL;
}

struct pty_pair {
    int near; // the master, which the bench holds
    int far;  // the slave, which the bridge opens
    char path[128];
};

static void make_pair(struct pty_pair *pair, const char *dir, int n)
{
    if (openpty(&pair->near, &pair->far, pair->path, NULL, NULL) != 0) {
        fprintf(stderr, "benchtool: openpty: %s\n", strerror(errno));
        exit(2);
    }
    struct termios tio;
    tcgetattr(pair->far, &tio);
    cfmakeraw(&tio);
    tcsetattr(pair->far, TCSANOW, &tio);
    char link[PATH_MAX];
    snprintf(link, sizeof link, "%s/com%d", dir, n);
    unlink(link);
    if (symlink(pair->path, link) != 0) {
        fprintf(stderr, "benchtool: cannot link %s: %s\n", link, strerror(errno));
        exit(2);
    }
}

// The job from one end to the other; prints what came and how fast. Whether it came whole.
static int pass_job(int to, int from, size_t size)
{
    struct job_writer job = {to, numbered_job(size), size, 4096, 0};
    unsigned char *got = malloc(size + 1);
    if (!got)
        exit(2);
    pthread_t writer;
    const double t0 = now();
    pthread_create(&writer, NULL, write_job, &job);
    const size_t n = read_until(from, got, size, 10.0);
    const double t1 = now();
    // Anything past the job would be bytes doubled.
    const size_t extra = read_until(from, got + n, n == size ? 1 : 0, 0.3);
    pthread_join(writer, NULL);
    long long differs = -1;
    for (size_t i = 0; i < n && differs < 0; ++i) {
        if (got[i] != job.data[i])
            differs = (long long)i;
    }
    printf("bytes=%zu\nreceived=%zu\nextra=%zu\nfirst_difference=%lld\nwrite_failed=%d\n"
           "seconds=%.6f\nmib_s=%.3f\n",
           size, n, extra, differs, job.failed, t1 - t0,
           (double)n / (1024.0 * 1024.0) / (t1 - t0));
    free(got);
    free((void *)job.data);
    return n == size && differs < 0 && extra == 0;
}

// Small writes, each waited for at the other end; returns how many did not come whole.
static int time_small_writes(int to, int from, int count, size_t size, FILE *out)
{
    unsigned char *data = numbered_job(size);
    unsigned char *got = malloc(size);
    int lost = 0;
    for (int i = -10; i < count; ++i) {
        const double t0 = now();
        if (write_all(to, data, size) != 0) {
            ++lost;
            break;
        }
        const size_t n = read_until(from, got, size, 1.0);
        const double t1 = now();
        if (n != size || memcmp(got, data, size) != 0)
            ++lost;
        else if (i >= 0)
            fprintf(out, "%.1f\n", (t1 - t0) * 1e6);
        sleep_ms(5);
    }
    free(data);
    free(got);
    return lost;
}

static int cmd_bridge(int argc, char **argv)
{
    if (argc < 7 || (argc > 7 && (strcmp(argv[7], "--") != 0 || argc == 8)))
        return 64;
    const char *dir = argv[2];
    const size_t job_bytes = (size_t)atoll(argv[3]);
    const int count = atoi(argv[4]);
    const size_t size = (size_t)atoll(argv[5]);
    FILE *out = fopen(argv[6], "w");
    if (!out) {
        fprintf(stderr, "benchtool: cannot write %s\n", argv[6]);
        return 2;
    }
    struct pty_pair pos, printer;
    make_pair(&pos, dir, 9);
    if (argc == 7) {
        const int lost = time_small_writes(pos.near, pos.far, count, size, out);
        printf("lost=%d\n", lost);
        fclose(out);
        return lost ? 1 : 0;
    }
    make_pair(&printer, dir, 3);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[8], argv + 8);
        fprintf(stderr, "benchtool: cannot run %s: %s\n", argv[8], strerror(errno));
        _exit(127);
    }
    int rc = 1;
    struct proc_info before, after;
    if (wait_open(pid, pos.path, 15000) == 0 && wait_open(pid, printer.path, 15000) == 0 &&
        read_proc(pid, &before) == 0) {
        // Holding a port is not yet reading it: bytes that come before the bridge is set up may
        // be dropped (as Tralvo drops what waited before it opened the port). One small write
        // through first.
        usleep(500000);
        unsigned char probe[8];
        write_all(pos.near, (const unsigned char *)"warm-up\n", 8);
        read_until(printer.near, probe, sizeof probe, 2.0);
        read_proc(pid, &before);
        const int whole = pass_job(pos.near, printer.near, job_bytes);
        read_proc(pid, &after);
        printf("cpu_s=%.3f\nrss_kb=%lld\n",
               (double)(after.cpu_ticks - before.cpu_ticks) / (double)sysconf(_SC_CLK_TCK),
               after.rss_kb);
        usleep(200000);
        read_proc(pid, &before);
        const int lost = time_small_writes(pos.near, printer.near, count, size, out);
        read_proc(pid, &after);
        // The bridge sleeps between the writes: its time on a CPU is what it spends on them.
        printf("lost=%d\nsmall_run_us=%.1f\n", lost,
               (double)(after.run_ns - before.run_ns) / 1e3 / (count + 10));
        rc = lost || !whole ? 1 : 0;
    }
    fclose(out);
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        sleep_ms(50);
    if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    printf("exit=%d\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return rc;
}

// --- network print port ----------------------------------------------------------------------

// Receipt text: 48-byte lines of printable ASCII, numbered, so that a byte lost, doubled or
// moved shows. No byte below 0x20 but the line feed: no command of any kind.
static unsigned char *receipt_job(size_t size)
{
    unsigned char *job = malloc(size + 64);
    if (!job)
        exit(2);
    static const char *items[] = {"COFFEE LARGE", "BAGEL PLAIN", "ORANGE JUICE", "MUFFIN BLUEB",
                                  "TEA GREEN", "CROISSANT", "WATER STILL", "SANDWICH HAM"};
    for (size_t at = 0, line = 0; at < size; at += 48, ++line) {
        char text[64];
        snprintf(text, sizeof text, "%08zu %-12s %2zu x %6zu.%02zu  EUR %6zu.%02zu", line % 100000000,
                 items[line % 8], 1 + line % 9, line % 1000, line % 100, line % 9000, line % 97);
        snprintf((char *)job + at, 49, "%-47.47s\n", text);
    }
    return job;
}

static void set_cloexec(int fd)
{
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// The printer's end of the bridge, which the bench reads.
struct sink {
    char kind;       // 'p' pseudo-terminal, 'f' named pipe, 't' TCP
    int fd;          // the master, the pipe's read end, or the listening socket
    int keep;        // held so the bridge's going never reads as an end: the slave, a pipe writer
    int conns[64];   // TCP: connections taken
    int nconns;
    long long total; // bytes read, all of them
};

static int parse_host_port(const char *text, struct sockaddr_in *addr)
{
    char host[64];
    const char *colon = strrchr(text, ':');
    if (!colon || colon - text >= (long)sizeof host)
        return -1;
    memcpy(host, text, (size_t)(colon - text));
    host[colon - text] = '\0';
    memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_port = htons((uint16_t)atoi(colon + 1));
    return inet_pton(AF_INET, host, &addr->sin_addr) == 1 ? 0 : -1;
}

static void open_sink(struct sink *s, const char *sink_name)
{
    memset(s, 0, sizeof *s);
    s->keep = -1;
    const char *arg = strchr(sink_name, ':');
    if (!arg) {
        fprintf(stderr, "benchtool: sink %s is not pty:PATH, fifo:PATH or tcp:HOST:PORT\n", sink_name);
        exit(64);
    }
    ++arg;
    s->kind = sink_name[0];
    if (strncmp(sink_name, "pty:", 4) == 0) {
        char path[128];
        if (openpty(&s->fd, &s->keep, path, NULL, NULL) != 0) {
            fprintf(stderr, "benchtool: openpty: %s\n", strerror(errno));
            exit(2);
        }
        set_cloexec(s->fd);
        set_cloexec(s->keep);
        struct termios tio;
        tcgetattr(s->keep, &tio);
        cfmakeraw(&tio);
        tcsetattr(s->keep, TCSANOW, &tio);
        unlink(arg);
        if (symlink(path, arg) != 0) {
            fprintf(stderr, "benchtool: cannot link %s: %s\n", arg, strerror(errno));
            exit(2);
        }
    } else if (strncmp(sink_name, "fifo:", 5) == 0) {
        unlink(arg);
        if (mkfifo(arg, 0600) != 0 ||
            (s->fd = open(arg, O_RDONLY | O_NONBLOCK | O_CLOEXEC)) < 0 ||
            (s->keep = open(arg, O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0) {
            fprintf(stderr, "benchtool: cannot make the pipe %s: %s\n", arg, strerror(errno));
            exit(2);
        }
    } else if (strncmp(sink_name, "tcp:", 4) == 0) {
        struct sockaddr_in addr;
        const int on = 1;
        if (parse_host_port(arg, &addr) != 0) {
            fprintf(stderr, "benchtool: %s is no HOST:PORT\n", arg);
            exit(64);
        }
        s->fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        setsockopt(s->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(s->fd, (struct sockaddr *)&addr, sizeof addr) != 0 || listen(s->fd, 64) != 0) {
            fprintf(stderr, "benchtool: cannot listen on %s: %s\n", arg, strerror(errno));
            exit(2);
        }
    } else {
        fprintf(stderr, "benchtool: unknown sink %s\n", sink_name);
        exit(64);
    }
}

// Reads what reaches the sink into buf (NULL: counts it only) until size bytes have come or
// timeout_s passes without a byte. TCP connections are taken as they come and read alike.
static size_t sink_read(struct sink *s, unsigned char *buf, size_t size, double timeout_s)
{
    static unsigned char scratch[65536];
    size_t got = 0;
    while (got < size) {
        struct pollfd p[65];
        int n = 0;
        p[n++] = (struct pollfd){s->fd, POLLIN, 0};
        for (int i = 0; i < s->nconns; ++i)
            p[n++] = (struct pollfd){s->conns[i], POLLIN, 0};
        const int ready = poll(p, (nfds_t)n, (int)(timeout_s * 1000));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        for (int i = 0; i < n && got < size; ++i) {
            if (!p[i].revents)
                continue;
            if (s->kind == 't' && i == 0) {
                const int c = accept4(s->fd, NULL, NULL, SOCK_CLOEXEC);
                if (c >= 0 && s->nconns < 64)
                    s->conns[s->nconns++] = c;
                else if (c >= 0)
                    close(c);
                continue;
            }
            unsigned char *to = buf ? buf + got : scratch;
            size_t want = size - got;
            if (!buf && want > sizeof scratch)
                want = sizeof scratch;
            const ssize_t r = read(p[i].fd, to, want);
            if (r > 0) {
                got += (size_t)r;
                s->total += r;
            } else if (s->kind == 't' && (r == 0 || (errno != EAGAIN && errno != EINTR))) {
                close(p[i].fd);
                for (int k = i - 1; k + 1 < s->nconns; ++k)
                    s->conns[k] = s->conns[k + 1];
                --s->nconns;
                break; // the poll set no longer matches the connections
            }
        }
    }
    return got;
}

// Whether something listens on 127.0.0.1 (or any address) at port, by the kernel's own table.
static int is_listening(int port)
{
    static const char *tables[] = {"/proc/net/tcp", "/proc/net/tcp6"};
    for (int t = 0; t < 2; ++t) {
        FILE *f = fopen(tables[t], "r");
        if (!f)
            continue;
        char line[512];
        while (fgets(line, sizeof line, f)) {
            char local[128];
            unsigned state;
            if (sscanf(line, " %*d: %127s %*s %x", local, &state) != 2)
                continue;
            const char *colon = strrchr(local, ':');
            if (colon && strtol(colon + 1, NULL, 16) == port && state == 0x0A) {
                fclose(f);
                return 1;
            }
        }
        fclose(f);
    }
    return 0;
}

static int connect_local(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in addr = {0};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, (struct sockaddr *)&addr, sizeof addr) != 0) {
        fprintf(stderr, "benchtool: cannot connect to port %d: %s\n", port, strerror(errno));
        if (fd >= 0)
            close(fd);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

static int stop_child(pid_t pid)
{
    int status = 0;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        sleep_ms(50);
    if (kill(pid, 0) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

static int cmd_net(int argc, char **argv)
{
    if (argc < 10 || strcmp(argv[8], "--") != 0)
        return 64;
    const int port = atoi(argv[3]);
    const size_t job_bytes = (size_t)atoll(argv[4]);
    const int kicks = atoi(argv[5]);
    const long interval_ms = atol(argv[6]);
    FILE *out = fopen(argv[7], "w");
    if (!out) {
        fprintf(stderr, "benchtool: cannot write %s\n", argv[7]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    struct sink s;
    open_sink(&s, argv[2]);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[9], argv + 9);
        fprintf(stderr, "benchtool: cannot run %s: %s\n", argv[9], strerror(errno));
        _exit(127);
    }
    int rc = 1;
    int listening = 0;
    for (int i = 0; i < 1500 && !listening; ++i) {
        int status;
        if (waitpid(pid, &status, WNOHANG) != 0)
            break;
        listening = is_listening(port);
        if (!listening)
            sleep_ms(10);
    }
    static const unsigned char kick[] = {0x1B, 0x70, 0x00, 0x19, 0xFA};
    if (!listening) {
        fprintf(stderr, "benchtool: nothing listens on port %d\n", port);
        goto end;
    }
    if (kicks > 0) {
        unsigned char warm[13] = "warm-up\n";
        memcpy(warm + 8, kick, sizeof kick);
        const int fd = connect_local(port);
        if (fd < 0)
            goto end;
        write_all(fd, warm, sizeof warm);
        close(fd);
        unsigned char got[sizeof warm];
        const size_t n = sink_read(&s, got, sizeof warm, 5.0);
        printf("warmup_whole=%d\n", n == sizeof warm && memcmp(got, warm, n) == 0);
        usleep(300000);
    }

    struct job_writer job = {-1, receipt_job(job_bytes), job_bytes, 65536, 0};
    unsigned char *got = malloc(job_bytes + 1);
    struct proc_info before, after;
    if (!got || read_proc(pid, &before) != 0)
        goto end;
    const double t0 = now();
    job.fd = connect_local(port);
    if (job.fd < 0)
        goto end;
    pthread_t writer;
    pthread_create(&writer, NULL, write_job, &job);
    const size_t n = sink_read(&s, got, job_bytes, 10.0);
    const double t1 = now();
    const int measured = read_proc(pid, &after) == 0;
    // Anything past the job would be bytes doubled.
    const size_t extra = sink_read(&s, got + n, n == job_bytes ? 1 : 0, 0.3);
    pthread_join(writer, NULL);
    shutdown(job.fd, SHUT_WR);
    long long differs = -1;
    for (size_t i = 0; i < n && differs < 0; ++i) {
        if (got[i] != job.data[i])
            differs = (long long)i;
    }
    const double clk = (double)sysconf(_SC_CLK_TCK);
    printf("bytes=%zu\nreceived=%zu\nextra=%zu\nfirst_difference=%lld\nwrite_failed=%d\n"
           "seconds=%.6f\nmib_s=%.3f\n",
           job_bytes, n, extra, differs, job.failed, t1 - t0,
           (double)n / (1024.0 * 1024.0) / (t1 - t0));
    if (measured)
        printf("cpu_s=%.3f\nrun_s=%.6f\nrss_kb=%lld\nthreads=%d\n",
               (double)(after.cpu_ticks - before.cpu_ticks) / clk,
               (double)(after.run_ns - before.run_ns) / 1e9, after.rss_kb, after.threads);
    const int whole = n == job_bytes && differs < 0 && extra == 0;
    free(got);
    free((void *)job.data);
    // The job's end, for a bridge that reads the connection to its end before it takes another.
    sink_read(&s, NULL, 1, 0.2);
    close(job.fd);

    double *sent = calloc((size_t)kicks + 1, sizeof *sent);
    int kicks_sent = 0;
    const long long kick_base = s.total;
    for (int i = 0; i < kicks; ++i) {
        const int fd = connect_local(port);
        if (fd < 0)
            break;
        sent[i] = now();
        const int failed = write_all(fd, kick, sizeof kick) != 0;
        close(fd);
        if (failed)
            break;
        ++kicks_sent;
        // The interval passes reading what the kicks bring to the sink.
        for (double left; (left = sent[i] + (double)interval_ms / 1e3 - now()) > 0;)
            sink_read(&s, NULL, 65536, left);
    }
    if (kicks > 0)
        sink_read(&s, NULL, 65536, 0.3);
    for (int i = 0; i < kicks_sent; ++i)
        fprintf(out, "%.6f -1\n", sent[i]);
    free(sent);
    printf("kicks_sent=%d\nkick_bytes_at_sink=%lld\n", kicks_sent, s.total - kick_base);
    rc = whole && kicks_sent == kicks ? 0 : 1;
end:
    fclose(out);
    printf("exit=%d\n", stop_child(pid));
    return rc;
}

int main(int argc, char **argv)
{
    int rc = 64;
    if (argc >= 2) {
        if (strcmp(argv[1], "kick") == 0)
            rc = cmd_kick(argc, argv);
        else if (strcmp(argv[1], "flood") == 0)
            rc = cmd_flood(argc, argv);
        else if (strcmp(argv[1], "proc") == 0)
            rc = cmd_proc(argc, argv);
        else if (strcmp(argv[1], "wait-open") == 0)
            rc = cmd_wait_open(argc, argv);
        else if (strcmp(argv[1], "bridge") == 0)
            rc = cmd_bridge(argc, argv);
        else if (strcmp(argv[1], "net") == 0)
            rc = cmd_net(argc, argv);
    }
    if (rc == 64)
        fprintf(stderr, "usage: benchtool kick|flood|proc|wait-open|bridge|net ... (see the source)\n");
    return rc;
}
