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

bool OutputFile::create(const std::string &path, std::string *error)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "cannot write " + path + ": it is a directory";
        return false;
    }
    std::string name = path + ".XXXXXX.part";
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
    final = path;
    temporary = name;
    return true;
}

bool OutputFile::commit(std::string *error)
{
    if (rename(temporary.c_str(), final.c_str()) != 0) {
        *error = "cannot write " + final + ": " + strerror(errno);
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
