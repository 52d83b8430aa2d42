// Checks the committed pictures in resources/ by reading them back the way
// Windows would: the window background, the two caption buttons, the hand
// cursor and the program icon.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr const char* kBlack = "&H000000";
constexpr const char* kWhite = "&HFFFFFF";
constexpr const char* kLightBlue = "&HDFBC95";

Bytes ReadResource(const std::string& name) {
  std::ifstream in(std::string(SOURCE_DIR) + "/resources/" + name,
                   std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in),
               std::istreambuf_iterator<char>());
}

// Little-endian fields; reading past the end gives 0 so a truncated file
// fails the checks instead of crashing the test run.
uint32_t U8(const Bytes& b, size_t at) { return at < b.size() ? b[at] : 0; }
uint32_t U16(const Bytes& b, size_t at) { return U8(b, at) | U8(b, at + 1) << 8; }
uint32_t U32(const Bytes& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
int32_t S32(const Bytes& b, size_t at) { return static_cast<int32_t>(U32(b, at)); }

// The fields of a BITMAPINFOHEADER that matter here.
struct DibHeader {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t planes = 0;
  uint32_t bits = 0;
  uint32_t compression = 0;
};

DibHeader ReadDibHeader(const Bytes& b, size_t at) {
  return {U32(b, at),      S32(b, at + 4),  S32(b, at + 8),
          U16(b, at + 12), U16(b, at + 14), U32(b, at + 16)};
}

size_t RowBytes(int32_t width, uint32_t bits) {
  return (static_cast<size_t>(width) * bits + 31) / 32 * 4;
}

// Colour as &HBBGGRR, the way the program writes its colours.
std::string ColourText(uint32_t red, uint32_t green, uint32_t blue) {
  char text[16];
  std::snprintf(text, sizeof text, "&H%02X%02X%02X", blue & 0xFF,
                green & 0xFF, red & 0xFF);
  return text;
}

struct Bitmap {
  Bytes file;
  DibHeader dib;
  size_t pixels = 0;  // offset of the bottom row

  // (x, y) counts from the top-left corner, like the drawing does.
  std::string Pixel(int x, int y) const {
    const size_t row = static_cast<size_t>(dib.height - 1 - y);
    const size_t at = pixels + row * RowBytes(dib.width, 24) + 3 * x;
    return ColourText(U8(file, at + 2), U8(file, at + 1), U8(file, at));
  }
};

Bitmap LoadBitmap(const std::string& name) {
  Bitmap bmp;
  bmp.file = ReadResource(name);
  bmp.dib = ReadDibHeader(bmp.file, 14);
  bmp.pixels = U32(bmp.file, 10);
  return bmp;
}

// Header checks shared by the three bitmaps; the pixel reads rely on them.
void ExpectBitmapShape(const Bitmap& bmp, int32_t width, int32_t height) {
  ASSERT_GE(bmp.file.size(), 54u) << "file missing or truncated";
  EXPECT_EQ(U16(bmp.file, 0), 0x4D42u) << "no BM signature";
  EXPECT_EQ(bmp.dib.size, 40u);
  EXPECT_EQ(bmp.dib.width, width);
  EXPECT_EQ(bmp.dib.height, height) << "rows should be stored bottom-up";
  EXPECT_EQ(bmp.dib.bits, 24u);
  EXPECT_EQ(bmp.dib.compression, 0u);
  EXPECT_GE(bmp.file.size(), bmp.pixels + RowBytes(width, 24) * height)
      << "pixel data truncated";
}

struct Point {
  int x;
  int y;
};

void ExpectColour(const Bitmap& bmp, const std::vector<Point>& points,
                  const char* colour) {
  for (const Point& p : points) {
    EXPECT_EQ(bmp.Pixel(p.x, p.y), colour) << "at (" << p.x << ", " << p.y << ")";
  }
}

// A .ico or .cur holding exactly one image.
struct IconFile {
  Bytes file;
  uint32_t type = 0;
  uint32_t count = 0;
  uint32_t width = 0;   // from the directory entry
  uint32_t height = 0;
  uint32_t field1 = 0;  // planes for icons, hot spot x for cursors
  uint32_t field2 = 0;  // bit count for icons, hot spot y for cursors
  uint32_t bytes = 0;
  uint32_t offset = 0;
  DibHeader dib;

  size_t ColourTableBytes() const { return dib.bits <= 8 ? 4u << dib.bits : 0; }
  size_t XorOffset() const { return offset + dib.size + ColourTableBytes(); }
  size_t AndOffset() const {
    return XorOffset() + RowBytes(dib.width, dib.bits) * (dib.height / 2);
  }
  size_t End() const { return AndOffset() + RowBytes(dib.width, 1) * (dib.height / 2); }

  static bool Bit(const Bytes& b, size_t row_start, int x) {
    return (U8(b, row_start + x / 8) >> (7 - x % 8)) & 1;
  }
  size_t RowFromTop(int y) const { return static_cast<size_t>(dib.height / 2 - 1 - y); }
  bool Transparent(int x, int y) const {
    return Bit(file, AndOffset() + RowFromTop(y) * RowBytes(dib.width, 1), x);
  }
  // Only meaningful for 1-bit (monochrome) images.
  bool XorBit(int x, int y) const {
    return Bit(file, XorOffset() + RowFromTop(y) * RowBytes(dib.width, 1), x);
  }
};

IconFile LoadIcon(const std::string& name) {
  IconFile icon;
  icon.file = ReadResource(name);
  const Bytes& b = icon.file;
  icon.type = U16(b, 2);
  icon.count = U16(b, 4);
  icon.width = U8(b, 6);
  icon.height = U8(b, 7);
  icon.field1 = U16(b, 10);
  icon.field2 = U16(b, 12);
  icon.bytes = U32(b, 14);
  icon.offset = U32(b, 18);
  icon.dib = ReadDibHeader(b, icon.offset);
  return icon;
}

void ExpectIconLayout(const IconFile& icon) {
  ASSERT_GE(icon.file.size(), 22u + 40u) << "file missing or truncated";
  EXPECT_EQ(U16(icon.file, 0), 0u);
  EXPECT_EQ(icon.count, 1u) << "expected one image";
  EXPECT_EQ(icon.width, 32u);
  EXPECT_EQ(icon.height, 32u);
  EXPECT_EQ(icon.dib.size, 40u);
  EXPECT_EQ(icon.dib.width, 32);
  EXPECT_EQ(icon.dib.height, 64) << "height covers the colour and mask bitmaps";
  EXPECT_EQ(icon.dib.compression, 0u);
  EXPECT_EQ(icon.offset + icon.bytes, icon.file.size());
  EXPECT_LE(icon.End(), icon.file.size()) << "image data truncated";
}

TEST(WindowBitmap, IsTheRightSizeAndFormat) {
  ExpectBitmapShape(LoadBitmap("window.bmp"), 263, 119);
}

TEST(WindowBitmap, OutlineTitleStripAndMargins) {
  const Bitmap bmp = LoadBitmap("window.bmp");
  ASSERT_NO_FATAL_FAILURE(ExpectBitmapShape(bmp, 263, 119));
  ExpectColour(bmp,
               {{0, 0}, {262, 0}, {0, 118}, {262, 118},  // corners
                {130, 0}, {130, 118}, {0, 60}, {262, 60}},  // edges
               kBlack);
  ExpectColour(bmp,
               {{1, 1}, {100, 8}, {261, 15},  // title strip
                {1, 60}, {2, 60}, {260, 60}, {261, 60}, {130, 116}, {130, 117}},
               kLightBlue);
}

TEST(WindowBitmap, PanelFrameWithCutCorners) {
  const Bitmap bmp = LoadBitmap("window.bmp");
  ASSERT_NO_FATAL_FAILURE(ExpectBitmapShape(bmp, 263, 119));
  ExpectColour(bmp,
               {{5, 16}, {257, 16}, {3, 18}, {259, 113}, {5, 115}, {257, 115},
                {4, 17}, {258, 17}, {4, 114}, {258, 114}},
               kBlack);
  // Outside the cut corners the background shows.
  ExpectColour(bmp, {{3, 17}, {4, 16}, {259, 17}, {3, 114}, {258, 115}},
               kLightBlue);
  ExpectColour(bmp, {{130, 60}, {5, 17}, {4, 18}, {258, 113}, {257, 114}},
               kWhite);
}

TEST(ButtonBitmaps, CloseShowsACross) {
  const Bitmap bmp = LoadBitmap("close.bmp");
  ASSERT_NO_FATAL_FAILURE(ExpectBitmapShape(bmp, 12, 12));
  ExpectColour(bmp, {{0, 0}, {11, 0}, {0, 11}, {11, 11}, {5, 0}, {0, 6}}, kBlack);
  ExpectColour(bmp, {{2, 2}, {5, 5}, {9, 9}, {9, 2}, {6, 5}, {2, 9}}, kBlack);
  ExpectColour(bmp, {{1, 1}, {5, 2}, {2, 5}, {10, 10}}, kLightBlue);
}

TEST(ButtonBitmaps, MinimizeShowsABar) {
  const Bitmap bmp = LoadBitmap("minimize.bmp");
  ASSERT_NO_FATAL_FAILURE(ExpectBitmapShape(bmp, 12, 12));
  ExpectColour(bmp, {{0, 0}, {11, 0}, {0, 11}, {11, 11}, {5, 0}, {11, 6}}, kBlack);
  ExpectColour(bmp, {{3, 9}, {6, 9}, {8, 9}}, kBlack);
  ExpectColour(bmp, {{1, 1}, {5, 5}, {2, 9}, {9, 9}, {5, 8}, {5, 10}}, kLightBlue);
}

TEST(HandCursor, IsAMonochromeCursorWithHotSpotAtTheFingertip) {
  const IconFile cur = LoadIcon("hand.cur");
  ASSERT_NO_FATAL_FAILURE(ExpectIconLayout(cur));
  EXPECT_EQ(cur.type, 2u) << "not a cursor";
  EXPECT_EQ(cur.field1, 0u) << "hot spot x";
  EXPECT_EQ(cur.field2, 0u) << "hot spot y";
  EXPECT_EQ(cur.dib.bits, 1u);
  // Colour table: index 0 black, index 1 white.
  const size_t table = cur.offset + cur.dib.size;
  EXPECT_EQ(ColourText(U8(cur.file, table + 2), U8(cur.file, table + 1),
                       U8(cur.file, table)),
            kBlack);
  EXPECT_EQ(ColourText(U8(cur.file, table + 6), U8(cur.file, table + 5),
                       U8(cur.file, table + 4)),
            kWhite);

  EXPECT_TRUE(!cur.Transparent(0, 0) || !cur.Transparent(1, 1))
      << "the hand should reach the hot spot at the top-left corner";

  int black = 0, white = 0, clear = 0, inverted = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      if (cur.Transparent(x, y)) {
        (cur.XorBit(x, y) ? inverted : clear)++;
      } else {
        (cur.XorBit(x, y) ? white : black)++;
      }
    }
  }
  EXPECT_GT(black, 0) << "no outline";
  EXPECT_GT(white, 0) << "no fill";
  EXPECT_GT(clear, 0) << "no transparent background";
  EXPECT_EQ(inverted, 0) << "pixels that invert the screen";
}

TEST(ProgramIcon, IsOne32x32TrueColourImage) {
  const IconFile ico = LoadIcon("program.ico");
  ASSERT_NO_FATAL_FAILURE(ExpectIconLayout(ico));
  EXPECT_EQ(ico.type, 1u) << "not an icon";
  EXPECT_EQ(ico.field2, 24u) << "bit count in the directory";
  EXPECT_EQ(ico.dib.bits, 24u);

  int opaque = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) opaque += !ico.Transparent(x, y);
  }
  EXPECT_TRUE(ico.Transparent(0, 0)) << "background should be transparent";
  EXPECT_GT(opaque, 0) << "nothing drawn";
}

}  // namespace
