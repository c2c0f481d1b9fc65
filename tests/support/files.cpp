// files.cpp -- see files.h.
#include "files.h"

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

ScratchDir::ScratchDir(const std::string &tag)
{
    const char *base = getenv("TMPDIR");
    std::string name = std::string(base && *base ? base : "/tmp") + "/" + tag + "-XXXXXX";
    if (!mkdtemp(&name[0]))
        throw std::runtime_error("cannot make a scratch folder " + name);
    dir = name;
    chmod(dir.c_str(), 0755);
}

static int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    remove(path);
    return 0;                                   // go on with the rest regardless
}

ScratchDir::~ScratchDir()
{
    if (!dir.empty())
        nftw(dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string readFile(const std::string &path)
{
    std::string bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

std::vector<unsigned char> readBytes(const std::string &path)
{
    std::string bytes = readFile(path);
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

static bool writeWhole(const std::string &path, const void *data, size_t size)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

bool writeFile(const std::string &path, const std::string &bytes)
{
    return writeWhole(path, bytes.data(), bytes.size());
}

bool writeFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    return writeWhole(path, bytes.data(), bytes.size());
}

bool fileExists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}
