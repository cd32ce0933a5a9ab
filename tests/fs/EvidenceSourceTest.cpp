// Evidence files opened as the front ends open them: EnCase images made with ewfacquire, split
// raw images made with split, VHD, VHDX, VMDK and qcow disks made with qemu-img convert, of the
// same FAT32 and exFAT volumes, show the raw image's tree and give its bytes. Damaged and
// incomplete ones say what is wrong and still give what they hold.

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "device/EvidenceMedia.h"
#include "support/EvidenceFiles.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/ScriptedFaults.h"
#include "support/TreeSnapshot.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

bool HaveEvidenceTools() { return HaveTool("ewfacquire") && HaveTool("qemu-img"); }

#define SKIP_WITHOUT_TOOLS() \
  if (!HaveEvidenceTools()) GTEST_SKIP() << "needs ewfacquire (ewf-tools) and qemu-img (qemu-utils)"

struct Volume {
  std::string name;
  std::string raw;
  std::string sectorSize;
  bool everyFormat;  // false: the main form of each format only, to keep the test quick
};

std::vector<Volume> Volumes() {
  return {{"FAT32", SharedFatImage(32).path, "512", false},
          {"exFAT", TestImagePath("exfat-tree.img"), "512", true},
          {"exFAT with 4 KiB sectors", TestImagePath("exfat-4k.img"), "4096", true}};
}

// One way of making an evidence file of a raw image: what the reader calls it, and the maker.
struct Format {
  std::string name;
  std::string description;  // the start of the medium's description
  std::function<std::string(const std::string& raw, const std::string& folder)> make;
  bool main = false;  // the form of the format examiners meet most
};

uint64_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

std::vector<Format> Formats() {
  return {
      {"E01", "EnCase image, 1 segment file", [](auto& raw, auto& dir) { return MakeEwf(raw, dir, "card"); }},
      {"E01 in segments", "EnCase image, ",
       [](auto& raw, auto& dir) { return MakeEwf(raw, dir, "card", std::max(kMiB, FileSize(raw) / 3), false); },
       true},
      {"split .001", "split raw image, 3 segments",
       [](auto& raw, auto& dir) { return MakeSplit(raw, dir, "card.", FileSize(raw) / 3 + 512, false).front(); },
       true},
      {"split xaa", "split raw image, 3 segments",
       [](auto& raw, auto& dir) { return MakeSplit(raw, dir, "x", FileSize(raw) / 3 + 512, true).front(); }},
      {"VHD", "VHD virtual disk", [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.vhd", "vpc"); },
       true},
      {"fixed VHD", "VHD virtual disk",
       [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.vhd", "vpc", "subformat=fixed"); }},
      {"VHDX", "VHDX virtual disk", [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.vhdx", "vhdx"); }},
      {"VMDK", "VMDK virtual disk", [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.vmdk", "vmdk"); },
       true},
      {"stream-optimised VMDK", "VMDK virtual disk",
       [](auto& raw, auto& dir) {
         return MakeVirtualDisk(raw, dir, "card.vmdk", "vmdk", "subformat=streamOptimized");
       }},
      {"VMDK descriptor and flat extent", "VMDK virtual disk",
       [](auto& raw, auto& dir) {
         return MakeVirtualDisk(raw, dir, "card.vmdk", "vmdk", "subformat=monolithicFlat");
       }},
      {"qcow2", "qcow2 virtual disk",
       [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.qcow2", "qcow2"); }, true},
      {"compressed qcow2", "qcow2 virtual disk",
       [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.qcow2", "qcow2", "", "-c"); }},
      {"qcow2 version 2", "qcow2 virtual disk",
       [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.qcow2", "qcow2", "compat=0.10"); }},
      {"qcow", "qcow virtual disk", [](auto& raw, auto& dir) { return MakeVirtualDisk(raw, dir, "card.qcow", "qcow"); }},
  };
}

TEST(EvidenceSource, EachFormatShowsTheTreeAndTheBytesOfTheRawImage) {
  SKIP_WITHOUT_TOOLS();
  for (const Volume& volume : Volumes()) {
    OpenSource raw(volume.raw, volume.sectorSize);
    const TreeSnapshot expected = SnapshotOf(raw.partitions, 0);
    ASSERT_FALSE(raw.partitions.empty()) << volume.name;
    for (const Format& format : Formats()) {
      if (!format.main && !volume.everyFormat) continue;
      SCOPED_TRACE(format.name + " of " + volume.name);
      TempDir dir;
      const std::string path = format.make(volume.raw, dir.path());
      OpenSource evidence(path, volume.sectorSize);
      ASSERT_NE(evidence.reader.medium(), nullptr);
      EXPECT_TRUE(evidence.reader.medium()->Description().starts_with(format.description))
          << evidence.reader.medium()->Description();
      EXPECT_TRUE(evidence.reader.medium()->Notes().empty());
      EXPECT_GE(evidence.reader.totalSectors(), raw.reader.totalSectors());
      ExpectSameTree(SnapshotOf(evidence.partitions, 0), expected);
    }
  }
}

// What a file holds decides how it is read, not what it is called.
TEST(EvidenceSource, FilesAreRecognisedByTheirContentNotTheirNames) {
  SKIP_WITHOUT_TOOLS();
  TempDir dir;
  const std::string raw = TestImagePath("exfat-tree.img");
  std::filesystem::rename(MakeEwf(raw, dir.path(), "card"), dir / "evidence.img");
  std::filesystem::rename(MakeVirtualDisk(raw, dir.path(), "disk.qcow2", "qcow2"), dir / "disk.bin");
  std::filesystem::copy_file(raw, dir / "plain.E01");
  const std::pair<std::string, std::string> cases[] = {
      {"evidence.img", "EnCase image"}, {"disk.bin", "qcow2 virtual disk"}, {"plain.E01", "image file"}};
  OpenSource expected(raw);
  for (const auto& [name, description] : cases) {
    SCOPED_TRACE(name);
    OpenSource source(dir / name);
    EXPECT_TRUE(source.reader.medium()->Description().starts_with(description));
    ExpectSameTree(SnapshotOf(source.partitions, 0), SnapshotOf(expected.partitions, 0));
  }
}

// Settings whose faults are answered Ignore and noted.
struct IgnoringFaults {
  IgnoringFaults() {
    faults.readErrorAnswer = FaultAnswer::kIgnore;
    settings.faultPolicy = &faults;
    settings.faultLog = &faults.log;
  }
  ScriptedFaults faults;
  OpenSettings settings;
};

// Every sector of the source as the reader gives it.
Bytes AllSectors(TSectorReader& reader) {
  Bytes bytes(size_t{reader.totalSectors()} * reader.bytesPerSector());
  reader.ReadAt(0, 0, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return bytes;
}

std::string AllNotes(const OpenSource& source) {
  std::string text;
  for (const std::string& note : source.reader.medium()->Notes()) text += note + "\n";
  return text;
}

// An EnCase set of stored (uncompressed) 1 MiB segment files of the exFAT volume.
struct SegmentedSet {
  TempDir dir;
  std::string raw = TestImagePath("exfat-tree.img");
  std::string first = MakeEwf(raw, dir.path(), "seg", kMiB, false);
  std::vector<std::string> Segments() const {
    std::vector<std::string> names;
    for (const std::string& name : FolderContents(dir.path())) names.push_back(dir / name);
    return names;
  }
};

// The sectors the first note of libewf's checksum errors names: {first, last}.
std::pair<uint64_t, uint64_t> NamedSectors(const std::string& notes) {
  const std::string marker = "for sectors ";
  const size_t at = notes.find(marker);
  if (at == std::string::npos) return {0, 0};
  size_t used = 0;
  const uint64_t first = std::stoull(notes.substr(at + marker.size()), &used);
  const uint64_t last = std::stoull(notes.substr(at + marker.size() + used + 4));  // " to "
  return {first, last};
}

// The first byte at which got differs from the raw image: from there on, got must be zeros,
// what libewf gives for the media data it does not have.
size_t FirstDifference(const Bytes& got, const Bytes& raw) {
  const auto [at, unused] = std::mismatch(got.begin(), got.end(), raw.begin(), raw.end());
  return static_cast<size_t>(at - got.begin());
}

TEST(EvidenceSource, AnEnCaseSetWithASegmentMissingNamesItAndReadsWhatItHolds) {
  SKIP_WITHOUT_TOOLS();
  SegmentedSet set;
  const std::vector<std::string> segments = set.Segments();
  ASSERT_GE(segments.size(), 4u);
  std::filesystem::remove(set.dir / "seg.E03");
  IgnoringFaults ignoring;
  const ScriptedFaults& faults = ignoring.faults;
  OpenSource source(set.first, "512", ignoring.settings);
  const std::string notes = AllNotes(source);
  EXPECT_NE(notes.find("its segment file \"seg.E03\" is missing (\"seg.E04\" is there)"), std::string::npos) << notes;

  const Bytes raw = ReadFileBytes(set.raw);
  const Bytes got = AllSectors(source.reader);
  ASSERT_EQ(got.size(), raw.size());
  const size_t first = FirstDifference(got, raw);
  EXPECT_GE(first, 3 * kMiB / 2);  // the two segment files before the gap are read
  EXPECT_LT(first, got.size());
  EXPECT_TRUE(std::all_of(got.begin() + static_cast<ptrdiff_t>(first), got.end(), [](uint8_t b) { return b == 0; }));
  // What libewf refuses to read again is a read fault in its words.
  for (const std::string& shown : faults.shown) EXPECT_NE(shown.find(":\nlibewf: "), std::string::npos) << shown;
  // And libewf's account of what it could not give is passed on, from the first sector it
  // lacks.
  const auto [named, last] = NamedSectors(AllNotes(source));
  EXPECT_LE(named * 512, first) << AllNotes(source);
  EXPECT_GT((last + 1) * 512, first) << AllNotes(source);
}

TEST(EvidenceSource, AnEnCaseSetThatEndsTooSoonOrIsCutShortSaysSo) {
  SKIP_WITHOUT_TOOLS();
  {
    SegmentedSet set;
    const std::vector<std::string> segments = set.Segments();
    std::filesystem::remove(segments.back());
    const std::string last = std::filesystem::path(segments[segments.size() - 2]).filename();
    OpenSource source(set.first);
    EXPECT_NE(AllNotes(source).find("is damaged or incomplete: a segment file after \"" + last + "\" is missing"),
              std::string::npos)
        << AllNotes(source);
    EXPECT_FALSE(source.partitions.empty());
  }
  {
    TempDir dir;
    const std::string path = MakeEwf(TestImagePath("exfat-tree.img"), dir.path(), "card");
    std::filesystem::resize_file(path, FileSize(path) / 2);
    IgnoringFaults ignoring;
    const ScriptedFaults& faults = ignoring.faults;
    OpenSource source(path, "512", ignoring.settings);
    EXPECT_NE(AllNotes(source).find("The EnCase image \"card.E01\" is damaged or incomplete: a segment file after "
                                    "\"card.E01\" is missing, or \"card.E01\" was cut short."),
              std::string::npos)
        << AllNotes(source);
    AllSectors(source.reader);
    // What libewf cannot read is a read fault in its words.
    for (const std::string& shown : faults.shown) EXPECT_NE(shown.find("libewf: "), std::string::npos) << shown;
  }
}

// A chunk whose data no longer matches its checksum: the sectors are named, and the other
// chunks are read as they were.
TEST(EvidenceSource, AChunkThatFailsItsChecksumIsNamed) {
  SKIP_WITHOUT_TOOLS();
  TempDir dir;
  const std::string rawPath = TestImagePath("exfat-tree.img");
  const std::string path = MakeEwf(rawPath, dir.path(), "card", 0, false);
  PatchFile(path, FileSize(path) / 2, Bytes(16, 0x5A));
  OpenSource source(path);
  const Bytes raw = ReadFileBytes(rawPath);
  Bytes got = AllSectors(source.reader);
  const auto [first, last] = NamedSectors(AllNotes(source));
  ASSERT_EQ(last - first + 1, 64u) << AllNotes(source);  // one of ewfacquire's chunks of 64 sectors
  // Apart from that chunk, every byte is the raw image's.
  std::copy(raw.begin() + static_cast<ptrdiff_t>(first * 512), raw.begin() + static_cast<ptrdiff_t>((last + 1) * 512),
            got.begin() + static_cast<ptrdiff_t>(first * 512));
  EXPECT_TRUE(got == raw);
}

TEST(EvidenceSource, ASplitImageWithASegmentMissingNamesIt) {
  SKIP_WITHOUT_TOOLS();
  for (const size_t missing : {1, 2}) {  // the second (only the first is left before the gap), the third
    TempDir dir;
    const std::string raw = TestImagePath("exfat-tree.img");
    const std::vector<std::string> segments = MakeSplit(raw, dir.path(), "card.", kMiB, false);
    ASSERT_EQ(segments.size(), 4u);
    std::filesystem::remove(segments[missing]);
    OpenSource source(segments.front());
    const std::string name = std::filesystem::path(segments[missing]).filename();
    const std::string next = std::filesystem::path(segments[missing + 1]).filename();
    EXPECT_NE(AllNotes(source).find("its segment \"" + name + "\" is missing (\"" + next + "\" is there)"),
              std::string::npos)
        << AllNotes(source);
    EXPECT_EQ(uint64_t{source.reader.totalSectors()} * 512, missing * kMiB);
  }
}

// A read that the library fails is a read fault like any other, in the library's words, and
// is answered as the policy says.
TEST(EvidenceSource, AReadTheLibraryFailsIsAReadFaultInItsWords) {
  SKIP_WITHOUT_TOOLS();
  TempDir dir;
  const std::string raw = SharedFatImage(32).path;
  const std::string path = MakeVirtualDisk(raw, dir.path(), "card.qcow2", "qcow2");
  std::filesystem::resize_file(path, FileSize(path) * 2 / 3);
  IgnoringFaults ignoring;
  const ScriptedFaults& faults = ignoring.faults;
  OpenSource source(path, "512", ignoring.settings);
  const Bytes got = AllSectors(source.reader);
  ASSERT_FALSE(faults.shown.empty());
  EXPECT_TRUE(faults.shown.front().starts_with("Read failed at sector ")) << faults.shown.front();
  EXPECT_NE(faults.shown.front().find(":\nlibqcow: "), std::string::npos) << faults.shown.front();
  // The sectors it could not read are zeros; those it could are the raw image's.
  Bytes expected = ReadFileBytes(raw);
  for (const FaultLog::Entry& entry : faults.log.Entries()) {
    std::fill_n(expected.begin() + static_cast<ptrdiff_t>(entry.fault.sector * 512), 512, 0);
  }
  EXPECT_TRUE(got == expected);
}

TEST(EvidenceSource, AnEvidenceFileThatCannotBeReadIsRefusedWithItsReason) {
  SKIP_WITHOUT_TOOLS();
  TempDir dir;
  const std::string raw = TestImagePath("exfat-tree.img");
  const std::string vhd = MakeVirtualDisk(raw, dir.path(), "cut.vhd", "vpc");
  std::filesystem::resize_file(vhd, FileSize(vhd) / 2);  // the footer at its end is gone
  RunCommand("qemu-img create -q -f qcow2 -F raw -b " + ShellQuote(raw) + " " + ShellQuote(dir / "child.qcow2"));
  WriteFileBytes(dir / "files.L01", Bytes{'L', 'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00, 1, 0, 0, 0, 0});
  const std::pair<std::string, std::string> cases[] = {
      {"cut.vhd", "The VHD virtual disk \"cut.vhd\" cannot be read: libvhdi: "},
      {"child.qcow2", "cannot be read: it holds only the changes to its backing file."},
      {"files.L01", "\"files.L01\" is EnCase logical evidence (L01)"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    SourceChoice choice = SourceFromPath(dir / name, "512");
    OpenFailure failure;
    EXPECT_EQ(OpenedSource::Open(choice, {}, failure), nullptr);
    EXPECT_EQ(failure.kind, OpenFailure::Kind::kSystemError);
    EXPECT_TRUE(failure.text.starts_with("Failed to open the file for reading:\n")) << failure.text;
    EXPECT_NE(failure.text.find(text), std::string::npos) << failure.text;
  }
}

// libewf's handles may not be read from two threads at once: the medium takes turns, so a
// thread browsing and one saving both get the right bytes.
TEST(EvidenceSource, TwoThreadsReadAnEnCaseImageAtOnce) {
  SKIP_WITHOUT_TOOLS();
  TempDir dir;
  const std::string raw = TestImagePath("exfat-tree.img");
  OpenSource source(MakeEwf(raw, dir.path(), "card"));
  const Bytes expected = ReadFileBytes(raw);
  std::vector<Bytes> got(2);
  const auto work = [&](size_t which) {
    FixedFaultPolicy policy(FaultAnswer::kAbort);
    FaultLog log;
    ReadSession session(source.reader, policy, log);
    for (int round = 0; round < 4; ++round) got[which] = AllSectors(source.reader);
  };
  std::thread one(work, 0);
  std::thread two(work, 1);
  one.join();
  two.join();
  EXPECT_TRUE(got[0] == expected);
  EXPECT_TRUE(got[1] == expected);
}

TEST(SegmentNames, CountOnAsTheImagersNameThem) {
  const std::pair<const char*, const char*> ewf[] = {
      {"card.E01", "card.E02"}, {"card.E09", "card.E10"}, {"card.E99", "card.EAA"}, {"card.EAZ", "card.EBA"},
      {"card.EZZ", "card.FAA"}, {"dir.x/card.e01", "dir.x/card.e02"}, {"card.Ex01", "card.Ex02"},
      {"card.Ex99", "card.ExAA"}, {"card.ZZZ", ""}, {"card", ""}, {"card.E1", ""}, {"card.E0A", ""},
  };
  for (const auto& [name, next] : ewf) EXPECT_EQ(NextEwfSegmentName(name), next) << name;
  const std::pair<const char*, const char*> raw[] = {
      {"card.001", "card.002"}, {"card.099", "card.100"}, {"card.000", "card.001"}, {"x00", "x01"},
      {"xaa", "xab"},           {"xaz", "xba"},           {"dir/card.img.ab", "dir/card.img.ac"},
      {"card.999", ""},         {"card.1", ""},           {"card.a", ""}, {"dir.01/CARD", ""},
  };
  for (const auto& [name, next] : raw) EXPECT_EQ(NextRawSegmentName(name), next) << name;
}

TEST(EvidenceSource, RecognitionLooksAtTheFirstAndTheLastBytes) {
  const std::string zeros(512, '\0');
  const std::pair<std::string, EvidenceFormat> cases[] = {
      {std::string("EVF\x09\x0d\x0a\xff\x00\x01", 9), EvidenceFormat::kEwf},
      {std::string("EVF2\x0d\x0a\x81\x00", 8), EvidenceFormat::kEwf},
      {std::string("LVF\x09\x0d\x0a\xff\x00", 8), EvidenceFormat::kEwfLogical},
      {"vhdxfile", EvidenceFormat::kVhd},
      {"KDMV", EvidenceFormat::kVmdk},
      {"# Disk DescriptorFile\n", EvidenceFormat::kVmdk},
      {std::string("QFI\xfb\0\0\0\3", 8), EvidenceFormat::kQcow},
      {std::string("EVF\x09", 4), EvidenceFormat::kNone},
      {zeros, EvidenceFormat::kNone},
  };
  for (const auto& [head, format] : cases) EXPECT_EQ(RecogniseEvidence(head, zeros), format) << head;
  EXPECT_EQ(RecogniseEvidence(zeros, "conectix" + zeros.substr(8)), EvidenceFormat::kVhd);  // a fixed VHD's footer
}

// A block device handed over already open (as UDisks2 hands one over) is read like one the
// reader opened; a descriptor that is no block device is refused and closed.
TEST(EvidenceSource, ADescriptorIsOpenedAsADevice) {
  TempDir dir;
  WriteFileBytes(dir / "file", Bytes(4096, 1));
  const int fd = ::open((dir / "file").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  TSectorReader reader;
  EXPECT_FALSE(reader.OpenDeviceDescriptor(fd));
  EXPECT_EQ(reader.openFailure().text, "Error while getting information about the drive:\nBlock device required");
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // closed

  if (::geteuid() != 0) GTEST_SKIP() << "a loop device needs root";
  const std::string image = TestImagePath("exfat-tree.img");
  std::string loop = RunCommand("losetup -f --show --read-only " + ShellQuote(image) + " 2>/dev/null || true");
  loop.erase(loop.find_last_not_of('\n') + 1);
  if (loop.empty()) GTEST_SKIP() << "no loop device here";
  const int device = ::open(loop.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_TRUE(reader.OpenDeviceDescriptor(device));
  reader.PrepareBuffer();
  Bytes got(8192);
  EXPECT_TRUE(reader.ReadAt(0, 0, got.data(), static_cast<uint32_t>(got.size())));
  EXPECT_EQ(got, ReadFileRange(image, 0, got.size()));
  reader.Close();
  RunCommand("losetup -d " + loop);
}

}  // namespace
