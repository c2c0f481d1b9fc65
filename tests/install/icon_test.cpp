// icon_test.cpp -- the menu icon made from the title picture.
#include <cstdio>
#include <unistd.h>

#include <gtest/gtest.h>

#include "files.h"
#include "icon.h"

namespace {

RgbaImage solid(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    RgbaImage image;
    image.width = w;
    image.height = h;
    for (int i = 0; i < w * h; ++i)
        image.pixels.insert(image.pixels.end(), {r, g, b, a});
    return image;
}

void setPixel(RgbaImage *image, int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    uint8_t *p = &image->pixels[((size_t)y * image->width + x) * 4];
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

const uint8_t *pixel(const RgbaImage &image, int x, int y)
{
    return &image.pixels[((size_t)y * image.width + x) * 4];
}

} // namespace

TEST(Icon, WidePictureIsCentredOnTransparentRows)
{
    RgbaImage picture = solid(8, 4, 200, 100, 50, 255);
    RgbaImage icon = fitSquare(picture, 4);
    ASSERT_EQ(icon.width, 4);
    ASSERT_EQ(icon.height, 4);
    ASSERT_EQ(icon.pixels.size(), 4u * 4 * 4);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(pixel(icon, x, 0)[3], 0) << x;
        EXPECT_EQ(pixel(icon, x, 3)[3], 0) << x;
        for (int y = 1; y <= 2; ++y) {
            const uint8_t *p = pixel(icon, x, y);
            EXPECT_EQ(p[0], 200);
            EXPECT_EQ(p[1], 100);
            EXPECT_EQ(p[2], 50);
            EXPECT_EQ(p[3], 255);
        }
    }
}

TEST(Icon, EachIconPixelAveragesTheBlockItCovers)
{
    RgbaImage picture = solid(4, 2, 0, 0, 0, 255);
    setPixel(&picture, 0, 0, 255, 0, 0, 255);   // one of four in the left block
    setPixel(&picture, 3, 1, 0, 0, 200, 255);   // one of four in the right block
    RgbaImage icon = fitSquare(picture, 2);
    // 4x2 shrinks to 2x1, on row 0 of the 2x2 square.
    EXPECT_EQ(pixel(icon, 0, 0)[0], 64);
    EXPECT_EQ(pixel(icon, 0, 0)[2], 0);
    EXPECT_EQ(pixel(icon, 1, 0)[0], 0);
    EXPECT_EQ(pixel(icon, 1, 0)[2], 50);
    EXPECT_EQ(pixel(icon, 1, 1)[3], 0);
}

TEST(Icon, PartlyCoveredSourcePixelsCountByTheirShare)
{
    // 3 pixels into 2: each icon pixel covers one and a half source pixels.
    RgbaImage picture = solid(3, 1, 0, 0, 0, 255);
    setPixel(&picture, 0, 0, 150, 0, 0, 255);
    setPixel(&picture, 1, 0, 90, 0, 0, 255);
    setPixel(&picture, 2, 0, 30, 0, 0, 255);
    RgbaImage icon = fitSquare(picture, 2);
    // 3x1 at scale 2/3 is 2x1 (rounded), on row 0.
    EXPECT_EQ(pixel(icon, 0, 0)[0], 130);       // (150 + 0.5 * 90) / 1.5
    EXPECT_EQ(pixel(icon, 1, 0)[0], 50);        // (0.5 * 90 + 30) / 1.5
}

TEST(Icon, SmallPicturesAreNotEnlarged)
{
    RgbaImage picture = solid(2, 2, 10, 20, 30, 255);
    RgbaImage icon = fitSquare(picture, 8);
    int opaque = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (pixel(icon, x, y)[3] != 0) {
                opaque += 1;
                EXPECT_TRUE(x >= 3 && x <= 4 && y >= 3 && y <= 4) << x << "," << y;
                EXPECT_EQ(pixel(icon, x, y)[2], 30);
            }
    EXPECT_EQ(opaque, 4);
}

TEST(Icon, TransparentPixelsLendNoColour)
{
    RgbaImage picture = solid(2, 1, 255, 0, 0, 0);  // invisible red
    setPixel(&picture, 1, 0, 0, 0, 255, 255);       // opaque blue
    RgbaImage icon = fitSquare(picture, 1);
    const uint8_t *p = pixel(icon, 0, 0);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[2], 255);
    EXPECT_EQ(p[3], 128);
}

TEST(Icon, PngRoundTripAndUnreadableFiles)
{
    ScratchDir dir("icon-test");
    std::string path = dir.file("icon.png");
    RgbaImage image = solid(3, 2, 1, 2, 3, 4);
    setPixel(&image, 2, 1, 250, 251, 252, 253);
    std::string error;
    ASSERT_TRUE(writePng(path, image, &error)) << error;
    RgbaImage back;
    ASSERT_TRUE(readPng(path, &back, &error)) << error;
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.pixels, image.pixels);

    std::string text = dir.file("not.png");
    ASSERT_TRUE(writeFile(text, "not a picture\n"));
    error.clear();
    EXPECT_FALSE(readPng(text, &back, &error));
    EXPECT_NE(error.find(text), std::string::npos) << error;
    EXPECT_FALSE(readPng(dir.file("missing.png"), &back, &error));
}

// The icon keeps the title picture's overall colour: averaging blocks
// preserves the mean, so a wrong weight or an offset would show here.
TEST(Icon, TheRealIconKeepsTheTitlePicturesColour)
{
    RgbaImage title;
    std::string error;
    ASSERT_TRUE(readPng(DEMO_SOURCE_DIR "/assets/litelogo.png", &title, &error)) << error;
    RgbaImage icon = fitSquare(title, 256);
    EXPECT_EQ(pixel(icon, 0, 0)[3], 0);
    EXPECT_EQ(pixel(icon, 255, 255)[3], 0);
    EXPECT_EQ(pixel(icon, 128, 128)[3], 255);

    double titleSum[3] = {0, 0, 0}, iconSum[3] = {0, 0, 0};
    size_t titleCount = 0, iconCount = 0;
    for (size_t i = 0; i < title.pixels.size(); i += 4, ++titleCount)
        for (int c = 0; c < 3; ++c)
            titleSum[c] += title.pixels[i + c];
    for (size_t i = 0; i < icon.pixels.size(); i += 4)
        if (icon.pixels[i + 3] != 0) {
            iconCount += 1;
            for (int c = 0; c < 3; ++c)
                iconSum[c] += icon.pixels[i + c];
        }
    EXPECT_EQ(iconCount, 256u * 120);           // 640x301 at 0.4 is 256x120
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(iconSum[c] / iconCount, titleSum[c] / titleCount, 1.0) << "channel " << c;
}
