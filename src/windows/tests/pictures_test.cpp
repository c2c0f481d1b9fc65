// pictures_test.cpp -- the four pictures as the Windows build compiles them
// in, against the raw files the converter wrote beside their headers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// A writable variable on each side of a header: if the header left the
// assembler in a section other than the one GCC believes it is in, one of
// them lands in code or read-only data and the writes below fail.
int beforeLitelogo = 1;
#include "LITELOGO.h"
int afterLitelogo = 2;
static int afterFunction() { return afterLitelogo * 3; }
#include "SIDELIT.h"
#include "SPIDER.h"
#include "ZORSMALL.h"
int afterAll = 4;

namespace {

std::vector<unsigned char> readRaw(const std::string &name)
{
    std::vector<unsigned char> bytes;
    FILE *f = fopen((std::string(PICTURES_DIR) + "/" + name + ".rgba").c_str(), "rb");
    if (!f)
        return bytes;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    fclose(f);
    return bytes;
}

}  // namespace

TEST(WindowsPictures, ArraysHoldTheRawFilesAndStayWritable)
{
    struct {
        const char *name;
        void *data;
        size_t bytes;
        unsigned w, h;
    } pictures[] = {
        {"litelogo", litelogodata, sizeof litelogodata, litelogo_w, litelogo_h},
        {"sidelit", sidelitdata, sizeof sidelitdata, sidelit_w, sidelit_h},
        {"spider", spiderdata, sizeof spiderdata, spider_w, spider_h},
        {"zorsmall", zorsmalldata, sizeof zorsmalldata, zorsmall_w, zorsmall_h},
    };
    for (auto &p : pictures) {
        SCOPED_TRACE(p.name);
        std::vector<unsigned char> raw = readRaw(p.name);
        ASSERT_EQ(raw.size(), p.bytes);
        EXPECT_EQ(p.bytes, (size_t)p.w * p.h * 4);
        EXPECT_EQ((uintptr_t)p.data % 4, 0u);
        EXPECT_EQ(memcmp(p.data, raw.data(), raw.size()), 0);
        // The show's arrays are writable data.
        unsigned char *first = static_cast<unsigned char *>(p.data);
        unsigned char was = first[0];
        first[0] = (unsigned char)(was ^ 0xff);
        EXPECT_EQ(first[0], (unsigned char)(was ^ 0xff));
        first[0] = was;
    }
    beforeLitelogo += 10;
    afterLitelogo += 10;
    afterAll += 10;
    EXPECT_EQ(beforeLitelogo + afterLitelogo + afterAll, 1 + 2 + 4 + 30);
    EXPECT_EQ(afterFunction(), 36);
}
