// The "Lost and found" of cards that were quick-formatted (mkfs.fat run again on the same image)
// and then written again: the old folders come back with their names, times and bytes, the
// files no folder names any more come back by their content, and nothing comes back twice.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "formats/CarveSamples.h"
#include "fs/TreeWalk.h"
#include "scan/LostAndFound.h"
#include "support/FatImages.h"
#include "support/FaultyRead.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"

namespace {

struct Found {
  EntryOrigin origin;
  bool folder;
  Bytes bytes;
  std::optional<RecordedTime> modified;
};

// Everything below the partition's "Lost and found", by path from it ("jpg/f0000123.jpg"), with
// the bytes of each file when readData.
std::map<std::string, Found> LostAndFoundOf(TPartition& partition, bool readData = true) {
  AddLostAndFound(partition);
  EXPECT_NE(partition.lostAndFound, nullptr);
  std::map<std::string, Found> found;
  if (!partition.lostAndFound) return found;
  TreeWalk walk(true, [&](const WalkItem& item) {
    Found f{item.entry.Origin(), item.entry.IsFolder(), {}, item.entry.ModifiedTime()};
    if (!f.folder && readData) {
      uint32_t size = 0;
      const ByteBuffer data = item.entry.GetData(size);
      f.bytes.assign(data.data(), data.data() + size);
    }
    found.emplace(item.displayPath.substr(item.displayPath.find('/') + 1), std::move(f));
  });
  walk.WalkChildren(partition, *partition.lostAndFound, "L", "L");
  return found;
}

// mkfs.fat again over the whole image, as a camera's quick format does: a new, empty FAT and
// root; the data area stays as it was.
void QuickFormat(const std::string& image, const std::string& options) {
  RunCommand("mkfs.fat " + options + " " + ShellQuote(image) + " >/dev/null");
}

size_t CountWithBytes(const std::map<std::string, Found>& found, const Bytes& bytes) {
  size_t n = 0;
  for (const auto& [path, f] : found) n += !f.folder && f.bytes == bytes;
  return n;
}

TEST(LostAndFoundTest, FormattedCardGivesBackItsFoldersNamesTimesAndBytes) {
  TempDir dir;
  const std::string image = dir.path() + "/card.img";
  MtoolsVolume card(image);
  card.Format("-F 32 -s 1", 65536);
  const Bytes photo = CarveSampleNamed("photo.jpg").bytes;
  const Bytes notes = PatternBytes(70000, 7);
  const Bytes song = PatternBytes(9000, 8);
  card.MakeDirectory("/DCIM");
  card.MakeDirectory("/DCIM/Holiday pictures");
  card.MakeDirectory("/DCIM/Holiday pictures/Day two");
  card.Write("/DCIM/Holiday pictures/Beach at noon.jpg", photo, "2021-06-01 10:11:12");
  card.Write("/DCIM/Holiday pictures/Notes about the trip.txt", notes, "2021-06-02 08:00:00");
  card.Write("/DCIM/Holiday pictures/Day two/SONG.BIN", song, "2021-06-03 09:30:00");
  QuickFormat(image, "-F 32 -s 1");
  MtoolsVolume(image).Write("/NEW.TXT", PatternBytes(100, 9));

  OpenSource source(image);
  ASSERT_EQ(source.partitions.size(), 1u);
  const std::map<std::string, Found> found = LostAndFoundOf(*source.partitions[0]);

  // The folder that held the pictures comes back as a tree, its own name unknown (its parent's
  // first cluster went to the new file), what it holds named as it was.
  const std::string top = [&] {
    for (const auto& [path, f] : found) {
      if (f.folder && path.find('/') == std::string::npos && path.starts_with("Folder at cluster ")) return path;
    }
    return std::string();
  }();
  ASSERT_FALSE(top.empty());
  const auto beach = found.find(top + "/Beach at noon.jpg - BEACHA~1.JPG");
  ASSERT_NE(beach, found.end());
  EXPECT_EQ(beach->second.bytes, photo);
  EXPECT_EQ(beach->second.origin, EntryOrigin::kLost);
  ASSERT_TRUE(beach->second.modified);
  EXPECT_EQ(beach->second.modified->stamp.year, 2021u);
  EXPECT_EQ(beach->second.modified->stamp.hour, 10u);
  const auto notesEntry = found.find(top + "/Notes about the trip.txt - NOTESA~1.TXT");
  ASSERT_NE(notesEntry, found.end());
  EXPECT_EQ(notesEntry->second.bytes, notes);
  const auto songEntry = found.find(top + "/Day two/SONG.BIN");
  ASSERT_NE(songEntry, found.end());
  EXPECT_EQ(songEntry->second.bytes, song);

  // The picture its folder gives back whole is not offered again by its content.
  EXPECT_EQ(CountWithBytes(found, photo), 1u);
  EXPECT_EQ(found.count("jpg"), 0u);
}

// A FAT16 card whose files lay in the root: formatting leaves no entry of them, so each comes
// back by its content alone, in its type's folder, byte-exact, a photo with the time it was
// taken; a file whose structure does not check is not offered.
TEST(LostAndFoundTest, FilesOfEveryKindComeBackByTheirContent) {
  TempDir dir;
  const std::string image = dir.path() + "/card.img";
  MtoolsVolume card(image);
  card.Format("-F 16 -s 4", 131072);
  const std::vector<CarveSample>& samples = CarveSamples();
  for (size_t i = 0; i < samples.size(); ++i) card.Write("/F" + std::to_string(i) + ".BIN", samples[i].bytes);
  const Bytes damaged = CarveSampleNamed("photo.jpg").damage(CarveSampleNamed("photo.jpg").bytes);
  card.Write("/DAMAGED.BIN", damaged);
  QuickFormat(image, "-F 16 -s 4");

  OpenSource source(image);
  ASSERT_EQ(source.partitions.size(), 1u);
  const std::map<std::string, Found> found = LostAndFoundOf(*source.partitions[0]);
  for (const CarveSample& sample : samples) {
    SCOPED_TRACE(sample.name);
    const std::string folder = TypeOf(sample.measured).extension;
    size_t inFolder = 0;
    for (const auto& [path, f] : found) {
      if (!f.folder && path.starts_with(folder + "/f") && f.bytes == sample.bytes) {
        ++inFolder;
        EXPECT_EQ(f.origin, EntryOrigin::kFound);
        if (sample.taken) {
          ASSERT_TRUE(f.modified);
          EXPECT_EQ(f.modified->stamp.year, sample.taken->year);
          EXPECT_EQ(f.modified->stamp.minute, sample.taken->minute);
        }
      }
    }
    EXPECT_EQ(inFolder, 1u);
  }
  EXPECT_EQ(CountWithBytes(found, damaged), 0u);
  for (const auto& [path, f] : found) {
    if (f.folder) continue;
    const size_t slash = path.rfind('/');
    // f<cluster of 7 digits>.<extension>
    EXPECT_EQ(path.substr(slash + 1, 1), "f") << path;
    EXPECT_EQ(path.find('.', slash), slash + 9) << path;
  }
}

// exFAT, written with exfat-fuse through a loop device, formatted with mkfs.exfat and written
// again: the folder comes back, the entries of its later cluster (exfat-fuse put it elsewhere,
// and its chain is gone) as a folder of their own, and the picture its lost parent held by its
// content.
TEST(LostAndFoundTest, FormattedExfatCardGivesBackItsFolderAndPicture) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root for a loop device";
  TempDir dir;
  const std::string image = dir.path() + "/card.img";
  const std::string mount = dir.path() + "/mnt";
  const Bytes photo = CarveSampleNamed("photo.jpg").bytes;
  const Bytes kept = PatternBytes(30000, 11);
  WriteFileBytes(dir.path() + "/photo.jpg", photo);
  WriteFileBytes(dir.path() + "/kept.bin", kept);
  const std::string d = ShellQuote(dir.path());
  RunCommand("set -e; cd " + d + "; mkdir mnt; truncate -s 64M card.img; mkfs.exfat -c 4K card.img >/dev/null;"
             " L=$(losetup -f --show card.img); trap 'losetup -d $L' EXIT; mount.exfat-fuse $L mnt;"
             " mkdir -p mnt/DCIM/Kept; cp photo.jpg mnt/DCIM/Beach.jpg; cp kept.bin 'mnt/DCIM/Kept/Kept data.bin';"
             " for i in $(seq 1 60); do echo $i > mnt/DCIM/Kept/note$i.txt; done;"
             " head -c 20000 /dev/zero > mnt/filler.bin; umount mnt; mkfs.exfat -c 4K $L >/dev/null;"
             " mount.exfat-fuse $L mnt; echo new > mnt/new.txt; umount mnt");
  OpenSource source(image);
  ASSERT_EQ(source.partitions.size(), 1u);
  const std::map<std::string, Found> found = LostAndFoundOf(*source.partitions[0]);
  size_t keptCount = 0;
  for (const auto& [path, f] : found) {
    if (!f.folder && f.bytes == kept) {
      ++keptCount;
      EXPECT_TRUE(path.ends_with("/Kept data.bin")) << path;
      EXPECT_EQ(f.origin, EntryOrigin::kLost);
    }
  }
  EXPECT_EQ(keptCount, 1u);
  EXPECT_EQ(CountWithBytes(found, photo), 1u);
  // Its entries fill more than one cluster; every file comes back once.
  for (int i = 1; i <= 60; ++i) {
    const std::string text = std::to_string(i) + "\n";
    EXPECT_EQ(CountWithBytes(found, Bytes(text.begin(), text.end())), 1u) << i;
  }
}

// A picture that mtools wrote around another file: A, B and C one after another, B deleted, then
// a JPEG longer than B, which fills B's clusters and goes on after C. Its bytes do not check over
// the clusters that follow its first; skipping C's clusters they do, whether C is still a live
// file or, after a quick format, a file found by its content itself.
TEST(LostAndFoundTest, PictureWrittenAroundAnotherFileComesBackFromItsRuns) {
  const Bytes first = CarveSampleNamed("picture.png").bytes;
  const Bytes middle = CarveSampleNamed("picture.bmp").bytes;
  const Bytes photo = CarveSampleNamed("photo.jpg").bytes;
  for (const bool formatted : {false, true}) {
    SCOPED_TRACE(formatted ? "quick-formatted" : "the file around which it lies still live");
    TempDir dir;
    const std::string image = dir.path() + "/card.img";
    MtoolsVolume card(image);
    card.Format("-F 16 -s 4", 32768);
    card.Write("/A.PNG", first);
    card.Write("/B.BIN", PatternBytes(5000, 3));
    card.Write("/C.BMP", middle);
    card.Delete("/B.BIN");
    card.Write("/X.JPG", photo);
    ASSERT_LT(photo.size(), 3 * 2048 + middle.size()) << "the photo must reach past C";
    if (formatted) {
      QuickFormat(image, "-F 16 -s 4");
    } else {
      // The photo's entry goes: deleted, then its slot taken by an empty file, which takes no
      // cluster; the photo's clusters are free, C's in use.
      card.Delete("/X.JPG");
      card.Write("/Y.TXT", {});
    }
    OpenSource source(image);
    ASSERT_EQ(source.partitions.size(), 1u);
    const std::map<std::string, Found> found = LostAndFoundOf(*source.partitions[0]);
    EXPECT_EQ(CountWithBytes(found, photo), 1u);
    size_t pictures = 0;
    for (const auto& [path, f] : found) pictures += !f.folder && path.starts_with("jpg/");
    EXPECT_EQ(pictures, 1u);  // and no second, shorter one
    EXPECT_EQ(CountWithBytes(found, middle), formatted ? 1u : 0u);
  }
}

// Small clusters are read a block at a time; a sector that cannot be read costs the cluster it
// lies in, not the block: the files before and after it, in the same block, still come back,
// and the one it lies in is not offered as whole.
TEST(LostAndFoundTest, UnreadableSectorCostsOneClusterOfTheBlock) {
  TempDir dir;
  const std::string image = dir.path() + "/card.img";
  MtoolsVolume card(image);
  card.Format("-F 16 -s 1", 16384);
  const Bytes photo = CarveSampleNamed("photo.jpg").bytes;
  const Bytes png = CarveSampleNamed("picture.png").bytes;
  const Bytes bmp = CarveSampleNamed("picture.bmp").bytes;
  card.Write("/A.JPG", photo);
  card.Write("/B.PNG", png);
  card.Write("/C.BMP", bmp);
  QuickFormat(image, "-F 16 -s 1");

  uint64_t badSector = 0;
  {
    OpenSource probe(image);
    ASSERT_EQ(probe.partitions.size(), 1u);
    const std::map<std::string, Found> found = LostAndFoundOf(*probe.partitions[0]);
    const auto it = std::find_if(found.begin(), found.end(), [](const auto& f) { return f.first.starts_with("png/"); });
    ASSERT_NE(it, found.end());
    const uint32_t first = static_cast<uint32_t>(std::stoul(it->first.substr(5, 7)));
    badSector = probe.partitions[0]->NewLostScan()->Heap().SectorOf(first + 20);
  }
  const auto fault = std::make_shared<FaultyRead>();
  fault->FailSector(badSector, 512);
  OpenSettings settings;
  settings.platformRead = ThroughFaultyRead(fault);
  OpenSource source(image, "512", settings);
  const std::map<std::string, Found> found = LostAndFoundOf(*source.partitions[0]);
  EXPECT_EQ(CountWithBytes(found, photo), 1u);
  EXPECT_EQ(CountWithBytes(found, bmp), 1u);
  EXPECT_EQ(CountWithBytes(found, png), 0u);
  const auto& lost = dynamic_cast<const LostAndFoundNode&>(*source.partitions[0]->lostAndFound);
  EXPECT_EQ(lost.totals().unreadableClusters, 1u);
}

// A volume whose every cluster opens a folder that names the next, and whose files claim
// lengths far past the volume's end: the scan and the walk of what it found end, and list a
// bounded number of folders.
TEST(LostAndFoundTest, VolumeOfFolderClustersStaysBounded) {
  TempDir dir;
  const std::string image = dir.path() + "/hostile.img";
  MtoolsVolume card(image);
  card.Format("-F 12 -s 1", 2048);
  OpenSource probe(image);
  ASSERT_EQ(probe.partitions.size(), 1u);
  const ClusterHeap heap = probe.partitions[0]->NewLostScan()->Heap();
  const uint64_t heapByte = heap.firstSector * heap.sourceSectorBytes;
  for (uint32_t cluster = 3; cluster < heap.count + 2; ++cluster) {
    Bytes slots(96, ' ');
    auto slot = [&](size_t at, const char* name, uint8_t attributes, uint32_t first, uint32_t size) {
      std::copy(name, name + 11, slots.begin() + at);
      slots[at + 11] = attributes;
      for (size_t i = 12; i < 32; ++i) slots[at + i] = 0;
      slots[at + 26] = static_cast<uint8_t>(first);
      slots[at + 27] = static_cast<uint8_t>(first >> 8);
      for (int i = 0; i < 4; ++i) slots[at + 28 + i] = static_cast<uint8_t>(size >> (8 * i));
    };
    slot(0, ".          ", 0x10, cluster, 0);
    slot(32, "..         ", 0x10, cluster - 1, 0);
    slot(64, "BIG     JPG", 0x20, cluster + 1, 0xFFFFFFF0u);
    PatchFile(image, heapByte + uint64_t{cluster - 2} * heap.clusterBytes, slots);
  }
  OpenSource source(image);
  const std::map<std::string, Found> found = LostAndFoundOf(*source.partitions[0], false);
  EXPECT_GE(found.size(), size_t{heap.count} / 2);
  EXPECT_LE(found.size(), 3 * size_t{heap.count});
}

}  // namespace
