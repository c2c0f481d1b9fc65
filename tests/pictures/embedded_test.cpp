//------------------------------------------------------------------------------
// embedded_test.cpp
// The four pictures as the build compiles them in, against the PNGs in assets/.
//------------------------------------------------------------------------------
#include "LITELOGO.h"
#include "SIDELIT.h"
#include "SPIDER.h"
#include "ZORSMALL.h"

#include "files.h"
#include "png_file.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct Embedded {
    const char *name;
    unsigned w, h;             // the globals
    const void *data;
    size_t bytes;              // sizeof the array
    unsigned wantW, wantH;     // the fixed sizes
    size_t wantBytes;
};

const Embedded pictures[] = {
    {"litelogo", litelogo_w, litelogo_h, litelogodata, sizeof litelogodata, 640, 301, 770560},
    {"sidelit", sidelit_w, sidelit_h, sidelitdata, sizeof sidelitdata, 402, 480, 771840},
    {"spider", spider_w, spider_h, spiderdata, sizeof spiderdata, 640, 480, 1228800},
    {"zorsmall", zorsmall_w, zorsmall_h, zorsmalldata, sizeof zorsmalldata, 640, 241, 616960},
};

} // namespace

TEST(EmbeddedPictures, SizesAndByteCounts)
{
    for (const Embedded &p : pictures) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.w, p.wantW);
        EXPECT_EQ(p.h, p.wantH);
        EXPECT_EQ(p.bytes, p.wantBytes);
        EXPECT_EQ(p.bytes, (size_t)p.w * p.h * 4);
        EXPECT_EQ((uintptr_t)p.data % 4, 0u);
    }
    EXPECT_EQ(sizeof litelogodata[0], 640u * 4u) << "rows are width entries, without gaps";
    EXPECT_EQ(sizeof sidelitdata[0], 402u * 4u);
}

TEST(EmbeddedPictures, ContentIsThePngFlippedBottomRowFirst)
{
    for (const Embedded &p : pictures) {
        SCOPED_TRACE(p.name);
        int w = 0, h = 0;
        std::vector<unsigned char> png;
        ASSERT_TRUE(readPng(std::string(ASSETS_DIR) + "/" + p.name + ".png", &w, &h, 4, &png));
        ASSERT_EQ((unsigned)w, p.w);
        ASSERT_EQ((unsigned)h, p.h);
        const unsigned char *bytes = static_cast<const unsigned char *>(p.data);
        size_t mismatches = 0;
        for (int row = 0; row < h; row++)
            for (int x = 0; x < w; x++) {
                const unsigned char *e = &bytes[((size_t)row * w + x) * 4];
                const unsigned char *s = &png[((size_t)(h - 1 - row) * w + x) * 4];
                if (e[0] != s[0] || e[1] != s[1] || e[2] != s[2] || e[3] != 255)
                    mismatches++;
            }
        EXPECT_EQ(mismatches, 0u);
    }
}

TEST(EmbeddedPictures, ArraysAreWritable)
{
    // The show may treat them as ordinary globals; a read-only section would
    // fault here.
    int saved = spiderdata[479][639];
    spiderdata[479][639] = 0x12345678;
    EXPECT_EQ(spiderdata[479][639], 0x12345678);
    spiderdata[479][639] = saved;
}
