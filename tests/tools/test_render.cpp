#include "raster/rasterio.h"
#include "show/showfile.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The pictures go through JPEG in the show file: colours within a few steps.
bool near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 4)
            return false;
    return true;
}


} // namespace

TEST(RenderTool, TheScreenOfASlideAtATime)
{
    QTemporaryDir dir;
    show::ShowDocument show;
    show::TSlideRecord* red = show::AddNewSlide(show, testutil::solidImage(8, 8, 0x0000FF), dir.filePath("rot.bmp"));
    red->Effect = 1;
    red->KeepAspect = 0;
    show::TSlideRecord* green = show::AddNewSlide(show, testutil::solidImage(8, 8, 0x00FF00), dir.filePath("gruen.bmp"));
    green->Effect = 0; // random: --effect chooses
    green->KeepAspect = 0;
    const QString sli = dir.filePath("s.sli");
    ASSERT_TRUE(show::SaveFile(show, sli, false));
    const QString out = dir.filePath("aus.bmp");

    struct Case {
        QStringList args;
        uint32_t left, right; // colours at x = 10 and x = 50 of a 64 x 32 frame
    };
    const Case cases[] = {
        {{"--slide", "0", "--at", "1500"}, 0x0000FF, 0x0000FF},           // the composition
        {{"--slide", "0", "--at", "500"}, 0x00007F, 0x00007F},            // half way in from black
        {{"--slide", "1", "--at", "500", "--effect", "2"}, 0x00FF00, 0}, // the left half wiped in
        {{"--slide", "1", "--at", "0", "--effect", "1"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const testutil::ToolRun r = testutil::runTool(QStringList{"render", sli, out, "--size", "64x32"} + c.args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        raster::DibGuard frame;
        raster::OpenDib(frame.out(), out, raster::FormatAuto, nullptr);
        ASSERT_TRUE(frame);
        EXPECT_EQ(raster::DibWidth(frame.get()), 64);
        EXPECT_EQ(raster::DibBitCount(frame.get()), 24);
        EXPECT_PRED2(near, raster::getpixel(frame.get(), 10, 16), c.left);
        EXPECT_PRED2(near, raster::getpixel(frame.get(), 50, 16), c.right);
    }

    testutil::ToolRun r = testutil::runTool({"render", sli, out, "--size", "64x32", "--slide", "2", "--at", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Die Show hat kein Bild 2!")) << r.err.toStdString();
    r = testutil::runTool({"render", sli, out, "--size", "64x32", "--slide", "0", "--at", "100", "--repeat", "3"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.trimmed().endsWith(" ms")) << r.err.toStdString();
}
