// platform.cpp -- clocks, sleeps and exit for Windows, and the services of
// music/system.h under Windows' own names.
#include "platform.h"
#include "system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include <windows.h>
#include <mmsystem.h>

static unsigned long long counterNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (unsigned long long)now.QuadPart;
}

static unsigned long long counterFrequency()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return (unsigned long long)f.QuadPart;
}

// Counting from start-up keeps readings small, so the 32-bit values the show
// stores cannot wrap between two readings of one run.
static const unsigned long long clockBase = counterNow();
static const unsigned long long ticksPerSecond = counterFrequency();

static unsigned realMilliseconds()
{
    unsigned long long ticks = counterNow() - clockBase;
    // Whole seconds and the rest apart, so the product cannot overflow.
    return (unsigned)((ticks / ticksPerSecond) * 1000u + (ticks % ticksPerSecond) * 1000u / ticksPerSecond);
}

static unsigned long long realNanoseconds()
{
    unsigned long long ticks = counterNow() - clockBase;
    return (ticks / ticksPerSecond) * 1000000000u + (ticks % ticksPerSecond) * 1000000000u / ticksPerSecond;
}

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

// The timer the pacer waits on. Windows 10 (1803 and later) has one that
// wakes within a fraction of a millisecond; older Windows gets an ordinary
// one with the system's timer resolution raised to 1 ms for the process's
// life, since its default of 15.6 ms would round a 60 Hz wait of 16.7 ms
// up to 31 ms.
static HANDLE frameTimer()
{
    static HANDLE timer = nullptr;
    static bool made = false;
    if (!made) {
        made = true;
        timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        if (!timer) {
            timeBeginPeriod(1);
            timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
    }
    return timer;
}

static void realSleepUntil(unsigned long long moment)
{
    unsigned long long now = realNanoseconds();
    if (now >= moment)
        return;
    HANDLE timer = frameTimer();
    // A relative due time, in 100 ns units, negative.
    LARGE_INTEGER due;
    due.QuadPart = -(LONGLONG)((moment - now + 99) / 100);
    if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE))
        WaitForSingleObject(timer, INFINITE);
    else
        Sleep((DWORD)((moment - now + 999999) / 1000000));
}

static void realSleepSeconds(unsigned seconds)
{
    Sleep((DWORD)seconds * 1000u);
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
    // A descriptor with no handle behind it (the program started with a
    // standard handle closed) is opened on NUL, so that no later open lands
    // there and the statistics have somewhere to go. A pipe whose reader has
    // gone gives a failed write on Windows, never a signal.
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) < 0) {
            int nul = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
            if (nul >= 0 && nul != fd) {
                _dup2(nul, fd);
                _close(nul);
            }
        }
    }
}

const char *sysProgramName()
{
    static char name[MAX_PATH] = "";
    if (!name[0]) {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        const char *base = "start";
        if (n > 0 && n < sizeof path) {
            base = path;
            for (const char *p = path; *p; ++p)
                if (*p == '\\' || *p == '/')
                    base = p + 1;
        }
        snprintf(name, sizeof name, "%s", base);
        size_t len = strlen(name);
        if (len > 4 && _stricmp(name + len - 4, ".exe") == 0)
            name[len - 4] = '\0';
    }
    return name;
}

void sysQuietAudioLibraries()
{
    // Windows' audio interfaces print nothing by themselves.
}

int sysOpenForReading(const char *name)
{
    // Binary: text mode would turn CR LF pairs into LF and stop at the first
    // Ctrl-Z, and a module is full of both. Opening never waits on Windows
    // (a pipe without a server fails at once) and a console is just refused
    // by the layer as not a regular file; the descriptor is not inherited.
    int fd = _open(name, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    // Windows refuses to open a directory as a file with "access denied";
    // say what it is instead.
    if (fd < 0 && errno == EACCES) {
        DWORD attributes = GetFileAttributesA(name);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            errno = EISDIR;
    }
    return fd;
}
