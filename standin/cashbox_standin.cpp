// A stand-in for the vendor's CashBox drawer library, for machines that have none and for tests.
// Every call reports the pulse on one line (standard error, and the file named by
// CASHBOX_STANDIN_LOG) and returns CASHBOX_STANDIN_RESULT (default 0), or the number held in
// the file named by CASHBOX_STANDIN_RESULT_FILE, read afresh at every call. With
// CASHBOX_STANDIN_HANG set, a call never returns, as with a driver that hangs.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#if defined(_WIN32) && !defined(_WIN64)
// 32-bit Windows: CashBox.def alone decides the export table (the MSVC-style decorated name),
// so no dllexport here, which would add MinGW's own spelling of the name.
#define CASHBOX_EXPORT extern "C"
#define CASHBOX_CALL __stdcall
#elif defined(_WIN32)
#define CASHBOX_EXPORT extern "C" __declspec(dllexport)
#define CASHBOX_CALL
#else
#define CASHBOX_EXPORT extern "C" __attribute__((visibility("default")))
#define CASHBOX_CALL
#endif

namespace {

// Seconds on a clock that only goes forward (CLOCK_MONOTONIC on Linux), so that a caller can
// time the way from a written command to its pulse.
double monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int32_t configuredResult()
{
    if (const char *path = std::getenv("CASHBOX_STANDIN_RESULT_FILE")) {
        if (std::FILE *f = std::fopen(path, "r")) {
            long value = 0;
            const bool ok = std::fscanf(f, "%ld", &value) == 1;
            std::fclose(f);
            if (ok)
                return static_cast<std::int32_t>(value);
        }
    }
    if (const char *text = std::getenv("CASHBOX_STANDIN_RESULT"))
        return static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
    return 0;
}

const char *orEmpty(const char *text)
{
    return text ? text : "(null)";
}

} // namespace

CASHBOX_EXPORT std::int32_t CASHBOX_CALL CashBoxNormalGPIO(const char *a, const char *b,
                                                           const char *c, const char *d)
{
    if (std::getenv("CASHBOX_STANDIN_HANG")) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    const std::int32_t result = configuredResult();
    char line[512];
    const int n = std::snprintf(
        line, sizeof line, "cashbox-standin: pulse t=%.6f \"%s\" \"%s\" \"%s\" \"%s\" -> %ld\n",
        monotonicSeconds(), orEmpty(a), orEmpty(b), orEmpty(c), orEmpty(d),
        static_cast<long>(result));
    if (n > 0) {
        std::fputs(line, stderr);
        if (const char *path = std::getenv("CASHBOX_STANDIN_LOG")) {
            // One write in append mode, so lines from several processes never interleave.
            if (std::FILE *f = std::fopen(path, "a")) {
                std::fputs(line, f);
                std::fclose(f);
            }
        }
    }
    return result;
}
