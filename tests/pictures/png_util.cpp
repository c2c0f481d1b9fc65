//------------------------------------------------------------------------------
// png_util.cpp
//------------------------------------------------------------------------------
#include "png_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

bool fileExists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

int runCommand(const std::string &cmd, std::string &output)
{
    output.clear();
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p)
        return -1;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        output.append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
