//------------------------------------------------------------------------------
// picture_embed.cpp
// Build tool: turns one PNG into the raw pixel file and the header that compile
// the picture into the show.
//
//   picture_embed <in.png> <name> <width> <height> <out.h> <out.rgba>
//
// The raw file holds the pixels as the show hands them to glDrawPixels: rows
// from the bottom of the picture up, each pixel the bytes red, green, blue,
// alpha (alpha always 255). The header defines <name>_w, <name>_h and the
// array <name>data, which the assembler fills from the raw file with .incbin,
// so the compiler never sees a multi-megabyte initialiser. The header carries
// the directives for ELF (the desktop), for WebAssembly (the web build) and
// for COFF (the Windows build).
//------------------------------------------------------------------------------
#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static const char *prog = "picture_embed";

static void fail(const std::string &msg)
{
    std::fprintf(stderr, "%s: %s\n", prog, msg.c_str());
    std::exit(1);
}

static unsigned parseSize(const char *text, const char *what)
{
    char *end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v == 0 || v > 16384)
        fail(std::string("bad ") + what + " '" + text + "'");
    return (unsigned)v;
}

// The name becomes part of C++ and assembler symbols.
static bool isIdentifier(const std::string &s)
{
    if (s.empty() || std::isdigit((unsigned char)s[0]))
        return false;
    for (char c : s)
        if (!(std::isalnum((unsigned char)c) || c == '_'))
            return false;
    return true;
}

// FNV-1a over the pixels. It goes into the header so that a changed picture
// always changes the header text, and whatever includes it is compiled again.
static uint64_t hashBytes(const std::vector<unsigned char> &bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

// Quotes a path for an assembler string literal inside a C string literal.
static std::string asmQuoted(const std::string &path)
{
    std::string out;
    for (char c : path) {
        if (c == '"' || c == '\\')
            out += "\\\\\\";
        out += c;
    }
    return out;
}

static void writeFile(const std::string &path, const void *data, size_t size)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        fail("cannot write " + path + ": " + std::strerror(errno));
    bool ok = std::fwrite(data, 1, size, f) == size;
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        fail("cannot write " + path);
}

int main(int argc, char **argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s <in.png> <name> <width> <height> <out.h> <out.rgba>\n", prog);
        return 2;
    }
    const std::string pngPath = argv[1];
    const std::string name = argv[2];
    const unsigned wantW = parseSize(argv[3], "width");
    const unsigned wantH = parseSize(argv[4], "height");
    const std::string headerPath = argv[5];
    const std::string rawPath = argv[6];
    if (!isIdentifier(name))
        fail("picture name '" + name + "' is not a C identifier");

    // libpng's simplified reader converts any PNG (palette, grey, 16 bit,
    // with or without alpha) to 8-bit RGBA.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, pngPath.c_str()))
        fail("cannot read " + pngPath + ": " + image.message);
    if (image.width != wantW || image.height != wantH) {
        png_image_free(&image);
        fail(pngPath + " is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
             " pixels, but the picture " + name + " must be " + std::to_string(wantW) + " x " +
             std::to_string(wantH));
    }
    image.format = PNG_FORMAT_RGBA;
    const size_t rowBytes = (size_t)wantW * 4;
    std::vector<unsigned char> raw(rowBytes * wantH);
    // A negative row stride has libpng store the bottom row first.
    if (!png_image_finish_read(&image, nullptr, raw.data(), -(png_int_32)rowBytes, nullptr))
        fail("cannot decode " + pngPath + ": " + image.message);
    // Alpha has no effect on the show, so it is always 255.
    for (size_t i = 3; i < raw.size(); i += 4)
        raw[i] = 255;
    writeFile(rawPath, raw.data(), raw.size());

    std::string guard;
    for (char c : name)
        guard += (char)std::toupper((unsigned char)c);
    guard += "_H";
    const std::string arr = name + "data";
    const std::string w = std::to_string(wantW), h = std::to_string(wantH);
    char hash[32];
    std::snprintf(hash, sizeof hash, "%016llx", (unsigned long long)hashBytes(raw));

    std::string t;
    t += "// generated by picture_embed from " + pngPath + ", do not edit\n";
    t += "// " + w + " x " + h + " pixels, bottom row first, bytes red green blue alpha (255)\n";
    t += "// pixel hash " + std::string(hash) + "\n";
    t += "#ifndef " + guard + "\n#define " + guard + "\n\n";
    t += "unsigned " + name + "_w = " + w + ";\n";
    t += "unsigned " + name + "_h = " + h + ";\n\n";
    t += "// Filled by the assembler from the raw file: writable data, 4-byte aligned.\n";
    t += "extern \"C\" int " + arr + "[" + h + "][" + w + "];\n";
    // WebAssembly objects have their own section syntax; every data segment
    // of a wasm module is writable memory.
    t += "#if defined(__wasm__)\n";
    t += "__asm__(\".section .data." + arr + ",\\\"\\\",@\\n\"\n";
    t += "        \".globl " + arr + "\\n\"\n";
    t += "        \".type " + arr + ",@object\\n\"\n";
    t += "        \".p2align 2\\n\"\n";
    t += "        \"" + arr + ":\\n\"\n";
    t += "        \".incbin \\\"" + asmQuoted(rawPath) + "\\\"\\n\"\n";
    t += "        \".size " + arr + ", " + std::to_string(raw.size()) + "\\n\");\n";
    // COFF's assembler has no section stack: the data goes into a section
    // of its own and the assembler is left in .text, which is where GCC
    // believes it is when it puts top-level asm first (-O1 and up). In
    // source order (-O0) it may believe otherwise, so a variable with a
    // section of its own follows at once: GCC switches sections explicitly
    // for it, whatever it believed.
    t += "#elif defined(_WIN32)\n";
    t += "__asm__(\".section .data$" + arr + ",\\\"dw\\\"\\n\"\n";
    t += "        \".balign 4\\n\"\n";
    t += "        \".globl " + arr + "\\n\"\n";
    t += "        \"" + arr + ":\\n\"\n";
    t += "        \".incbin \\\"" + asmQuoted(rawPath) + "\\\"\\n\"\n";
    t += "        \".text\\n\");\n";
    t += "[[gnu::used, gnu::section(\".data$" + arr + "$end\")]] static int " + arr + "_end = 0;\n";
    t += "#else\n";
    t += "__asm__(\".pushsection .data." + arr + ",\\\"aw\\\",@progbits\\n\"\n";
    t += "        \".balign 4\\n\"\n";
    t += "        \".globl " + arr + "\\n\"\n";
    t += "        \".type " + arr + ", @object\\n\"\n";
    t += "        \".size " + arr + ", " + std::to_string(raw.size()) + "\\n\"\n";
    t += "        \"" + arr + ":\\n\"\n";
    t += "        \".incbin \\\"" + asmQuoted(rawPath) + "\\\"\\n\"\n";
    t += "        \".popsection\\n\");\n";
    t += "#endif\n\n";
    t += "#endif\n";
    writeFile(headerPath, t.data(), t.size());
    return 0;
}
