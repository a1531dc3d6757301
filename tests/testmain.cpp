// The one main of every test program: a QApplication on the offscreen
// platform, a settings store of its own, and after each test the check that
// no image, no palette handle and no device context or bitmap was left alive.

#include "platform/gdi.h"
#include "platform/palette.h"
#include "raster/rasterio.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {
class LeakCheck : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override
    {
        EXPECT_EQ(raster::liveImageCount(), 0) << "images left alive after the test";
        EXPECT_EQ(platform::livePaletteCount(), 0) << "palette handles left alive after the test";
        EXPECT_EQ(platform::liveGdiObjectCount(), 0) << "device contexts or bitmaps left alive after the test";
    }
};
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new LeakCheck);
    return RUN_ALL_TESTS();
}
