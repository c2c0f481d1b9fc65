//------------------------------------------------------------------------------
// painter_test.cpp
// The painter reproduces the committed pictures byte for byte.
//------------------------------------------------------------------------------
#include "png_util.h"

#include <gtest/gtest.h>

#include <string>

TEST(Painter, RepaintsTheCommittedPicturesExactly)
{
    ScratchDir dir("pictures-test");
    std::string out;
    ASSERT_EQ(runCommand(std::string("'") + PAINTER_PATH + "' '" + dir.path() + "'", out), 0) << out;
    for (const char *name : {"litelogo", "sidelit", "spider", "zorsmall"}) {
        SCOPED_TRACE(name);
        const std::string fresh = dir.path() + "/" + name + ".png";
        const std::string committed = std::string(ASSETS_DIR) + "/" + name + ".png";
        ASSERT_TRUE(fileExists(fresh));
        std::string a = readFile(fresh), b = readFile(committed);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == b) << fresh << " differs from " << committed
                            << "; run `cmake --build <dir> --target repaint_pictures` after changing the painter";
    }
}

TEST(Painter, PaintsOnlyTheNamedPictureAndRejectsUnknownNames)
{
    ScratchDir dir("pictures-test");
    std::string out;
    ASSERT_EQ(runCommand(std::string("'") + PAINTER_PATH + "' '" + dir.path() + "' zorsmall", out), 0) << out;
    EXPECT_TRUE(fileExists(dir.path() + "/zorsmall.png"));
    EXPECT_FALSE(fileExists(dir.path() + "/spider.png"));
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_TRUE(readPng(dir.path() + "/zorsmall.png", &w, &h, 4, &px));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 241);
    EXPECT_NE(runCommand(std::string("'") + PAINTER_PATH + "' '" + dir.path() + "' nosuchpicture", out), 0);
}
