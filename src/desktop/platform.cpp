// platform.cpp -- clocks, sleeps and exit for a POSIX system.
#include "platform.h"
#include "system.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include <alsa/asoundlib.h>

static unsigned long long monotonicMilliseconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (unsigned long long)ts.tv_sec * 1000u + (unsigned long long)(ts.tv_nsec / 1000000);
}

// Counting from process start-up keeps readings small, so the 32-bit values
// the show stores cannot wrap between two readings of one run.
static const unsigned long long clockBase = monotonicMilliseconds();

static unsigned realMilliseconds()
{
    return (unsigned)(monotonicMilliseconds() - clockBase);
}

static unsigned long long monotonicNanoseconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (unsigned long long)ts.tv_sec * 1000000000u + (unsigned long long)ts.tv_nsec;
}

static const unsigned long long nanosecondBase = monotonicNanoseconds();

static unsigned long long realNanoseconds()
{
    return monotonicNanoseconds() - nanosecondBase;
}

// An absolute wait on the monotonic clock: a signal that interrupts it
// resumes towards the same moment, and no time is lost between reading the
// clock and starting to wait.
static void realSleepUntil(unsigned long long moment)
{
    unsigned long long at = nanosecondBase + moment;
    struct timespec ts = {(time_t)(at / 1000000000u), (long)(at % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

static void realSleepSeconds(unsigned seconds)
{
    struct timespec left = {(time_t)seconds, 0};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) {
    }
}

static void realExit(int status)
{
    exit(status);
}

unsigned (*sysMilliseconds)() = realMilliseconds;
void (*sysSleepSeconds)(unsigned) = realSleepSeconds;
void (*sysExit)(int) = realExit;
unsigned long long (*sysNanoseconds)() = realNanoseconds;
void (*sysSleepUntil)(unsigned long long) = realSleepUntil;

void sysGuardStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int nul = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (nul >= 0 && nul != fd) {
                dup2(nul, fd);
                close(nul);
            }
        }
    }
    signal(SIGPIPE, SIG_IGN);
}

const char *sysProgramName()
{
    const char *given = getenv("CORBANET_DEMO_NAME");
    return given && *given ? given : program_invocation_short_name;
}

// ALSA's own error printing, replaced by nothing.
static void quietAlsa(const char *, int, const char *, int, const char *, ...)
{
}

void sysQuietAudioLibraries()
{
    snd_lib_error_set_handler(quietAlsa);
}

int sysOpenForReading(const char *name)
{
    return open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
