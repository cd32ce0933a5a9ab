#include "formats/carve/Carving.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "formats/CarveSamples.h"

namespace {

constexpr size_t kCluster = 32 * 1024;
constexpr size_t kHead = 4096;

Bytes Joined(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::optional<CarvedKind> Recognise(const Bytes& bytes) {
  return RecognizeStart(bytes.data(), std::min(bytes.size(), kHead));
}

std::optional<CarveResult> Measure(CarvedKind kind, const Bytes& bytes) {
  BytesSource source(bytes);
  return MeasureFile(kind, source);
}

std::string Text(const std::optional<CarvedTime>& t) {
  if (!t) return "none";
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t->year, t->month, t->day, t->hour, t->minute,
                t->second);
  return text;
}

// Each kind is recognised from its first cluster and measured to exactly its length, whole,
// whatever follows it in the next cluster: zeros, other bytes, or the start of another file.
TEST(CarvingTest, EveryKindIsRecognisedAndMeasuredToItsLength) {
  const Bytes other = CarveSampleNamed("picture.png").bytes;
  const std::pair<const char*, Bytes> afters[] = {
      {"a cluster of zeros", Bytes(kCluster, 0)},
      {"a cluster of other bytes", PatternBytes(kCluster, 5)},
      {"the next file, a cluster on", Joined(Bytes(kCluster - 100, 0), other)},
  };
  for (const CarveSample& s : CarveSamples()) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(TypeOf(s.measured).kind, s.measured);
    const std::optional<CarvedKind> recognised = Recognise(s.bytes);
    ASSERT_TRUE(recognised.has_value());
    EXPECT_EQ(TypeOf(*recognised).extension, std::string(TypeOf(s.recognised).extension));
    for (const auto& [what, after] : afters) {
      SCOPED_TRACE(what);
      const std::optional<CarveResult> r = Measure(*recognised, Joined(s.bytes, after));
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(TypeOf(r->kind).extension, std::string(TypeOf(s.measured).extension));
      EXPECT_EQ(r->length, s.bytes.size());
      EXPECT_TRUE(r->whole);
      EXPECT_EQ(Text(r->recordedTime), Text(s.taken));
    }
    // Where the bytes end with the file. A program stream without its end code may go on
    // past its limit, so it is whole only where something else follows it.
    const std::optional<CarveResult> r = Measure(*recognised, s.bytes);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->length, s.bytes.size());
    EXPECT_EQ(r->whole, s.measured != CarvedKind::kMpeg);
  }
}

// Cut short, a file does not check: it is measured as not whole, or not at all, and never
// longer than the bytes there are.
TEST(CarvingTest, AFileCutShortIsNotWhole) {
  for (const CarveSample& s : CarveSamples()) {
    for (const size_t cut : {s.bytes.size() - 1 - s.spareTail, s.bytes.size() / 2, size_t{600}}) {
      if (cut >= s.bytes.size()) continue;
      SCOPED_TRACE(s.name + " cut to " + std::to_string(cut));
      const Bytes shorter(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
      const std::optional<CarveResult> r = Measure(s.recognised, shorter);
      if (!r) continue;
      EXPECT_FALSE(r->whole);
      EXPECT_LE(r->length, cut);
    }
  }
}

// A file with one part of its structure damaged (a chunk whose CRC fails, a directory or box
// that no longer reads as one, a cluster of text inside a JPEG's compressed data) is not whole.
TEST(CarvingTest, AFileWithADamagedPartIsNotWhole) {
  for (const CarveSample& s : CarveSamples()) {
    SCOPED_TRACE(s.name);
    const Bytes damaged = s.damage(s.bytes);
    ASSERT_EQ(damaged.size(), s.bytes.size());
    ASSERT_NE(damaged, s.bytes);
    const std::optional<CarveResult> r = Measure(s.recognised, Joined(damaged, Bytes(kCluster, 0)));
    if (r) {
      EXPECT_FALSE(r->whole) << "length " << r->length << " of " << s.bytes.size();
    }
  }
}

Bytes TextBytes(const std::string& text) {
  Bytes b;
  while (b.size() < kHead) b.insert(b.end(), text.begin(), text.end());
  b.resize(kHead);
  return b;
}

Bytes Utf16(const std::string& text) {
  Bytes b;
  for (const Bytes& t = TextBytes(text); uint8_t c : t) {
    b.push_back(c);
    b.push_back(0);
  }
  b.resize(kHead);
  return b;
}

// The start of a cluster that holds no listed file is recognised as none: random bytes, the
// same byte throughout, texts of many kinds, and files of kinds not listed.
TEST(CarvingTest, RandomBytesAndTextAreRecognisedAsNothing) {
  std::vector<std::pair<std::string, Bytes>> cases = {
      {"zeros", Bytes(kHead, 0)},
      {"0xFF", Bytes(kHead, 0xFF)},
      {"prose", TextBytes("It was the best of times, it was the worst of times. ")},
      {"HTML", TextBytes("<!DOCTYPE html><html><head><title>Card</title></head><body><p>Photos</p></body></html>\n")},
      {"XML", TextBytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?><list><item id=\"1\">one</item></list>\n")},
      {"CSV", TextBytes("date,amount,note\n2024-01-02,12.50,coffee\n2024-01-03,7.20,bus\n")},
      {"JSON", TextBytes("{\"name\": \"holiday\", \"files\": [\"a.jpg\", \"b.jpg\"], \"count\": 2}\n")},
      {"source code", TextBytes("int main(int argc, char** argv) {\n  return argc > 1 ? 0 : 1;\n}\n")},
      {"base64", TextBytes("TWFueSBoYW5kcyBtYWtlIGxpZ2h0IHdvcmsuIFRoZSBxdWljayBicm93biBmb3gg")},
      {"UTF-16 text", Utf16("Photos from the summer holiday. ")},
      {"a program", ReadFileRange("/proc/self/exe", 0, kHead)},
      {"a PPM picture", TextBytes("P6\n640 480\n255\n")},
  };
  for (uint32_t seed = 1; seed <= 20000; ++seed) cases.push_back({"random " + std::to_string(seed), PatternBytes(kHead, seed)});
  size_t recognised = 0;
  for (const auto& [name, bytes] : cases) {
    const std::optional<CarvedKind> kind = Recognise(bytes);
    if (kind) {
      ++recognised;
      ADD_FAILURE() << name << " recognised as " << TypeOf(*kind).extension;
    }
  }
  EXPECT_EQ(recognised, 0u);
}

// Structures that claim too much end quickly, read no more than the file's bytes once (and a
// little), and report no length past the bytes.
TEST(CarvingTest, HostileStructuresEndQuicklyAndReadLittle) {
  auto be32 = [](uint32_t v) { return Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; };
  auto le32 = [](uint32_t v) { return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; };
  auto str = [](const std::string& t) { return Bytes(t.begin(), t.end()); };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
  };
  auto repeat = [](const Bytes& unit, size_t times) {
    Bytes b;
    for (size_t i = 0; i < times; ++i) b.insert(b.end(), unit.begin(), unit.end());
    return b;
  };
  const Bytes ftyp = cat({be32(20), str("ftypisom"), be32(0), str("isom")});
  // A TIFF whose first directory is its own next one and its own sub-directory.
  const Bytes tiffLoop = cat({str("II*\0"), le32(8), Bytes{2, 0}, Bytes{0x4A, 0x01, 4, 0}, le32(1), le32(8),
                              Bytes{0x11, 0x01, 4, 0}, le32(1), le32(0xFFFFFF00), le32(8)});
  const Bytes png = CarveSampleNamed("picture.png").bytes;
  // After the header chunk, a hundred thousand empty chunks of a made-up type ("ruSt").
  Bytes tinyChunks(png.begin(), png.begin() + 33);
  const Bytes tiny = {0, 0, 0, 0, 'r', 'u', 'S', 't', 0x0B, 0x6A, 0x2F, 0x12};
  tinyChunks = Joined(tinyChunks, repeat(tiny, 100000));
  const struct Case {
    const char* name;
    CarvedKind kind;
    Bytes bytes;
  } cases[] = {
      {"a box of size 0 after the file type", CarvedKind::kMp4, cat({ftyp, be32(0), str("mdat"), Bytes(5000, 0)})},
      {"a box of size 1 and a large size of 0", CarvedKind::kMp4, cat({ftyp, be32(1), str("moov"), Bytes(8, 0)})},
      {"a box larger than the bytes", CarvedKind::kMp4, cat({ftyp, be32(1), str("mdat"), be32(0xFFFFFFFF), be32(0)})},
      {"a hundred thousand empty free boxes", CarvedKind::kMp4, cat({ftyp, repeat(cat({be32(8), str("free")}), 100000)})},
      {"a movie of boxes nested beyond reason", CarvedKind::kMp4,
       cat({ftyp, be32(8 + 8 * 2000), str("moov"), repeat(cat({be32(8), str("trak")}), 2000)})},
      {"a TIFF directory that is its own next and sub-directory", CarvedKind::kTiff, tiffLoop},
      {"a hundred thousand tiny PNG chunks", CarvedKind::kPng, tinyChunks},
      {"a PNG chunk longer than the bytes", CarvedKind::kPng, cat({Bytes(png.begin(), png.begin() + 33), be32(0x7FFFFFF0), str("IDAT")})},
      {"JPEG segments of no length", CarvedKind::kJpeg, cat({Bytes{0xFF, 0xD8}, repeat(Bytes{0xFF, 0xFE, 0, 2}, 100000)})},
      {"a JPEG segment past the bytes", CarvedKind::kJpeg, cat({Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF}, str("Exif")})},
      {"a RIFF size past the bytes", CarvedKind::kAvi, cat({str("RIFF"), le32(0xFFFFFFF0), str("AVI LIST"), le32(4), str("hdrl")})},
      {"RIFF chunks of no size", CarvedKind::kWav, cat({str("RIFF"), le32(4 + 8 * 50000), str("WAVE"), repeat(cat({str("JUNK"), le32(0)}), 50000)})},
      {"an ID3 tag longer than the bytes", CarvedKind::kMp3, cat({str("ID3"), Bytes{3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}})},
      {"a ZIP name past the bytes", CarvedKind::kZip, cat({str("PK\3\4"), Bytes(22, 0), Bytes{0xFF, 0xFF, 0, 0}})},
      {"an OLE2 table of sectors past the bytes", CarvedKind::kDoc,
       cat({Bytes{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, Bytes(16, 0), Bytes{0x3E, 0, 3, 0, 0xFE, 0xFF, 9, 0, 6, 0},
            Bytes(10, 0), le32(1), le32(0), Bytes(4, 0), le32(4096), le32(0xFFFFFFFE), le32(0), le32(0xFFFFFFFE), le32(0),
            le32(0x00FFFFFF), repeat(le32(0xFFFFFFFF), 108), Bytes(512, 0)})},
      {"EBML elements of unknown size", CarvedKind::kMkv,
       cat({Bytes{0x1A, 0x45, 0xDF, 0xA3, 0x8B, 0x42, 0x82, 0x88}, str("matroska"), Bytes{0x18, 0x53, 0x80, 0x67, 0x01, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, repeat(Bytes{0x1F, 0x43, 0xB6, 0x75, 0xFF}, 20000)})},
      {"a FLAC block past the bytes", CarvedKind::kFlac, cat({str("fLaC"), Bytes{0, 0, 0, 34}, Bytes(34, 0), Bytes{0x81, 0xFF, 0xFF, 0xFF}})},
      {"a PDF of nothing but end markers", CarvedKind::kPdf, cat({str("%PDF-1.4\n"), repeat(str("startxref\n99999999\n%%EOF\n"), 20000)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BytesSource source(c.bytes);
    const std::optional<CarveResult> r = MeasureFile(c.kind, source);
    if (r) {
      EXPECT_LE(r->length, c.bytes.size());
      EXPECT_GT(r->length, 0u);
    }
    EXPECT_LE(source.BytesRead(), c.bytes.size() + c.bytes.size() / 16 + 1024 * 1024);
    BytesSource again(c.bytes);
    FindEmbeddedPreview(c.kind, again);
    EXPECT_LE(again.BytesRead(), c.bytes.size() + c.bytes.size() / 16 + 1024 * 1024);
  }
}

// The EXIF thumbnail of a JPEG, and the largest picture a raw file embeds that a viewer can
// show (not the lossless JPEG of Canon's sensor data), are found byte for byte.
TEST(CarvingTest, EmbeddedPreviewsAreFound) {
  const struct Case {
    const char* sample;
    size_t expectedSize;  // 0: none
  } cases[] = {
      {"photo.jpg", SmallJpeg().size()}, {"raw.orf", SmallJpeg().size()}, {"raw.cr2", 1},
      {"raw.nef", 1},  {"raw.arw", 1},  {"raw.dng", 0},  {"picture.png", 0}, {"progressive.jpg", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    const CarveSample& s = CarveSampleNamed(c.sample);
    BytesSource source(s.bytes);
    const std::optional<EmbeddedPreview> found = FindEmbeddedPreview(s.measured, source);
    if (c.expectedSize == 0) {
      EXPECT_FALSE(found.has_value());
      continue;
    }
    ASSERT_TRUE(found.has_value());
    ASSERT_LE(found->offset + found->length, s.bytes.size());
    const Bytes bytes(s.bytes.begin() + static_cast<std::ptrdiff_t>(found->offset),
                      s.bytes.begin() + static_cast<std::ptrdiff_t>(found->offset + found->length));
    if (c.expectedSize == 1) {
      // The 160 x 120 preview, larger than the thumbnail; Canon's raw data is larger still.
      EXPECT_GT(bytes.size(), SmallJpeg().size());
      EXPECT_LT(bytes.size(), 40000u);
      EXPECT_EQ(bytes[0], 0xFF);
      EXPECT_EQ(bytes[1], 0xD8);
      EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
    } else {
      EXPECT_EQ(bytes, SmallJpeg());
    }
  }
}

// Photos from real cameras and phones (Debian's forensics sample files): measured whole to
// their length, with the time they were taken, and their EXIF thumbnails found.
TEST(CarvingTest, RealPhotosAreMeasuredWithTheirTimesAndThumbnails) {
  const std::string folder = "/usr/share/forensics-samples/original-files";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "forensics-samples-files is not installed";
  const struct Case {
    const char* path;
    const char* taken;
  } cases[] = {
      {"pic1/IMG_1054.JPG", "2020-09-12 11:49:38"},
      {"pic1/IMG_20200827_231612.jpg", "2020-08-27 23:16:12"},
      {"pic2/IMG_20191224_234846.jpg", "2019-12-24 23:48:46"},
      {"pic1/debian_logo.jpg", "none"},
      {"movie1/VID_20191220_170832.mp4", "none"},
      {"movie2/movie-hello.avi", "none"},
      {"movie2/movie-hello.mpeg", "none"},
      {"audio1/debian.mp3", "none"},
      {"audio1/debian.ogg", "none"},
      {"text1/a-text.docx", "none"},
      {"text1/a-text.odt", "none"},
      {"text1/a-text.pdf", "none"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Bytes bytes = ReadFileBytes(folder + "/" + c.path);
    const std::optional<CarvedKind> kind = Recognise(bytes);
    ASSERT_TRUE(kind.has_value());
    const std::optional<CarveResult> r = Measure(*kind, Joined(bytes, Bytes(kCluster, 0)));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->length, bytes.size());
    EXPECT_TRUE(r->whole);
    EXPECT_EQ(Text(r->recordedTime), c.taken);
    if (std::string(c.taken) != "none") {
      BytesSource source(bytes);
      const std::optional<EmbeddedPreview> thumbnail = FindEmbeddedPreview(CarvedKind::kJpeg, source);
      ASSERT_TRUE(thumbnail.has_value());
      EXPECT_EQ(bytes[thumbnail->offset], 0xFF);
      EXPECT_EQ(bytes[thumbnail->offset + 1], 0xD8);
      EXPECT_EQ(bytes[thumbnail->offset + thumbnail->length - 1], 0xD9);
    }
  }
}

// A camera's multi-picture file: the first picture's index (an APP2 "MPF" segment) places a
// second, larger one after its end of image; the file ends with the second.
TEST(CarvingTest, AMultiPictureFileEndsWithItsLastPicture) {
  const Bytes& photo = CarveSampleNamed("photo.jpg").bytes;
  const Bytes& second = CarveSampleNamed("progressive.jpg").bytes;
  auto be16 = [](uint32_t v) { return Bytes{uint8_t(v >> 8), uint8_t(v)}; };
  auto be32 = [](uint32_t v) { return Bytes{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
  };
  constexpr uint32_t kTiffSize = 8 + 2 + 3 * 12 + 4 + 32;
  constexpr uint32_t kIndexBase = 2 + 4 + 4;  // the TIFF header, after SOI, the marker, its length, "MPF\0"
  const uint32_t firstSize = static_cast<uint32_t>(photo.size() + 4 + 4 + kTiffSize);
  const Bytes tiff = cat({{'M', 'M', 0, 42}, be32(8), be16(3),
                          cat({be16(0xB000), be16(7), be32(4), {'0', '1', '0', '0'}}),
                          cat({be16(0xB001), be16(4), be32(1), be32(2)}),
                          cat({be16(0xB002), be16(7), be32(32), be32(8 + 2 + 36 + 4)}), be32(0),
                          cat({be32(0x20030000), be32(firstSize), be32(0), be32(0)}),
                          cat({be32(0), be32(static_cast<uint32_t>(second.size())), be32(firstSize - kIndexBase), be32(0)})});
  const Bytes first = cat({{0xFF, 0xD8, 0xFF, 0xE2}, be16(2 + 4 + kTiffSize), {'M', 'P', 'F', 0}, tiff,
                           Bytes(photo.begin() + 2, photo.end())});
  ASSERT_EQ(first.size(), firstSize);
  const Bytes file = Joined(first, second);
  std::optional<CarveResult> r = Measure(CarvedKind::kJpeg, Joined(file, Bytes(kCluster, 0)));
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->length, file.size());
  EXPECT_TRUE(r->whole);
  r = Measure(CarvedKind::kJpeg, Bytes(file.begin(), file.end() - static_cast<std::ptrdiff_t>(second.size() / 2)));
  ASSERT_TRUE(r.has_value());
  EXPECT_FALSE(r->whole);
}

// A file cut short and followed by the empty space of a formatted card stops there, instead of
// reading on through the space in search of its end.
TEST(CarvingTest, AFileCutShortBeforeEmptySpaceReadsLittleOfIt) {
  for (const char* name : {"photo.jpg", "document.pdf"}) {
    SCOPED_TRACE(name);
    const Bytes& bytes = CarveSampleNamed(name).bytes;
    const size_t cut = bytes.size() - 20;
    BytesSource source(Joined(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)), Bytes(64 << 20, 0)));
    const std::optional<CarveResult> r = MeasureFile(CarveSampleNamed(name).measured, source);
    ASSERT_TRUE(r.has_value());
    EXPECT_FALSE(r->whole);
    EXPECT_LE(r->length, cut + (4 << 20));
    EXPECT_LT(source.BytesRead(), 8u << 20);
  }
}

}  // namespace
