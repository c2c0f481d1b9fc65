// files.h -- what the tests do with files: scratch folders that are gone
// when the test is done with them, and whole files read and written.
#ifndef TEST_FILES_H
#define TEST_FILES_H

#include <string>
#include <vector>

// A fresh folder under $TMPDIR (or /tmp), named after `tag`, readable by
// every user (one hardening case runs the show as user nobody), removed
// with everything in it when the object goes. A folder that cannot be made
// throws std::runtime_error, which fails the test that asked for it.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &tag = "test");
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    ~ScratchDir();
    const std::string &path() const { return dir; }
    std::string file(const std::string &name) const { return dir + "/" + name; }

private:
    std::string dir;
};

bool fileExists(const std::string &path);

// The whole file, byte for byte; empty when it cannot be read.
std::string readFile(const std::string &path);
std::vector<unsigned char> readBytes(const std::string &path);

// Writes the whole file anew; false when any of it could not be written.
bool writeFile(const std::string &path, const std::string &bytes);
bool writeFile(const std::string &path, const std::vector<unsigned char> &bytes);

#endif
