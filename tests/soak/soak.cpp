// Soak driver: runs the real tralvo on one end of a socat pseudo-terminal pair, with the stand-in
// drawer library, and writes thousands of drawer commands and noise chunks into the other end.
// Every pulse the stand-in logs is matched against what was sent: with gaps between writes each
// chunk is its own text, so exactly the commands pulse (a chunk that is only ESC is followed by
// a gap longer than the 20 ms that tralvo waits for the rest of a command); in bursts chunks may
// merge, so pulses may only be fewer than the commands. Some calls are made to fail through the
// result file. At the end the pair's peer vanishes: tralvo must stay up and idle, and end cleanly
// on SIGTERM.
//
// Linux only (inotify, /proc, PR_SET_PDEATHSIG).

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::string;
constexpr char esc = '\x1b';

struct Options
{
    std::string tralvo;
    std::string standinDir;
    std::string workDir;
    std::string stopCommand; // ends tralvo in order instead of SIGTERM (taskkill under Wine)
    int commands = 10000;
    int burstRounds = 10;
    int burstChunks = 200;
    int gapMs = 10;
    int faultEvery = 50;
    int floodBytes = 0;
    unsigned run = 0;
    bool runGiven = false;
};

[[noreturn]] void usage(const char *why)
{
    std::fprintf(stderr,
                 "soak: %s\n"
                 "usage: soak --tralvo PATH --standin-dir DIR --workdir DIR [--commands N]\n"
                 "            [--bursts ROUNDS] [--burst-chunks N] [--gap-ms MS]\n"
                 "            [--fault-every N] [--flood-bytes N] [--stop-command CMD]\n"
                 "            [--run N]\n",
                 why);
    std::exit(2);
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            usage(("missing value for " + arg).c_str());
        const std::string value = argv[++i];
        auto number = [&] {
            char *end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || *end != '\0' || n < 0 || n > INT_MAX)
                usage(("not a number: " + value).c_str());
            return static_cast<int>(n);
        };
        if (arg == "--tralvo")
            o.tralvo = value;
        else if (arg == "--standin-dir")
            o.standinDir = value;
        else if (arg == "--workdir")
            o.workDir = value;
        else if (arg == "--commands")
            o.commands = number();
        else if (arg == "--bursts")
            o.burstRounds = number();
        else if (arg == "--burst-chunks")
            o.burstChunks = number();
        else if (arg == "--gap-ms")
            o.gapMs = std::max(10, number());
        else if (arg == "--fault-every")
            o.faultEvery = number();
        else if (arg == "--flood-bytes")
            o.floodBytes = number();
        else if (arg == "--stop-command")
            o.stopCommand = value;
        else if (arg == "--run") {
            o.run = static_cast<unsigned>(number());
            o.runGiven = true;
        } else
            usage(("unknown argument: " + arg).c_str());
    }
    if (o.tralvo.empty() || o.standinDir.empty() || o.workDir.empty())
        usage("--tralvo, --standin-dir and --workdir are required");
    return o;
}

double monotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void sleepFor(std::chrono::milliseconds ms)
{
    std::this_thread::sleep_for(ms);
}

// Children are ended on any way out of the driver: destructors, a signal, or the driver's death
// (PR_SET_PDEATHSIG).
volatile sig_atomic_t g_children[2] = {0, 0};

void endChildren()
{
    for (volatile sig_atomic_t &pid : g_children) {
        if (pid > 0)
            kill(static_cast<pid_t>(pid), SIGKILL);
    }
}

void onSignal(int signalNumber)
{
    endChildren();
    _exit(128 + signalNumber);
}

class Child
{
public:
    Child(int slot, const std::vector<std::string> &argv, const std::vector<std::string> &env,
          const std::string &outputFile)
        : m_slot(slot)
    {
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid < 0) {
            std::perror("soak: fork");
            std::exit(2);
        }
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                dup2(out, STDOUT_FILENO);
                dup2(out, STDERR_FILENO);
                close(out);
            }
            for (const std::string &kv : env)
                putenv(const_cast<char *>(kv.c_str()));
            std::vector<char *> args;
            for (const std::string &a : argv)
                args.push_back(const_cast<char *>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            std::perror("soak: exec");
            _exit(127);
        }
        g_children[m_slot] = m_pid;
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child()
    {
        if (running()) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        g_children[m_slot] = 0;
    }

    pid_t pid() const { return m_pid; }

    bool running()
    {
        if (m_reaped)
            return false;
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_reaped = true;
            m_status = status;
            g_children[m_slot] = 0;
            return false;
        }
        return true;
    }

    // Waits for the end, up to the timeout; the raw wait status, or -1 while still running.
    int waitFor(std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        while (running()) {
            if (Clock::now() >= deadline)
                return -1;
            sleepFor(std::chrono::milliseconds(20));
        }
        return m_status;
    }

private:
    int m_slot;
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// utime + stime, in clock ticks.
long cpuTicks(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    // Field 3 (state) is the first after the name; utime and stime are fields 14 and 15.
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14)
            utime = std::atol(field.c_str());
        else if (n == 15)
            stime = std::atol(field.c_str());
    }
    return utime + stime;
}

// The number after "key:" in one of the process's /proc files, or -1.
long procValue(pid_t pid, const char *file, const std::string &key)
{
    std::istringstream text(readFile("/proc/" + std::to_string(pid) + "/" + file));
    std::string line;
    while (std::getline(text, line)) {
        if (line.rfind(key + ':', 0) == 0)
            return std::atol(line.c_str() + key.size() + 1);
    }
    return -1;
}

// Bytes the process has read through read() and the like, from any file.
long readChars(pid_t pid)
{
    return procValue(pid, "io", "rchar");
}

// The main thread's scheduling state: 'S' while it waits in its event loop.
char mainThreadState(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

// The main thread's voluntary context switches. They stand still only while it sleeps in its
// event loop: under Wine a drain calls the Wine server again and again, each call a switch, and
// between calls its thread looks asleep too.
long mainThreadSwitches(pid_t pid)
{
    return procValue(pid, "status", "voluntary_ctxt_switches");
}

long rssKb(pid_t pid)
{
    return procValue(pid, "status", "VmRSS");
}

bool holdsOpen(pid_t pid, const std::string &target)
{
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR *fds = opendir(dir.c_str());
    if (fds == nullptr)
        return false;
    bool found = false;
    while (const dirent *entry = readdir(fds)) {
        char buf[PATH_MAX];
        const ssize_t n = readlink((dir + '/' + entry->d_name).c_str(), buf, sizeof buf - 1);
        if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target) {
            found = true;
            break;
        }
    }
    closedir(fds);
    return found;
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step = std::chrono::milliseconds(20))
{
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        sleepFor(step);
    }
    return true;
}

struct Pulse
{
    double t = 0;
    std::vector<std::string> texts;
    long result = 0;
};

// Follows the stand-in's log, one parsed pulse per line.
class PulseLog
{
public:
    explicit PulseLog(const std::string &path) : m_path(path)
    {
        const int created = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (created >= 0)
            close(created);
        m_fd = open(path.c_str(), O_RDONLY);
        m_notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0 || m_notify < 0 ||
            inotify_add_watch(m_notify, path.c_str(), IN_MODIFY | IN_CLOSE_WRITE) < 0) {
            std::perror("soak: pulse log");
            std::exit(2);
        }
    }
    PulseLog(const PulseLog &) = delete;
    PulseLog &operator=(const PulseLog &) = delete;
    ~PulseLog()
    {
        close(m_fd);
        close(m_notify);
    }

    const std::vector<Pulse> &pulses() const { return m_pulses; }
    std::size_t count()
    {
        readNew();
        return m_pulses.size();
    }
    int unparsed() const { return m_unparsed; }

    // Waits until at least `n` pulses have been logged, woken by the log's changes.
    bool waitForCount(std::size_t n, std::chrono::milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            if (count() >= n)
                return true;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{m_notify, POLLIN, 0};
            poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 50)));
            char drain[4096];
            while (read(m_notify, drain, sizeof drain) > 0) {
            }
        }
    }

private:
    void readNew()
    {
        char buf[8192];
        ssize_t n = 0;
        while ((n = read(m_fd, buf, sizeof buf)) > 0)
            m_partial.append(buf, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t nl; (nl = m_partial.find('\n', start)) != std::string::npos;
             start = nl + 1)
            parse(m_partial.substr(start, nl - start));
        m_partial.erase(0, start);
    }

    void parse(const std::string &line)
    {
        Pulse p;
        const std::string prefix = "cashbox-standin: pulse t=";
        if (line.rfind(prefix, 0) != 0) {
            ++m_unparsed;
            return;
        }
        p.t = std::atof(line.c_str() + prefix.size());
        std::size_t pos = line.find('"');
        while (pos != std::string::npos && p.texts.size() < 4) {
            const std::size_t end = line.find('"', pos + 1);
            if (end == std::string::npos)
                break;
            p.texts.push_back(line.substr(pos + 1, end - pos - 1));
            pos = line.find('"', end + 1);
        }
        const std::size_t arrow = line.rfind("-> ");
        if (p.texts.size() != 4 || arrow == std::string::npos) {
            ++m_unparsed;
            return;
        }
        p.result = std::atol(line.c_str() + arrow + 3);
        m_pulses.push_back(std::move(p));
    }

    std::string m_path;
    int m_fd = -1;
    int m_notify = -1;
    std::string m_partial;
    std::vector<Pulse> m_pulses;
    int m_unparsed = 0;
};

void writeResultFile(const std::string &path, long value)
{
    // Written aside and renamed, so that the stand-in never reads half a number.
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << value << '\n';
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::perror("soak: result file");
        std::exit(2);
    }
}

bool writeAll(int fd, const Bytes &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

class Generator
{
public:
    explicit Generator(unsigned run) : m_rng(run) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    char byte() { return static_cast<char>(below(256)); }

    // ESC p and up to eight parameter bytes of any value.
    Bytes command()
    {
        Bytes b{esc, 'p'};
        for (int n = below(9); n > 0; --n)
            b += byte();
        return b;
    }

    // A chunk that does not begin with ESC p, in the shapes that come closest to one.
    Bytes noise()
    {
        Bytes b;
        switch (below(6)) {
        case 0: // a byte, then a whole command
            b += static_cast<char>(below(2) == 0 ? 0 : below(256));
            if (b[0] == esc)
                b[0] = 0;
            b += command();
            break;
        case 1: // ESC alone
            b = Bytes(1, esc);
            break;
        case 2: // the p without its ESC
            b = "p" + randomBytes(below(8));
            break;
        case 3: // ESC and a capital P
            b = Bytes{esc, 'P'} + randomBytes(below(8));
            break;
        default: // anything, up to 32 bytes
            b = randomBytes(1 + below(32));
            if (b.size() >= 2 && b[0] == esc && b[1] == 'p')
                b[1] = 'q';
            break;
        }
        return b;
    }

    // Bytes for a burst: ESC p occurs nowhere but at a command's start, also across chunk
    // borders, so that however the stream is cut, no notification can begin with ESC p unless
    // it begins at a command.
    Bytes burstBytes(std::size_t n, char &previous)
    {
        Bytes b;
        while (b.size() < n) {
            const char c = byte();
            if (previous == esc && c == 'p')
                continue;
            b += c;
            previous = c;
        }
        return b;
    }

private:
    Bytes randomBytes(int n)
    {
        Bytes b;
        for (int i = 0; i < n; ++i)
            b += byte();
        return b;
    }

    std::mt19937 m_rng;
};

class Checks
{
public:
    void check(bool ok, const std::string &what)
    {
        std::printf("  [%s] %s\n", ok ? "pass" : "FAIL", what.c_str());
        std::fflush(stdout);
        (ok ? m_passed : m_failed)++;
    }
    int passed() const { return m_passed; }
    int failed() const { return m_failed; }

private:
    int m_passed = 0;
    int m_failed = 0;
};

std::string hex(const Bytes &bytes)
{
    std::string out;
    char digits[4];
    for (const char c : bytes) {
        std::snprintf(digits, sizeof digits, "%02x ", static_cast<unsigned char>(c));
        out += digits;
    }
    if (!out.empty())
        out.pop_back();
    return out.empty() ? "(nothing)" : out;
}

std::string tail(const std::string &text, std::size_t lines)
{
    if (text.empty())
        return text;
    std::size_t pos = text.size();
    for (std::size_t n = 0; n <= lines && pos > 0; ++n)
        pos = text.rfind('\n', pos - 1);
    return pos == std::string::npos ? text : text.substr(pos + 1);
}

} // namespace

int main(int argc, char **argv)
{
    Options opt = parseOptions(argc, argv);
    if (!opt.runGiven)
        opt.run = std::random_device{}();
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        signal(s, onSignal);
    signal(SIGPIPE, SIG_IGN);

    const std::string dir = opt.workDir;
    const std::string com8 = dir + "/com8";
    const std::string com9 = dir + "/com9";
    const std::string logPath = dir + "/pulses.log";
    const std::string resultPath = dir + "/result";
    std::printf("soak: run %u, %d commands, %d burst rounds of %d chunks, gap %d ms\n", opt.run,
                opt.commands, opt.burstRounds, opt.burstChunks, opt.gapMs);

    Checks checks;
    Generator gen(opt.run);

    Child socat(0, {"socat", "pty,raw,echo=0,link=" + com9, "pty,raw,echo=0,link=" + com8}, {},
                dir + "/socat.out");
    if (!waitUntil(
            [&] { return access(com8.c_str(), F_OK) == 0 && access(com9.c_str(), F_OK) == 0; },
            std::chrono::seconds(10))) {
        std::fprintf(stderr, "soak: socat made no pair\n%s", readFile(dir + "/socat.out").c_str());
        return 2;
    }
    char com9Real[PATH_MAX];
    if (realpath(com9.c_str(), com9Real) == nullptr) {
        std::perror("soak: com9");
        return 2;
    }

    writeResultFile(resultPath, 0);
    PulseLog log(logPath);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    const std::string tralvoOut = dir + "/tralvo.out";
    // tralvo's last lines, for a failure's report.
    const auto lastOutput = [&tralvoOut] { return tail(readFile(tralvoOut), 20); };
    Child tralvo(1, {opt.tralvo, "1,0"},
                 {"TRALVO_COMDIR=" + dir, "LD_LIBRARY_PATH=" + opt.standinDir,
                  "CASHBOX_STANDIN_LOG=" + logPath, "CASHBOX_STANDIN_RESULT_FILE=" + resultPath},
                 tralvoOut);
    if (!waitUntil([&] { return !tralvo.running() || holdsOpen(tralvo.pid(), com9Real); },
                   std::chrono::seconds(15)) ||
        !tralvo.running()) {
        std::fprintf(stderr, "soak: tralvo did not open its Device port\n%s", lastOutput().c_str());
        return 2;
    }
    // Holding the port is not yet having set it up: bytes that come before the set-up has
    // emptied the port are dropped, by design. The state line says when it is done.
    if (!waitUntil(
            [&] { return readFile(tralvoOut).find("Device: Open Success") != std::string::npos; },
            std::chrono::seconds(15))) {
        std::fprintf(stderr, "soak: tralvo did not report its Device port open\n%s",
                     lastOutput().c_str());
        return 2;
    }

    const int port = open(com8.c_str(), O_RDWR | O_NOCTTY);
    if (port < 0) {
        std::perror("soak: com8");
        return 2;
    }
    termios tio{};
    if (tcgetattr(port, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(port, TCSANOW, &tio);
    }

    const std::vector<std::string> profile0{"53a", "5", "538", "6"};
    const std::chrono::milliseconds gap(opt.gapMs);
    // After ESC alone, tralvo waits up to 20 ms for the rest of a command; a chunk written
    // within that would rightly join it.
    const std::chrono::milliseconds afterOpeningGap(std::max(opt.gapMs, 40));
    const std::chrono::seconds pulseTimeout(5);

    // Warm-up: the first pulse binds the library.
    writeAll(port, Bytes{esc, 'p', 0, 25, static_cast<char>(250)});
    const bool warmedUp = log.waitForCount(1, std::chrono::seconds(15));
    checks.check(warmedUp, "warm-up command pulsed");
    if (!warmedUp) {
        std::printf("soak: no pulse at all; tralvo's last output:\n%s", lastOutput().c_str());
        std::printf("soak: %d passed, %d failed\n", checks.passed(), checks.failed());
        return 1;
    }
    const long rssStart = rssKb(tralvo.pid());
    std::size_t expected = log.count();

    // Gapped phase: one notification per chunk.
    int noiseSent = 0;
    int missed = 0;
    int missedInARow = 0;
    int commandsSent = 0;
    int invented = 0;
    int faultsInjected = 0;
    int faultMismatches = 0;
    int resumedAfterFault = 0;
    int notResumed = 0;
    int wrongProfile = 0;
    long faultValue = 0;
    bool afterFault = false;
    std::vector<double> latencies;
    const long faultValues[] = {1, -1, 2, 255, 65536, INT32_MAX, INT32_MIN};
    auto lastWrite = Clock::now() - gap;

    Bytes previousChunk;
    double previousAt = 0;
    long readBefore = 0;
    int slowTakes = 0;
    int untaken = 0;
    // Ten milliseconds are not always enough on a busy machine: a chunk that tralvo has not yet
    // taken would merge with the next one. So the next write also waits (boundedly) until
    // tralvo has read at least the previous chunk's bytes and its main thread sleeps again,
    // i.e. the drain is over.
    auto waitTaken = [&] {
        if (previousChunk.empty())
            return;
        const auto gapEnd = lastWrite + gap;
        long switches = -1;
        const bool taken = waitUntil(
            [&] {
                if (readChars(tralvo.pid()) - readBefore < static_cast<long>(previousChunk.size()))
                    return false;
                // Asleep, and still asleep a poll later.
                const long now = mainThreadSwitches(tralvo.pid());
                const bool asleep = now == switches && mainThreadState(tralvo.pid()) == 'S';
                switches = now;
                return asleep;
            },
            std::chrono::seconds(2), std::chrono::milliseconds(1));
        if (!taken)
            ++untaken;
        else if (Clock::now() > gapEnd)
            ++slowTakes;
    };
    auto sendGapped = [&](const Bytes &chunk) {
        waitTaken();
        // tralvo's wait after ESC alone starts when it takes the ESC, which on a busy machine
        // (or under Wine) can be well after the write: the gap runs from the take.
        const auto writeAt =
            previousChunk == Bytes(1, esc) ? Clock::now() + afterOpeningGap : lastWrite + gap;
        std::this_thread::sleep_until(writeAt);
        const std::size_t seen = log.count();
        if (seen > expected) {
            invented += static_cast<int>(seen - expected);
            expected = seen;
        }
        readBefore = readChars(tralvo.pid());
        const double sentAt = monotonicSeconds();
        lastWrite = Clock::now();
        if (!writeAll(port, chunk)) {
            std::perror("soak: write");
            std::exit(2);
        }
        previousChunk = chunk;
        previousAt = sentAt;
        return sentAt;
    };

    std::printf("soak: gapped phase\n");
    std::fflush(stdout);
    const auto gappedStart = Clock::now();
    for (int i = 0; i < opt.commands; ++i) {
        for (int n = gen.below(4) == 0 ? 2 : gen.below(2); n > 0; --n) {
            sendGapped(gen.noise());
            ++noiseSent;
        }
        const bool fault = opt.faultEvery > 0 && i % opt.faultEvery == opt.faultEvery / 2;
        if (fault) {
            faultValue = faultValues[gen.below(static_cast<int>(std::size(faultValues)))];
            writeResultFile(resultPath, faultValue);
            ++faultsInjected;
        }
        const Bytes before = previousChunk;
        const double beforeAt = previousAt;
        const Bytes command = gen.command();
        const double sentAt = sendGapped(command);
        ++commandsSent;
        ++expected;
        if (!log.waitForCount(expected, pulseTimeout)) {
            ++missed;
            --expected;
            std::printf("  missed command %d%s: %s, written %.2f ms after %s\n", i + 1,
                        fault        ? " (failing call)"
                        : afterFault ? " (after a failing call)"
                                     : "",
                        hex(command).c_str(), (sentAt - beforeAt) * 1e3, hex(before).c_str());
            if (++missedInARow == 20) {
                std::printf("soak: 20 commands in a row without a pulse; giving up\n");
                break;
            }
        } else {
            missedInARow = 0;
            const Pulse &p = log.pulses()[expected - 1];
            latencies.push_back(p.t - sentAt);
            if (p.texts != profile0)
                ++wrongProfile;
            if (fault) {
                if (p.result != faultValue)
                    ++faultMismatches;
            } else if (afterFault) {
                (p.result == 0 ? resumedAfterFault : notResumed)++;
            } else if (p.result != 0) {
                ++faultMismatches;
            }
        }
        if (fault)
            writeResultFile(resultPath, 0);
        afterFault = fault;
        if ((i + 1) % 1000 == 0) {
            std::printf("  %d commands sent, %zu pulses\n", i + 1, log.count() - 1);
            std::fflush(stdout);
        }
    }
    // Late pulses from the last chunks.
    std::this_thread::sleep_until(lastWrite + std::chrono::milliseconds(500));
    if (log.count() > expected)
        invented += static_cast<int>(log.count() - expected);
    const std::size_t gappedPulses = log.count() - 1;
    const double gappedSeconds = std::chrono::duration<double>(Clock::now() - gappedStart).count();
    int failedResults = 0;
    for (std::size_t k = 1; k < log.pulses().size(); ++k)
        failedResults += log.pulses()[k].result != 0 ? 1 : 0;
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) {
        return latencies.empty() ? 0.0
                                 : latencies[static_cast<std::size_t>(q * (latencies.size() - 1))];
    };

    std::printf("soak: gapped phase: %.0f s, commands sent %d, noise chunks %d, pulses seen %zu, "
                "missed %d, invented %d, failed-result pulses %d (faults injected %d)\n",
                gappedSeconds, commandsSent, noiseSent, gappedPulses, missed, invented,
                failedResults, faultsInjected);
    // The stand-in's clock is this one only where both are CLOCK_MONOTONIC (not under Wine).
    if (at(0.0) >= 0)
        std::printf("soak: write-to-pulse latency: median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    at(0.5) * 1e3, at(0.99) * 1e3, at(1.0) * 1e3);
    std::printf("soak: chunks taken after the gap %d, never seen taken %d\n", slowTakes, untaken);
    checks.check(untaken == 0, "tralvo read every gapped chunk");
    checks.check(missed == 0, "no command missed");
    checks.check(invented == 0, "no pulse without a command");
    checks.check(commandsSent == opt.commands &&
                     gappedPulses == static_cast<std::size_t>(commandsSent),
                 "exactly one pulse per command");
    checks.check(wrongProfile == 0 && log.unparsed() == 0, "every pulse with profile 0's texts");
    checks.check(faultMismatches == 0 && failedResults == faultsInjected,
                 "every injected failure seen, and no other");
    checks.check(notResumed == 0 && (faultsInjected == 0 || resumedAfterFault > 0),
                 "pulses resume with result 0 after a failure (" +
                     std::to_string(resumedAfterFault) + " checked)");

    // Burst phase: no gaps, so chunks may merge into one notification.
    auto quiesce = [&] {
        // Settled when neither the pulse count nor tralvo's CPU time moves for a second.
        std::size_t pulses = log.count();
        long ticks = cpuTicks(tralvo.pid());
        auto stableSince = Clock::now();
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Clock::now() - stableSince < std::chrono::seconds(1) && Clock::now() < deadline) {
            sleepFor(std::chrono::milliseconds(100));
            const std::size_t p = log.count();
            const long t = cpuTicks(tralvo.pid());
            if (p != pulses || t != ticks) {
                pulses = p;
                ticks = t;
                stableSince = Clock::now();
            }
        }
    };

    std::printf("soak: burst phase\n");
    int burstCommands = 0;
    int burstNoise = 0;
    std::size_t burstPulses = 0;
    int roundsOver = 0;
    int roundsWithoutFirst = 0;
    int noiseRoundPulses = 0;
    for (int round = 0; round < opt.burstRounds; ++round) {
        const bool noiseOnly = round % 5 == 4;
        quiesce();
        const std::size_t before = log.count();
        int commands = 0;
        char previous = 0;
        for (int c = 0; c < opt.burstChunks; ++c) {
            const bool command = !noiseOnly && (c == 0 || gen.below(3) == 0);
            Bytes chunk;
            if (command) {
                chunk = Bytes{esc, 'p'};
                previous = 'p';
                chunk += gen.burstBytes(static_cast<std::size_t>(gen.below(9)), previous);
                ++commands;
            } else {
                chunk = gen.burstBytes(static_cast<std::size_t>(1 + gen.below(32)), previous);
                ++burstNoise;
            }
            if (!writeAll(port, chunk)) {
                std::perror("soak: write");
                return 2;
            }
        }
        quiesce();
        const std::size_t pulses = log.count() - before;
        burstCommands += commands;
        burstPulses += pulses;
        if (noiseOnly)
            noiseRoundPulses += static_cast<int>(pulses);
        else if (pulses > static_cast<std::size_t>(commands))
            ++roundsOver;
        else if (pulses < 1)
            ++roundsWithoutFirst;
        std::printf("  round %d: %s, %d commands, %zu pulses\n", round + 1,
                    noiseOnly ? "noise only" : "mixed", commands, pulses);
    }
    // A gapped command after the bursts must still pulse exactly once.
    quiesce();
    const std::size_t beforeRecovery = log.count();
    if (!writeAll(port, gen.command())) {
        std::perror("soak: write");
        return 2;
    }
    const bool recovered = log.waitForCount(beforeRecovery + 1, pulseTimeout);
    quiesce();
    const std::size_t recoveryPulses = log.count() - beforeRecovery;
    const long rssEnd = rssKb(tralvo.pid());
    std::printf("soak: burst phase: commands sent %d, noise chunks %d, pulses seen %zu\n",
                burstCommands, burstNoise, burstPulses);
    if (opt.burstRounds > 0) {
        checks.check(roundsOver == 0, "bursts: never more pulses than commands");
        checks.check(roundsWithoutFirst == 0,
                     "bursts: a burst that opens with a command pulses at least once");
        checks.check(noiseRoundPulses == 0, "bursts: no pulse from noise alone");
    }
    checks.check(recovered && recoveryPulses == 1, "a gapped command after the bursts pulses once");
    std::printf("soak: tralvo RSS %ld kB after warm-up, %ld kB after the bursts\n", rssStart,
                rssEnd);

    // A flood: megabytes without a command, as fast as the port takes them. Nothing pulses,
    // memory stays put, and a command afterwards pulses once.
    if (opt.floodBytes > 0) {
        std::printf("soak: flood of %d bytes\n", opt.floodBytes);
        std::fflush(stdout);
        quiesce();
        const std::size_t beforeFlood = log.count();
        const long rssBefore = rssKb(tralvo.pid());
        const auto floodStart = Clock::now();
        char previous = 0;
        for (int sent = 0; sent < opt.floodBytes;) {
            const Bytes chunk = gen.burstBytes(
                static_cast<std::size_t>(std::min(4096, opt.floodBytes - sent)), previous);
            if (!writeAll(port, chunk)) {
                std::perror("soak: write");
                return 2;
            }
            sent += static_cast<int>(chunk.size());
        }
        const double writeSeconds =
            std::chrono::duration<double>(Clock::now() - floodStart).count();
        quiesce();
        const std::size_t floodPulses = log.count() - beforeFlood;
        const long rssFlooded = rssKb(tralvo.pid());
        const bool pulsed =
            writeAll(port, gen.command()) && log.waitForCount(beforeFlood + 1, pulseTimeout);
        quiesce();
        std::printf("soak: flood: written in %.1f s (%.2f MiB/s), pulses %zu; tralvo RSS %ld kB "
                    "before, %ld kB after\n",
                    writeSeconds, opt.floodBytes / writeSeconds / 1048576.0, floodPulses, rssBefore,
                    rssFlooded);
        checks.check(floodPulses == 0, "flood: no pulse");
        checks.check(pulsed && log.count() == beforeFlood + 1,
                     "flood: a command afterwards pulses once");
        checks.check(rssBefore > 0 && rssFlooded - rssBefore <= 1024,
                     "flood: memory grows by 1 MiB at most");
    }

    // The peer vanishes.
    std::printf("soak: peer vanishes\n");
    const std::size_t beforeVanish = log.count();
    kill(socat.pid(), SIGTERM);
    const bool socatGone = socat.waitFor(std::chrono::seconds(5)) != -1;
    sleepFor(std::chrono::milliseconds(500));
    // Without the port tralvo tries it again about once a second. Each try may cost it up to
    // 10 ms of CPU on a loaded machine, and the count of ticks rounds, hence the slack; a busy
    // loop costs a whole second of CPU every second.
    constexpr int idleSeconds = 10;
    const long tickHz = std::max(1L, sysconf(_SC_CLK_TCK));
    const long tryTicks = std::max(1L, tickHz / 100);
    const long idleBound = (idleSeconds + 1) * tryTicks + 5 * tryTicks;
    const long ticks0 = cpuTicks(tralvo.pid());
    sleepFor(std::chrono::seconds(idleSeconds));
    const long ticks1 = cpuTicks(tralvo.pid());
    const bool alive = tralvo.running();
    std::printf("soak: after the peer vanished: tralvo %s, CPU %ld ticks over %d s (at most %ld: "
                "%ld tries of 10 ms and 50 ms more; %ld ticks a second)\n",
                alive ? "alive" : "gone", ticks1 - ticks0, idleSeconds, idleBound,
                static_cast<long>(idleSeconds + 1), tickHz);
    checks.check(socatGone, "socat ended");
    checks.check(alive, "tralvo stays alive without its peer");
    checks.check(alive && ticks0 >= 0 && ticks1 >= 0 && ticks1 - ticks0 <= idleBound,
                 "tralvo idle without its peer");
    checks.check(log.count() == beforeVanish, "no pulse after the peer vanished");
    close(port);

    if (opt.stopCommand.empty())
        kill(tralvo.pid(), SIGTERM);
    else if (std::system(opt.stopCommand.c_str()) != 0)
        std::printf("soak: the stop command failed: %s\n", opt.stopCommand.c_str());
    const int status = tralvo.waitFor(std::chrono::seconds(10));
    checks.check(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0,
                 (opt.stopCommand.empty() ? std::string("SIGTERM") : opt.stopCommand) +
                     " ends tralvo with exit status 0");
    if (status != -1 && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        std::printf("soak: tralvo's last output:\n%s", lastOutput().c_str());

    std::printf("soak: %d passed, %d failed\n", checks.passed(), checks.failed());
    return checks.failed() == 0 ? 0 : 1;
}
