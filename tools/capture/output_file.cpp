// output_file.cpp -- see output_file.h.
#include "output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

OutputFile::~OutputFile()
{
    discard();
}

// What a file of this type is called in a message.
static const char *kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a special file";
}

// The file a name finally stands for: the name itself, or where its chain
// of symbolic links ends, which need not exist yet. False when the chain
// is too long to follow.
static bool followLinks(const std::string &path, std::string *target)
{
    std::string at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = at;
            return true;
        }
        std::string link(4096, '\0');
        ssize_t n = readlink(at.c_str(), &link[0], link.size());
        if (n < 0 || (size_t)n >= link.size())
            return false;
        link.resize((size_t)n);
        size_t slash = at.rfind('/');
        if (link[0] == '/' || slash == std::string::npos)
            at = link;
        else
            at = at.substr(0, slash + 1) + link;    // relative to the link's own folder
    }
    errno = ELOOP;
    return false;
}

bool OutputFile::create(const std::string &path, std::string *error)
{
    // A link is written through: its target gets the new file beside it and
    // the link stays. Anything but a regular file is refused untouched, since
    // the rename at the end would replace it, a device or a FIFO included.
    std::string target;
    if (!followLinks(path, &target)) {
        *error = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    struct stat st;
    if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = "cannot write " + path + ": it is " + kindOf(st.st_mode) + ", not a regular file";
        return false;
    }
    std::string name = target + ".XXXXXX.part";
    int fd = mkstemps(&name[0], 5);
    if (fd < 0) {
        *error = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    // mkstemps makes the file private; the video gets the permissions any
    // new file would.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    shown = path;
    final = target;
    temporary = name;
    return true;
}

bool OutputFile::commit(std::string *error)
{
    if (rename(temporary.c_str(), final.c_str()) != 0) {
        *error = "cannot write " + shown + ": " + strerror(errno);
        discard();
        return false;
    }
    temporary.clear();
    return true;
}

void OutputFile::discard()
{
    if (!temporary.empty()) {
        unlink(temporary.c_str());
        temporary.clear();
    }
}
