//------------------------------------------------------------------------------
// painter_test.cpp
// The painter reproduces the committed pictures byte for byte.
//------------------------------------------------------------------------------
#include "child_process.h"
#include "files.h"
#include "png_file.h"

#include <gtest/gtest.h>

#include <string>

TEST(Painter, RepaintsTheCommittedPicturesExactly)
{
    ScratchDir dir("pictures-test");
    Finished painted = runToEnd({PAINTER_PATH, {dir.path()}});
    ASSERT_EQ(exitCode(painted.status), 0) << painted.err;
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
    Finished painted = runToEnd({PAINTER_PATH, {dir.path(), "zorsmall"}});
    ASSERT_EQ(exitCode(painted.status), 0) << painted.err;
    EXPECT_TRUE(fileExists(dir.path() + "/zorsmall.png"));
    EXPECT_FALSE(fileExists(dir.path() + "/spider.png"));
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    ASSERT_TRUE(readPng(dir.path() + "/zorsmall.png", &w, &h, 4, &px));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 241);
    EXPECT_NE(exitCode(runToEnd({PAINTER_PATH, {dir.path(), "nosuchpicture"}}).status), 0);
}
