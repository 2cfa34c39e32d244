// The tray pictures: drawn at every tray size, distinct, and with a clear glyph.
#include <gtest/gtest.h>

#include <QImage>

#include "ui/TrayArt.h"

namespace {

struct Counts {
  int white = 0;
  int tile = 0;
  int transparent = 0;
};

Counts Count(const QImage& image) {
  Counts c;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor p = image.pixelColor(x, y);
      if (p.alpha() < 16)
        ++c.transparent;
      else if (p.red() > 235 && p.green() > 235 && p.blue() > 235)
        ++c.white;
      else if (p.alpha() > 240)
        ++c.tile;
    }
  return c;
}

class TrayArtSizes : public ::testing::TestWithParam<int> {};

TEST_P(TrayArtSizes, BothPicturesHaveAClearGlyphOnASolidTile) {
  const int size = GetParam();
  for (TrayPicture picture : {TrayPicture::Idle, TrayPicture::Activity}) {
    const QImage image = DrawTrayPicture(picture, size).toImage();
    ASSERT_EQ(image.size(), QSize(size, size));
    const Counts c = Count(image);
    const int all = size * size;
    // A glyph of solid white, a tile behind it, rounded (transparent) corners.
    EXPECT_GT(c.white, all / 12) << size;
    EXPECT_GT(c.tile, all / 3) << size;
    EXPECT_GT(c.transparent, 0) << size;
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << size;
  }
  EXPECT_NE(DrawTrayPicture(TrayPicture::Idle, size).toImage(),
            DrawTrayPicture(TrayPicture::Activity, size).toImage());
}

// The link-down picture differs from the other two at a glance: a grey tile (no blue
// or amber) struck through with red.
TEST_P(TrayArtSizes, LinkDownPictureIsGreyWithARedBar) {
  const int size = GetParam();
  const QImage image = DrawTrayPicture(TrayPicture::Down, size).toImage();
  int red = 0, coloured = 0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const QColor p = image.pixelColor(x, y);
      if (p.alpha() < 240) continue;
      if (p.red() > 180 && p.green() < 90 && p.blue() < 90) ++red;
      else if (p.blue() > p.red() + 40 ||
               (p.red() > 200 && p.green() > 90 && p.green() < 200 && p.blue() < 60))
        ++coloured;  // the blue or the amber tile
    }
  EXPECT_GT(red, size / 2) << size;           // the bar runs across the picture
  const Counts c = Count(image);
  EXPECT_GT(c.white, size * size / 24) << size;  // the handset still shows
  EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << size;
  EXPECT_LT(coloured, size / 2 + 1) << size;  // no blue or amber tile
  EXPECT_NE(image, DrawTrayPicture(TrayPicture::Idle, size).toImage());
  EXPECT_NE(image, DrawTrayPicture(TrayPicture::Activity, size).toImage());
}

INSTANTIATE_TEST_SUITE_P(Sizes, TrayArtSizes, ::testing::Values(16, 22, 32),
                         [](const auto& info) { return "Px" + std::to_string(info.param); });

TEST(TrayArtTest, IconsCarryEveryTraySize) {
  const QIcon icon = MakeTrayIcon(TrayPicture::Idle);
  const QList<QSize> sizes = icon.availableSizes();
  for (int size : {16, 22, 24, 32, 48, 64}) EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
}

}  // namespace
