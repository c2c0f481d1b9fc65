// soundtrack.cpp -- see soundtrack.h.
#include "soundtrack.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libopenmpt/libopenmpt.h>

#include "sound.h"

Soundtrack::~Soundtrack()
{
    if (mod)
        openmpt_module_destroy(mod);
}

static void discardLog(const char *, void *)
{
}

// The whole of a regular file of a sane size, or nothing; a FIFO or a device
// under the module's name must not block or flood the recording.
static bool readWholeFile(const char *path, char **data, size_t *size)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0
              && st.st_size <= musicMaxFileBytes && (*data = (char *)malloc((size_t)st.st_size));
    size_t got = 0;
    while (ok && got < (size_t)st.st_size) {
        ssize_t n = ::read(fd, *data + got, (size_t)st.st_size - got);
        if (n <= 0)
            break;
        got += (size_t)n;
    }
    close(fd);
    if (ok && got == 0) {
        free(*data);
        ok = false;
    }
    *size = got;
    return ok;
}

void Soundtrack::load(const char *path)
{
    char *data = nullptr;
    size_t size = 0;
    if (!readWholeFile(path, &data, &size))
        return;
    mod = openmpt_module_create_from_memory2(data, size, discardLog, nullptr, nullptr, nullptr,
                                             nullptr, nullptr, nullptr);
    free(data);
    if (mod)
        openmpt_module_set_repeat_count(mod, -1);   // as the show plays it: on through the pictures
}

void Soundtrack::read(float *left, float *right, size_t count)
{
    size_t done = 0;
    if (mod)
        done = openmpt_module_read_float_stereo(mod, rate, count, left, right);
    if (done < count) {
        memset(left + done, 0, (count - done) * sizeof(float));
        memset(right + done, 0, (count - done) * sizeof(float));
    }
}
