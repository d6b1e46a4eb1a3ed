// Bitmaps saved and loaded whole: every depth round trip, files on disk
// (regular files only, read in pieces and blocks), and the buffer pool.
#include "bitmap_files.h"

namespace {

using namespace bmptest;

// Random pictures of every depth survive a save and a load.
TEST(BitmapRoundTrip, EveryDepthKeepsEveryPixel) {
  std::mt19937 rng(12345);
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    const auto bits = static_cast<std::uint16_t>(depth);
    for (int w = 1; w <= 9; ++w) {
      for (int h = 1; h <= 3; ++h) {
        SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(w) + "x" + std::to_string(h));
        KW_PicDoc doc;
        doc.width = w;
        doc.height = h;
        doc.bitCount = bits;
        doc.xPelsPerMeter = 1000 + w;
        doc.yPelsPerMeter = 2000 + h;
        const int entries = bits <= 8 ? 1 << bits : 0;
        doc.paletteCount = entries;
        for (int i = 0; i < entries; ++i)
          doc.palette[static_cast<std::size_t>(i)] = (static_cast<std::uint32_t>(i) * 0x9E3779U) & 0xFFFFFFU;
        for (int i = 0; i < w * h; ++i) {
          const auto r = static_cast<std::uint32_t>(rng());
          std::uint32_t p = r;
          if (bits <= 8) p = doc.palette[r % static_cast<std::uint32_t>(entries)];
          if (bits == 16) p = r & 0xF8F8F8U;
          if (bits == 24) p = r & 0xFFFFFFU;
          doc.pixels.push_back(p);
        }
        const Bytes file = save(doc);
        EXPECT_EQ(read32(file, 2), file.size());
        EXPECT_EQ(file.size(),
                  54 + 4 * static_cast<std::size_t>(entries) +
                      static_cast<std::size_t>(h) * ((static_cast<std::size_t>(w) * bits + 31) / 32 * 4));
        KW_PicDoc back;
        ASSERT_TRUE(load(back, file));
        EXPECT_EQ(back.pixels, doc.pixels);
        EXPECT_EQ(back.bitCount, bits);
        EXPECT_EQ(back.paletteCount, entries);
        EXPECT_EQ(back.xPelsPerMeter, doc.xPelsPerMeter);
        EXPECT_EQ(back.yPelsPerMeter, doc.yPelsPerMeter);
      }
    }
  }
}

TEST(BitmapWrite, RefusesABufferThatDoesNotMatchItsSize) {
  KW_PicDoc doc;
  doc.width = 4;
  doc.height = 4;
  doc.bitCount = 24;
  doc.pixels.assign(3, 0);
  Bytes out;
  EXPECT_FALSE(SaveBitmapToMemory(doc, out));
  const auto dir = testenv::MakeTempFolder("bmpw");
  const auto path = (dir / "keep.bmp").string();
  testenv::WriteFile(path, "precious");
  EXPECT_FALSE(doc.SaveBitmap(path));
  EXPECT_EQ(testenv::ReadFile(path), "precious");  // not truncated
  std::filesystem::remove_all(dir);
}

TEST(BitmapWrite, EmptyDocumentWritesHeadersOnly) {
  KW_PicDoc doc;  // bitCount 0, paletteCount 1
  const Bytes out = save(doc);
  ASSERT_EQ(out.size(), 58U);
  EXPECT_EQ(read32(out, 2), 58U);
  EXPECT_EQ(read32(out, 10), 58U);
  EXPECT_EQ(read32(out, 14), 40U);
  KW_PicDoc back;
  EXPECT_FALSE(load(back, out));  // width 0: no picture to read
}

class BitmapFileTest : public testenv::HomeTest {};

TEST_F(BitmapFileTest, LoadAndSaveThroughFiles) {
  const Bytes file = rgbFile(5, 3, true).bytes();
  const auto path = (home / "in.bmp").string();
  testenv::WriteFile(path, std::string(file.begin(), file.end()));
  KW_PicDoc doc;
  const std::uint32_t* result = doc.LoadBitmap(path);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result, doc.pixels.data());
  expectRgbPicture(doc, 5, 3);
  EXPECT_TRUE(std::regex_match(
      doc.loadTime, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] "
                               "[0-9]{4}\n")))
      << doc.loadTime;
  const auto out = (home / "out.bmp").string();
  ASSERT_TRUE(doc.SaveBitmap(out));
  EXPECT_EQ(testenv::ReadFile(out), std::string(file.begin(), file.end()));

  EXPECT_EQ(doc.LoadBitmap((home / "missing.bmp").string()), nullptr);
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(doc.loadTime.empty());
  EXPECT_FALSE(doc.SaveBitmap((home / "no-such-folder" / "x.bmp").string()));
  // A folder is no bitmap, to read or to write.
  EXPECT_EQ(doc.LoadBitmap(home.string()), nullptr);
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_FALSE(doc.SaveBitmap(home.string()));
}

// Runs call on a thread of its own. A call still blocked on the pipe after a
// long wait is released by opening the pipe's other end, and the test fails
// instead of hanging. A blocked reader gets a write end that is closed at
// once, so it then reads the end of the data; a blocked writer gets a read
// end that stays open until it returns, so that its writes (a tiny picture
// fits in the pipe) do not raise SIGPIPE.
template <class Call>
auto withoutHanging(const std::filesystem::path& pipe, bool callReads, Call call) {
  auto result = std::async(std::launch::async, call);
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "blocked on the named pipe " << pipe;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const int fd = ::open(pipe.c_str(), (callReads ? O_WRONLY : O_RDONLY) | O_NONBLOCK);
      if (fd >= 0) {
        if (callReads) ::close(fd);
        result.wait();
        if (!callReads) ::close(fd);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return result.get();
}

TEST_F(BitmapFileTest, OnlyRegularFilesAreReadAndWritten) {
  // A named pipe nobody writes to or reads from.
  const auto pipe = home / "pipe.bmp";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  KW_PicDoc doc;
  ASSERT_TRUE(load(doc, rgbFile(3, 2, true).bytes()));
  EXPECT_FALSE(withoutHanging(pipe, false, [&doc, &pipe] { return doc.SaveBitmap(pipe.string()); }));
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(withoutHanging(pipe, true, [&doc, &pipe] { return doc.LoadBitmap(pipe.string()); }), nullptr);
  EXPECT_FALSE(doc.hasPicture());
  EXPECT_EQ(doc.width, 0);

  // A longer regular file is replaced whole.
  const auto path = (home / "shorter.bmp").string();
  testenv::WriteFile(path, std::string(1000, 'x'));
  const Bytes file = rgbFile(2, 2, true).bytes();
  ASSERT_TRUE(load(doc, file));
  ASSERT_TRUE(doc.SaveBitmap(path));
  EXPECT_EQ(testenv::ReadFile(path), std::string(file.begin(), file.end()));
}

TEST_F(BitmapFileTest, RunLengthDataReadInPiecesFromAFile) {
  // Longer than one read piece: 70000 two-byte runs, then the end mark.
  Bytes data;
  for (int i = 0; i < 70000; ++i) {
    data.push_back(1);
    data.push_back(static_cast<std::uint8_t>(i % 5));
  }
  data.push_back(0);
  data.push_back(1);
  const Bytes file = rleFile(8, 700, 100, data).bytes();
  const auto path = (home / "rle.bmp").string();
  testenv::WriteFile(path, std::string(file.begin(), file.end()));
  KW_PicDoc doc;
  ASSERT_NE(doc.LoadBitmap(path), nullptr);
  ASSERT_EQ(doc.pixels.size(), 70000U);
  for (std::size_t i = 0; i < doc.pixels.size(); ++i) ASSERT_EQ(doc.pixels[i], i % 5 + 1) << i;
}

TEST_F(BitmapFileTest, LargePlainFilesReadInBlocks) {
  // About 1.3 MB of rows: several read blocks, the last one partly filled.
  const int w = 701;
  const int h = 600;
  auto colour = [](int x, int row) {
    return static_cast<std::uint32_t>((x * 7 + row * 13 * 256 + ((x ^ row) & 0xFF) * 65536) & 0xFFFFFF);
  };
  for (const bool pad : {true, false}) {
    SCOPED_TRACE(pad ? "padded, top-down" : "unpadded, bottom-up");
    BmpFile f;
    f.width = w;
    f.height = pad ? -h : h;
    for (int k = 0; k < h; ++k) {
      const int row = pad ? h - 1 - k : k;
      for (int x = 0; x < w; ++x) addBgr(f.data, colour(x, row));
      if (pad)
        while (f.data.size() % 4 != 0) f.data.push_back(0);
    }
    const Bytes file = f.bytes();
    const auto path = (home / "large.bmp").string();
    testenv::WriteFile(path, std::string(file.begin(), file.end()));
    KW_PicDoc doc;
    ASSERT_NE(doc.LoadBitmap(path), nullptr);
    ASSERT_EQ(doc.pixels.size(), static_cast<std::size_t>(w * h));
    int wrong = 0;
    for (int row = 0; row < h; ++row)
      for (int x = 0; x < w; ++x) wrong += doc.At(x, row) != colour(x, row) ? 1 : 0;
    EXPECT_EQ(wrong, 0);
  }
}

TEST_F(BitmapFileTest, OpenAndSaveFollowTheExtension) {
  const Bytes file = rgbFile(2, 2, true).bytes();
  const std::string bytes(file.begin(), file.end());
  testenv::WriteFile(home / "upper.BMP", bytes);
  testenv::WriteFile(home / "photo.jpg", bytes);
  std::filesystem::create_directories(logFolder());
  const std::string zoomLog = logFolder().string() + std::string(logname::kZoom);
  testenv::WriteFile(zoomLog, "old zoom lines\n");

  KW_PicDoc doc;
  EXPECT_TRUE(doc.OnOpenDocument((home / "upper.BMP").string()));
  EXPECT_TRUE(doc.hasPicture());
  EXPECT_EQ(testenv::ReadFile(zoomLog), "");

  KW_PicDoc other;
  EXPECT_FALSE(other.OnOpenDocument((home / "photo.jpg").string()));
  EXPECT_FALSE(other.hasPicture());
  EXPECT_EQ(other.width, 0);

  testenv::WriteFile(zoomLog, "more zoom lines\n");
  EXPECT_FALSE(doc.OnSaveDocument((home / "copy.jpg").string()));
  EXPECT_FALSE(std::filesystem::exists(home / "copy.jpg"));
  EXPECT_EQ(testenv::ReadFile(zoomLog), "");
  testenv::WriteFile(zoomLog, "more zoom lines\n");
  EXPECT_TRUE(doc.OnSaveDocument((home / "copy.Bmp").string()));
  EXPECT_EQ(testenv::ReadFile(home / "copy.Bmp"), bytes);
  EXPECT_EQ(testenv::ReadFile(zoomLog), "");
}

}  // namespace

TEST(PixelPool, KeepsTheLargestBufferAndHandsItOnce) {
  PixelPool pool;
  EXPECT_TRUE(pool.take(10).empty());
  pool.recycle(std::vector<std::uint32_t>(100, 7));
  pool.recycle(std::vector<std::uint32_t>(50, 8));  // smaller: not kept
  EXPECT_TRUE(pool.take(101).empty());
  const std::vector<std::uint32_t> taken = pool.take(60);
  ASSERT_EQ(taken.size(), 60U);
  EXPECT_EQ(taken.front(), 7U);
  EXPECT_TRUE(pool.take(10).empty());  // handed out once
  pool.recycle(std::vector<std::uint32_t>(20, 9));
  pool.release();
  EXPECT_TRUE(pool.take(10).empty());
}

TEST(PixelPool, PicturesLoadedIntoAReusedBufferHoldNoStaleValues) {
  const auto pool = std::make_shared<PixelPool>();
  // A closed bright picture leaves its buffer behind.
  {
    KW_PicDoc big;
    big.pixelPool = pool;
    big.width = 40;
    big.height = 40;
    big.bitCount = 24;
    big.paletteCount = 0;
    big.pixels.assign(1600, 0xFFFFFF);
  }
  // Each smaller picture then loads into that buffer and must show only its own pixels.
  {
    KW_PicDoc doc;
    doc.pixelPool = pool;
    ASSERT_TRUE(load(doc, rgbFile(5, 3, true).bytes()));
    expectRgbPicture(doc, 5, 3);
  }
  {
    KW_PicDoc doc;
    doc.pixelPool = pool;
    ASSERT_TRUE(load(doc, rgbFile(6, 4, true, true).bytes()));
    expectRgbPicture(doc, 6, 4);
  }
  {
    KW_PicDoc doc;
    doc.pixelPool = pool;
    const Bytes data = {0, 2, 2, 1, 1, 3, 0, 0, 2, 1};
    ASSERT_TRUE(load(doc, rleFile(8, 3, 3, data).bytes()));
    EXPECT_EQ(doc.pixels, (std::vector<std::uint32_t>{1, 1, 1, 1, 1, 4, 2, 2, 1}));
  }
  // Loading into a document that holds a picture replaces it whole.
  KW_PicDoc doc;
  doc.pixelPool = pool;
  ASSERT_TRUE(load(doc, rgbFile(7, 5, true).bytes()));
  ASSERT_TRUE(load(doc, rgbFile(3, 2, true).bytes()));
  expectRgbPicture(doc, 3, 2);
  // A document without a pool frees its buffer.
  pool->release();
  {
    KW_PicDoc alone;
    alone.pixels.assign(100, 1);
  }
  EXPECT_TRUE(pool->take(1).empty());
}
