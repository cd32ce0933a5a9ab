#include "formats/CarveSamples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include <stdlib.h>

namespace {

// The tools' part: every file in one shell run.
constexpr const char* kMakeSamples = R"SH(set -e
pictures() {
  convert -size 48x32 plasma:fractal -quality 80 thumb.jpg
  convert -size 160x120 plasma:fractal -quality 80 preview.jpg
  convert -size 320x240 plasma:fractal -quality 85 photo.jpg
  convert -size 100x75 plasma:fractal -compress lzw picture.tif
  convert -size 64x48 plasma:fractal picture.heic
  exiftool -q -overwrite_original -DateTimeOriginal='2021:05:06 07:08:09' '-ThumbnailImage<=thumb.jpg' photo.jpg \
    -execute -q -DNGVersion=1.4.0.0 -Make=Canon -DateTimeOriginal='2020:01:02 03:04:05' -o raw.dng picture.tif \
    -execute -q -overwrite_original -DateTimeOriginal='2022:03:04 05:06:07' picture.heic
  convert -size 200x150 plasma:fractal -interlace JPEG -quality 70 progressive.jpg
  convert -size 120x90 plasma:fractal picture.png
  convert -size 120x90 plasma:fractal picture.gif
  convert -size 100x75 plasma:fractal picture.bmp
  convert -size 100x75 plasma:fractal picture.webp
}
videos() {
  video="-f lavfi -i testsrc=duration=0.5:size=128x96:rate=25 -f lavfi -i sine=duration=0.5:sample_rate=22050"
  ffmpeg -loglevel error $video -pix_fmt yuv420p video.mp4
  ffmpeg -loglevel error $video video.mov
  ffmpeg -loglevel error $video -c:v mpeg4 -ar 8000 -ac 1 -c:a aac video.3gp
  ffmpeg -loglevel error $video video.avi
  ffmpeg -loglevel error $video video.mkv
  ffmpeg -loglevel error $video -c:v libvpx -c:a libopus -ar 48000 video.webm
  ffmpeg -loglevel error $video -c:v libvpx -c:a libopus -ar 48000 -f webm pipe:1 >open-sizes.webm
  ffmpeg -loglevel error $video -ar 44100 -f mpeg video.mpg
}
sounds() {
  sound="-f lavfi -i sine=duration=1:sample_rate=22050"
  ffmpeg -loglevel error $sound -b:a 64k sound.mp3
  ffmpeg -loglevel error $sound sound.flac
  ffmpeg -loglevel error $sound -c:a libvorbis sound.ogg
  ffmpeg -loglevel error $sound sound.wav
}
documents() {
  printf '%%!PS\n/Helvetica findfont 24 scalefont setfont 72 720 moveto (Found by content) show showpage\n' >page.ps
  ps2pdf page.ps document.pdf
  qpdf --object-streams=generate document.pdf xref-stream.pdf
  qpdf --linearize document.pdf linearized.pdf
  mkdir -p docx/word docx/_rels xlsx/xl xlsx/_rels pptx/ppt pptx/_rels odt/META-INF epub/META-INF epub/OEBPS
  for d in docx xlsx pptx; do
    printf '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>' \
      >"$d/[Content_Types].xml"
    printf '<?xml version="1.0"?><Relationships/>' >"$d/_rels/.rels"
  done
  python3 -c "print('<w:document><w:body>' + '<w:p>Found by content</w:p>' * 200 + '</w:body></w:document>')" \
    >docx/word/document.xml
  printf '<workbook/>' >xlsx/xl/workbook.xml
  printf '<presentation/>' >pptx/ppt/presentation.xml
  (cd docx && zip -q -X ../document.docx '[Content_Types].xml' _rels/.rels word/document.xml)
  (cd xlsx && zip -q -X ../workbook.xlsx '[Content_Types].xml' _rels/.rels xl/workbook.xml)
  (cd pptx && zip -q -X ../slides.pptx '[Content_Types].xml' _rels/.rels ppt/presentation.xml)
  printf 'application/vnd.oasis.opendocument.text' >odt/mimetype
  printf '<office:document-content/>' >odt/content.xml
  printf '<manifest:manifest/>' >odt/META-INF/manifest.xml
  (cd odt && zip -q -X -0 ../text.odt mimetype && zip -q -X ../text.odt content.xml META-INF/manifest.xml)
  printf 'application/epub+zip' >epub/mimetype
  printf '<container/>' >epub/META-INF/container.xml
  python3 -c "print('<html><body>' + '<p>Found by content</p>' * 100 + '</body></html>')" >epub/OEBPS/text.xhtml
  (cd epub && zip -q -X -0 ../book.epub mimetype && zip -q -X ../book.epub META-INF/container.xml OEBPS/text.xhtml)
  mkdir -p doc xls ppt
  python3 -c "import sys; sys.stdout.write('Found by content. ' * 600)" >doc/WordDocument
  cp doc/WordDocument xls/Workbook
  cp doc/WordDocument 'ppt/PowerPoint Document'
  head -c 900 page.ps >doc/1Table
  (cd doc && gsf createole ../document.doc WordDocument 1Table >/dev/null 2>&1)
  (cd xls && gsf createole ../workbook.xls Workbook >/dev/null 2>&1)
  (cd ppt && gsf createole ../slides.ppt 'PowerPoint Document' >/dev/null 2>&1)
}
# Two cores: the four groups side by side, then the archives of what they made.
pictures & p1=$!
videos & p2=$!
sounds & p3=$!
documents
wait $p1 && wait $p2 && wait $p3
zip -q -X archive.zip page.ps picture.png sound.wav
zip -q -X -fz archive64.zip page.ps sound.wav
zip -q -X -P secret encrypted.zip page.ps picture.png
)SH";

// The samples are made once for every test program that asks (ctest runs each test in a
// program of its own) and kept in the build tree, in a folder named for the script that made
// them; programs that start together race to make it, and the first to finish keeps its copy.
const std::string& SamplesFolder() {
  static const std::string folder = [] {
    const std::string base = BRINDLE_CARVE_SAMPLES_DIR;
    char name[32];
    std::snprintf(name, sizeof name, "%016zx", std::hash<std::string_view>{}(kMakeSamples));
    const std::string made = base + "/" + name;
    if (FileExists(made + "/done")) return made;
    std::filesystem::create_directories(base);
    std::string work = base + "/making-XXXXXX";
    if (::mkdtemp(work.data()) == nullptr) ADD_FAILURE() << "cannot make " << work;
    RunCommand("(cd " + ShellQuote(work) + " && bash -c " + ShellQuote(kMakeSamples) + " && touch done)");
    std::error_code error;
    std::filesystem::rename(work, made, error);
    if (error) std::filesystem::remove_all(work);
    return made;
  }();
  return folder;
}

Bytes Tool(const std::string& name) { return ReadFileBytes(SamplesFolder() + "/" + name); }

void Put16(Bytes& b, size_t at, uint16_t v, bool be) {
  b[at] = static_cast<uint8_t>(be ? v >> 8 : v);
  b[at + 1] = static_cast<uint8_t>(be ? v : v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v, bool be) {
  Put16(b, at + (be ? 2 : 0), static_cast<uint16_t>(v), be);
  Put16(b, at + (be ? 0 : 2), static_cast<uint16_t>(v >> 16), be);
}
uint16_t Get16(const Bytes& b, size_t at, bool be) {
  return static_cast<uint16_t>(be ? b[at] << 8 | b[at + 1] : b[at] | b[at + 1] << 8);
}
uint32_t Get32(const Bytes& b, size_t at, bool be) {
  return be ? uint32_t{Get16(b, at, true)} << 16 | Get16(b, at + 2, true)
            : Get16(b, at, false) | uint32_t{Get16(b, at + 2, false)} << 16;
}

// A TIFF structure laid out as camera raw files keep theirs: the header, then every value and
// picture, then the directories. A field's value is numbers (SHORT or LONG), text, a blob's
// offset, or another directory's offset.
class TiffBuilder {
 public:
  struct Value {
    enum class What { kNumbers, kText, kBlobOffset, kBlobLength, kDirectory, kDirectories } what = What::kNumbers;
    std::vector<uint32_t> numbers;
    std::string text;
    size_t index = 0;  // of the blob or directory
  };
  struct Field {
    uint16_t tag;
    uint16_t type;  // 2 ASCII, 3 SHORT, 4 LONG
    Value value;
  };
  using Directory = std::vector<Field>;

  TiffBuilder(bool bigEndian, Bytes header) : be_(bigEndian), header_(std::move(header)) {}

  size_t AddBlob(Bytes bytes) {
    blobs_.push_back(std::move(bytes));
    return blobs_.size() - 1;
  }
  // Directories are chained in the order added unless chained is false.
  size_t AddDirectory(Directory fields, bool chained) {
    directories_.push_back({std::move(fields), chained});
    return directories_.size() - 1;
  }

  static Field Numbers(uint16_t tag, uint16_t type, std::vector<uint32_t> n) { return {tag, type, {Value::What::kNumbers, std::move(n), {}, 0}}; }
  static Field Text(uint16_t tag, std::string t) { return {tag, 2, {Value::What::kText, {}, std::move(t), 0}}; }
  static Field BlobOffset(uint16_t tag, size_t blob) { return {tag, 4, {Value::What::kBlobOffset, {}, {}, blob}}; }
  static Field BlobLength(uint16_t tag, size_t blob) { return {tag, 4, {Value::What::kBlobLength, {}, {}, blob}}; }
  static Field DirectoryOffset(uint16_t tag, size_t directory) { return {tag, 4, {Value::What::kDirectory, {}, {}, directory}}; }
  // Several directories' offsets, as an array of LONGs (SubIFDs).
  static Field DirectoryOffsets(uint16_t tag, std::vector<uint32_t> directories) {
    return {tag, 4, {Value::What::kDirectories, std::move(directories), {}, 0}};
  }

  Bytes Build() {
    Bytes out = header_;
    // Values that do not fit in a field become blobs too.
    for (auto& [fields, chained] : directories_) {
      for (Field& f : fields) {
        if (f.value.what == Value::What::kText && f.value.text.size() + 1 > 4) {
          Bytes text(f.value.text.begin(), f.value.text.end());
          text.push_back(0);
          f.value.index = AddBlob(text);
        }
        if (f.value.what == Value::What::kDirectories) f.value.index = AddBlob(Bytes(4 * f.value.numbers.size()));
      }
    }
    std::vector<uint32_t> blobAt;
    for (const Bytes& blob : blobs_) {
      if (out.size() % 2) out.push_back(0);
      blobAt.push_back(static_cast<uint32_t>(out.size()));
      out.insert(out.end(), blob.begin(), blob.end());
    }
    if (out.size() % 2) out.push_back(0);
    std::vector<uint32_t> directoryAt;
    uint32_t at = static_cast<uint32_t>(out.size());
    for (const auto& d : directories_) {
      directoryAt.push_back(at);
      at += static_cast<uint32_t>(2 + 12 * d.first.size() + 4);
    }
    const uint32_t firstChained = directoryAt.front();
    Put32(out, 4, firstChained, be_);
    for (size_t i = 0; i < directories_.size(); ++i) {
      auto [fields, chained] = directories_[i];
      std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.tag < b.tag; });
      Bytes d(2 + 12 * fields.size() + 4);
      Put16(d, 0, static_cast<uint16_t>(fields.size()), be_);
      for (size_t k = 0; k < fields.size(); ++k) {
        const Field& f = fields[k];
        const size_t e = 2 + 12 * k;
        Put16(d, e, f.tag, be_);
        Put16(d, e + 2, f.type, be_);
        switch (f.value.what) {
          case Value::What::kNumbers: {
            Put32(d, e + 4, static_cast<uint32_t>(f.value.numbers.size()), be_);
            if (f.type == 3 && f.value.numbers.size() <= 2) {
              for (size_t n = 0; n < f.value.numbers.size(); ++n) Put16(d, e + 8 + 2 * n, static_cast<uint16_t>(f.value.numbers[n]), be_);
            } else {
              Put32(d, e + 8, f.value.numbers.at(0), be_);
            }
            break;
          }
          case Value::What::kText:
            Put32(d, e + 4, static_cast<uint32_t>(f.value.text.size() + 1), be_);
            if (f.value.text.size() + 1 > 4) Put32(d, e + 8, blobAt[f.value.index], be_);
            else std::memcpy(d.data() + e + 8, f.value.text.c_str(), f.value.text.size());
            break;
          case Value::What::kBlobOffset:
            Put32(d, e + 4, 1, be_);
            Put32(d, e + 8, blobAt[f.value.index], be_);
            break;
          case Value::What::kBlobLength:
            Put32(d, e + 4, 1, be_);
            Put32(d, e + 8, static_cast<uint32_t>(blobs_[f.value.index].size()), be_);
            break;
          case Value::What::kDirectory:
            Put32(d, e + 4, 1, be_);
            Put32(d, e + 8, directoryAt[f.value.index], be_);
            break;
          case Value::What::kDirectories:
            Put32(d, e + 4, static_cast<uint32_t>(f.value.numbers.size()), be_);
            Put32(d, e + 8, blobAt[f.value.index], be_);
            for (size_t n = 0; n < f.value.numbers.size(); ++n) {
              Put32(out, blobAt[f.value.index] + 4 * n, directoryAt[f.value.numbers[n]], be_);
            }
            break;
        }
      }
      // The next directory of the chain, if any.
      for (size_t j = i + 1; chained && j < directories_.size(); ++j) {
        if (directories_[j].second) {
          Put32(d, d.size() - 4, directoryAt[j], be_);
          break;
        }
      }
      out.insert(out.end(), d.begin(), d.end());
    }
    return out;
  }

 private:
  bool be_;
  Bytes header_;
  std::vector<Bytes> blobs_;
  std::vector<std::pair<Directory, bool>> directories_;
};

using TB = TiffBuilder;
constexpr uint16_t kShort = 3, kLong = 4;

Bytes Header(bool be, uint16_t magic, size_t size = 8) {
  Bytes h(size);
  h[0] = h[1] = be ? 'M' : 'I';
  Put16(h, 2, magic, be);
  return h;
}

// Raw sensor data: lossless JPEG in Canon's files, which no preview may show.
Bytes LosslessJpeg(size_t size) {
  Bytes b = PatternBytes(size, 77);
  const uint8_t start[] = {0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00};
  std::copy(std::begin(start), std::end(start), b.begin());
  b[size - 2] = 0xFF;
  b[size - 1] = 0xD9;
  return b;
}

TB::Directory ExifDirectory(const std::string& taken) {
  return {TB::Text(0x9003, taken), TB::Numbers(0x9000, 7, {0x30333230})};
}

// Canon: "CR" after the header; the first directory's strip is the large preview, the second
// names the thumbnail, the fourth holds the raw data.
Bytes MakeCr2() {
  Bytes header = Header(false, 42, 16);
  header[8] = 'C';
  header[9] = 'R';
  header[10] = 2;
  TB b(false, header);
  const size_t preview = b.AddBlob(Tool("preview.jpg")), thumb = b.AddBlob(Tool("thumb.jpg"));
  const size_t raw = b.AddBlob(LosslessJpeg(40000));
  b.AddDirectory({TB::Text(0x010F, "Canon"), TB::Text(0x0110, "Canon EOS 5D Mark IV"), TB::Numbers(0x0103, kShort, {6}),
                  TB::BlobOffset(0x0111, preview), TB::BlobLength(0x0117, preview), TB::DirectoryOffset(0x8769, 4)},
                 true);
  b.AddDirectory({TB::BlobOffset(0x0201, thumb), TB::BlobLength(0x0202, thumb)}, true);
  b.AddDirectory({TB::Numbers(0x0100, kShort, {40}), TB::Numbers(0x0101, kShort, {30})}, true);
  b.AddDirectory({TB::Numbers(0x0103, kShort, {6}), TB::BlobOffset(0x0111, raw), TB::BlobLength(0x0117, raw)}, true);
  b.AddDirectory(ExifDirectory("2019:11:12 13:14:15"), false);
  Bytes out = b.Build();
  // The header's pointer to the raw directory, the fourth of the chain.
  uint32_t at = Get32(out, 4, false);
  for (int i = 0; i < 3; ++i) at = Get32(out, at + 2 + 12 * Get16(out, at, false), false);
  Put32(out, 12, at, false);
  return out;
}

// Nikon: big-endian, the preview and the raw data (NEF compression) in sub-directories.
Bytes MakeNef() {
  TB b(true, Header(true, 42));
  const size_t preview = b.AddBlob(Tool("preview.jpg")), raw = b.AddBlob(PatternBytes(50000, 31));
  b.AddDirectory({TB::Text(0x010F, "NIKON CORPORATION"), TB::Text(0x0110, "NIKON D850"),
                  TB::DirectoryOffsets(0x014A, {1, 2}), TB::DirectoryOffset(0x8769, 3)},
                 true);
  b.AddDirectory({TB::Numbers(0x00FE, kLong, {1}), TB::BlobOffset(0x0201, preview), TB::BlobLength(0x0202, preview)},
                 false);
  b.AddDirectory({TB::Numbers(0x0103, kShort, {34713}), TB::BlobOffset(0x0111, raw), TB::BlobLength(0x0117, raw)}, false);
  b.AddDirectory(ExifDirectory("2018:07:08 09:10:11"), false);
  return b.Build();
}

// Sony: the preview named by the first directory, the raw data (Sony's compression) in a
// sub-directory, and the private SR2 data Sony's files point at.
Bytes MakeArw() {
  TB b(false, Header(false, 42));
  const size_t preview = b.AddBlob(Tool("preview.jpg")), raw = b.AddBlob(PatternBytes(45000, 32));
  const size_t sr2 = b.AddBlob(PatternBytes(600, 33));
  b.AddDirectory({TB::Text(0x010F, "SONY"), TB::Text(0x0110, "ILCE-7M3"), TB::BlobOffset(0x0201, preview),
                  TB::BlobLength(0x0202, preview), TB::DirectoryOffset(0x014A, 1), TB::BlobOffset(0xC634, sr2),
                  TB::DirectoryOffset(0x8769, 2)},
                 true);
  b.AddDirectory({TB::Numbers(0x0103, kShort, {32767}), TB::BlobOffset(0x0111, raw), TB::BlobLength(0x0117, raw)}, false);
  b.AddDirectory(ExifDirectory("2017:03:04 05:06:07"), false);
  return b.Build();
}

// Olympus: "IIRO" for a header, the raw data in strips, the preview in the thumbnail's place.
Bytes MakeOrf() {
  TB b(false, Header(false, 0x4F52));
  const size_t raw = b.AddBlob(PatternBytes(30000, 34)), thumb = b.AddBlob(Tool("thumb.jpg"));
  b.AddDirectory({TB::Text(0x010F, "OLYMPUS IMAGING CORP."), TB::BlobOffset(0x0111, raw), TB::BlobLength(0x0117, raw),
                  TB::DirectoryOffset(0x8769, 2)},
                 true);
  b.AddDirectory({TB::BlobOffset(0x0201, thumb), TB::BlobLength(0x0202, thumb)}, true);
  b.AddDirectory(ExifDirectory("2016:01:02 03:04:05"), false);
  return b.Build();
}

// Damage kinds.
Bytes Overwrite(Bytes b, size_t at, const Bytes& with) {
  std::copy(with.begin(), with.begin() + static_cast<std::ptrdiff_t>(std::min(with.size(), b.size() - at)),
            b.begin() + static_cast<std::ptrdiff_t>(at));
  return b;
}
Bytes Text(size_t size) {
  const std::string line = "The quick brown fox jumps over the lazy dog, 0123456789. ";
  Bytes t;
  while (t.size() < size) t.insert(t.end(), line.begin(), line.end());
  t.resize(size);
  return t;
}
Bytes FlipAt(Bytes b, size_t at) {
  b.at(at) ^= 0x5A;
  return b;
}
// A byte three quarters in, past the metadata and padding a sound file may begin with.
auto FlipLate() {
  return [](const Bytes& b) { return FlipAt(b, b.size() * 3 / 4); };
}
// The directory count of the first TIFF directory set beyond reason.
Bytes BreakFirstDirectory(const Bytes& b) {
  const bool be = b[0] == 'M';
  Bytes out = b;
  Put16(out, Get32(b, 4, be), 0xFFFF, be);
  return out;
}
// The first box inside the box of type (a movie or a HEIF meta box) loses its header.
auto ZeroFirstChild(const std::string& type, size_t fullBox) {
  return [type, fullBox](const Bytes& b) {
    const size_t at = FindBytes(b, type);
    return Overwrite(b, at + 4 + fullBox, Bytes(8, 0));
  };
}
// The last place the pattern's bytes stand made zeros (an element's identifier, which a
// table of contents before it may hold too).
auto ZeroLast(const std::string& pattern) {
  return [pattern](const Bytes& b) {
    size_t at = FindBytes(b, pattern), next;
    while ((next = FindBytes(b, pattern, at + 1)) != std::string::npos) at = next;
    return Overwrite(b, at, Bytes(pattern.size(), 0));
  };
}

// A ZIP's first entry's data, one byte changed.
Bytes FlipFirstEntry(const Bytes& b) {
  const size_t data = 30 + (b[26] | b[27] << 8) + (b[28] | b[29] << 8);
  return FlipAt(b, data + 2);
}

// The end of central directory record (the last 22 bytes where there is no comment) names a
// directory a byte further on.
Bytes BreakEndRecord(const Bytes& b) {
  Bytes out = b;
  Put32(out, b.size() - 22 + 16, Get32(b, b.size() - 22 + 16, false) + 1, false);
  return out;
}

// The section a PDF's last "startxref" names, its first bytes changed.
Bytes BreakCrossReference(const Bytes& b) {
  size_t at = FindBytes(b, "startxref"), next;
  while ((next = FindBytes(b, "startxref", at + 1)) != std::string::npos) at = next;
  size_t offset = 0;
  for (size_t i = at + 10; i < b.size() && b[i] >= '0' && b[i] <= '9'; ++i) offset = offset * 10 + (b[i] - '0');
  return Overwrite(b, offset, Text(4));
}

// The first sector of an OLE2 file's allocation table begins with a value no table holds.
Bytes BreakAllocationTable(const Bytes& b) {
  const size_t shift = b[0x1E];
  const uint32_t first = Get32(b, 0x4C, false);
  Bytes out = b;
  Put32(out, (size_t{first} + 1) << shift, 0xFFFFFFF0, false);
  return out;
}

// A cut in the entropy data of a JPEG filled with text, as where a text file's cluster sits
// between two of the picture's.
Bytes TextInTheMiddle(const Bytes& b) { return Overwrite(b, b.size() / 2 / 512 * 512, Text(2048)); }

CarvedTime Time(unsigned y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s) { return {y, mo, d, h, mi, s}; }

std::vector<CarveSample> MakeSamples() {
  using K = CarvedKind;
  auto bmpHeight = [](const Bytes& b) {
    Bytes out = b;
    Put32(out, 22, Get32(b, 22, false) * 2, false);
    return out;
  };
  auto zeroFirstChunk = [](const Bytes& b) { return Overwrite(b, 12, Bytes(8, 0)); };
  auto breakPack = [](const Bytes& b) { return Overwrite(b, b.size() / 2 / 2048 * 2048, Text(2048)); };
  auto zeroMiddle = [](const Bytes& b) { return Overwrite(b, b.size() / 2, Bytes(1000, 0)); };
  auto zeroGifMiddle = [](const Bytes& b) { return Overwrite(b, b.size() / 2, Bytes(512, 0)); };
  std::vector<CarveSample> s = {
      {"photo.jpg", K::kJpeg, K::kJpeg, Tool("photo.jpg"), TextInTheMiddle, 0, Time(2021, 5, 6, 7, 8, 9)},
      {"progressive.jpg", K::kJpeg, K::kJpeg, Tool("progressive.jpg"), TextInTheMiddle, 0, {}},
      {"picture.png", K::kPng, K::kPng, Tool("picture.png"), FlipLate(), 0, {}},
      {"picture.gif", K::kGif, K::kGif, Tool("picture.gif"), zeroGifMiddle, 0, {}},
      {"picture.bmp", K::kBmp, K::kBmp, Tool("picture.bmp"), bmpHeight, 0, {}},
      {"picture.tif", K::kTiff, K::kTiff, Tool("picture.tif"), BreakFirstDirectory, 0, {}},
      {"raw.dng", K::kTiff, K::kDng, Tool("raw.dng"), BreakFirstDirectory, 1, Time(2020, 1, 2, 3, 4, 5)},
      {"raw.cr2", K::kCr2, K::kCr2, MakeCr2(), BreakFirstDirectory, 0, Time(2019, 11, 12, 13, 14, 15)},
      {"raw.nef", K::kTiff, K::kNef, MakeNef(), BreakFirstDirectory, 0, Time(2018, 7, 8, 9, 10, 11)},
      {"raw.arw", K::kTiff, K::kArw, MakeArw(), BreakFirstDirectory, 0, Time(2017, 3, 4, 5, 6, 7)},
      {"raw.orf", K::kOrf, K::kOrf, MakeOrf(), BreakFirstDirectory, 0, Time(2016, 1, 2, 3, 4, 5)},
      {"picture.heic", K::kHeic, K::kHeic, Tool("picture.heic"), ZeroFirstChild("meta", 4), 0, Time(2022, 3, 4, 5, 6, 7)},
      {"video.mp4", K::kMp4, K::kMp4, Tool("video.mp4"), ZeroFirstChild("moov", 0), 0, {}},
      {"video.mov", K::kMov, K::kMov, Tool("video.mov"), ZeroFirstChild("moov", 0), 0, {}},
      {"video.3gp", K::k3gp, K::k3gp, Tool("video.3gp"), ZeroFirstChild("moov", 0), 0, {}},
      {"video.avi", K::kAvi, K::kAvi, Tool("video.avi"), zeroFirstChunk, 0, {}},
      {"sound.wav", K::kWav, K::kWav, Tool("sound.wav"), zeroFirstChunk, 0, {}},
      {"picture.webp", K::kWebp, K::kWebp, Tool("picture.webp"), zeroFirstChunk, 0, {}},
      {"video.mkv", K::kMkv, K::kMkv, Tool("video.mkv"), ZeroLast("\x16\x54\xAE\x6B"), 0, {}},
      {"video.webm", K::kWebm, K::kWebm, Tool("video.webm"), ZeroLast("\x16\x54\xAE\x6B"), 0, {}},
      {"open-sizes.webm", K::kWebm, K::kWebm, Tool("open-sizes.webm"), ZeroLast("\x16\x54\xAE\x6B"), 0, {}},
      {"video.mpg", K::kMpeg, K::kMpeg, Tool("video.mpg"), breakPack, 0, {}},
      {"sound.mp3", K::kMp3, K::kMp3, Tool("sound.mp3"), zeroMiddle, 0, {}},
      {"sound.flac", K::kFlac, K::kFlac, Tool("sound.flac"), FlipLate(), 0, {}},
      {"sound.ogg", K::kOgg, K::kOgg, Tool("sound.ogg"), FlipLate(), 0, {}},
      {"document.pdf", K::kPdf, K::kPdf, Tool("document.pdf"), BreakCrossReference, 1, {}},
      {"xref-stream.pdf", K::kPdf, K::kPdf, Tool("xref-stream.pdf"), BreakCrossReference, 1, {}},
      {"linearized.pdf", K::kPdf, K::kPdf, Tool("linearized.pdf"), BreakCrossReference, 1, {}},
      {"archive.zip", K::kZip, K::kZip, Tool("archive.zip"), FlipFirstEntry, 0, {}},
      {"archive64.zip", K::kZip, K::kZip, Tool("archive64.zip"), FlipFirstEntry, 0, {}},
      {"encrypted.zip", K::kZip, K::kZip, Tool("encrypted.zip"), BreakEndRecord, 0, {}},
      {"document.docx", K::kZip, K::kDocx, Tool("document.docx"), FlipFirstEntry, 0, {}},
      {"workbook.xlsx", K::kZip, K::kXlsx, Tool("workbook.xlsx"), FlipFirstEntry, 0, {}},
      {"slides.pptx", K::kZip, K::kPptx, Tool("slides.pptx"), FlipFirstEntry, 0, {}},
      {"text.odt", K::kOdt, K::kOdt, Tool("text.odt"), FlipFirstEntry, 0, {}},
      {"book.epub", K::kEpub, K::kEpub, Tool("book.epub"), FlipFirstEntry, 0, {}},
      {"document.doc", K::kDoc, K::kDoc, Tool("document.doc"), BreakAllocationTable, 0, {}},
      {"workbook.xls", K::kDoc, K::kXls, Tool("workbook.xls"), BreakAllocationTable, 0, {}},
      {"slides.ppt", K::kDoc, K::kPpt, Tool("slides.ppt"), BreakAllocationTable, 0, {}},
  };
  return s;
}

}  // namespace

const std::vector<CarveSample>& CarveSamples() {
  static const std::vector<CarveSample> samples = MakeSamples();
  return samples;
}

const CarveSample& CarveSampleNamed(const std::string& name) {
  for (const CarveSample& s : CarveSamples()) {
    if (s.name == name) return s;
  }
  ADD_FAILURE() << "no sample " << name;
  return CarveSamples().front();
}

const Bytes& SmallJpeg() {
  static const Bytes thumb = Tool("thumb.jpg");
  return thumb;
}

size_t BytesSource::Read(uint64_t offset, uint8_t* dest, size_t count) {
  ++reads_;
  if (offset >= limit_ || offset >= bytes_.size()) return 0;
  count = static_cast<size_t>(std::min<uint64_t>({count, limit_ - offset, bytes_.size() - offset}));
  std::memcpy(dest, bytes_.data() + offset, count);
  read_ += count;
  return count;
}

size_t FindBytes(const Bytes& bytes, const std::string& pattern, size_t from) {
  if (from >= bytes.size()) return std::string::npos;
  const auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), pattern.begin(),
                              pattern.end(), [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
  return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}
