// The least a drawer bridge can do: block in read() on the port and call the drawer library for
// each read that begins with ESC p. Usage: floor <port> <libCashBox.so>
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

typedef int32_t (*normal_gpio)(const char *, const char *, const char *, const char *);

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: floor <port> <libCashBox.so>\n");
        return 64;
    }
    void *lib = dlopen(argv[2], RTLD_NOW);
    if (!lib) {
        fprintf(stderr, "floor: %s\n", dlerror());
        return 2;
    }
    normal_gpio pulse = (normal_gpio)(uintptr_t)dlsym(lib, "CashBoxNormalGPIO");
    if (!pulse) {
        fprintf(stderr, "floor: %s\n", dlerror());
        return 2;
    }
    int fd = open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        fprintf(stderr, "floor: cannot open %s: %s\n", argv[1], strerror(errno));
        return 2;
    }
    struct termios tio;
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetspeed(&tio, B9600);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &tio);
    }
    unsigned char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (n >= 2 && buf[0] == 0x1B && buf[1] == 0x70)
            pulse("53a", "5", "538", "6");
    }
    close(fd);
    return 0;
}
