// output_file.h -- a file that appears under its name only when complete.
//
// The video is written under a temporary name beside the final one and
// renamed at the end, so an interrupted or failed recording never leaves a
// partial file where a finished one is expected.
#ifndef OUTPUT_FILE_H
#define OUTPUT_FILE_H

#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile();                  // removes the temporary file unless committed

    // Creates the temporary file for `path`. False with a one-line reason in
    // `error` when `path` cannot be written, or is there but is not a
    // regular file; a symbolic link counts as the file it leads to, which
    // gets the video while the link stays.
    bool create(const std::string &path, std::string *error);

    const std::string &temporaryPath() const { return temporary; }

    // Gives the temporary file its final name.
    bool commit(std::string *error);

    // Removes the temporary file now; safe to call twice.
    void discard();

private:
    std::string shown;              // the name as given, for messages
    std::string final;              // where the video goes: the name, or its link's target
    std::string temporary;
};

#endif
