//------------------------------------------------------------------------------
// png_util.cpp
//------------------------------------------------------------------------------
#include "png_util.h"

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

void writeTestPng(const std::string &path, int w, int h, int channels, const std::vector<unsigned char> &bytes)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)w;
    image.height = (png_uint_32)h;
    image.format = channels == 1 ? PNG_FORMAT_GRAY : (channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA);
    if ((int)bytes.size() != w * h * channels ||
        !png_image_write_to_file(&image, path.c_str(), 0, bytes.data(), w * channels, nullptr))
        throw std::runtime_error("cannot write test PNG " + path);
}

bool readPngRgba(const std::string &path, int &w, int &h, std::vector<unsigned char> &rgba)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    w = (int)image.width;
    h = (int)image.height;
    rgba.assign((size_t)w * h * 4, 0);
    return png_image_finish_read(&image, nullptr, rgba.data(), w * 4, nullptr) != 0;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

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

ScratchDir::ScratchDir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pictures_test.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path = buf.data();
}

ScratchDir::~ScratchDir()
{
    std::string out;
    runCommand("rm -rf '" + path + "'", out);
}
