#include "browser/BrowserFrame.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "browser/ImageIndex.h"
#include "support/ScriptedMessageBox.h"
#include "support/ScriptedServices.h"
#include "support/TestFiles.h"

namespace {

// A view that keeps what it was told, and the tree as a map of nodes.
class RecordingView final : public BrowserView {
 public:
  struct Node {
    TreeNodeId parent = kNoNode;
    std::string caption;
    int image = kNoImage;
    bool expanded = false;
    std::vector<TreeNodeId> children;
  };

  std::map<TreeNodeId, Node> tree;
  std::vector<TreeNodeId> topLevel;
  TreeNodeId selected = kNoNode;
  int treeDepth = 0;
  int infoDepth = 0;
  int addedOutsideBracket = 0;
  RecordingInfoList info;
  int infoClears = 0;
  int setUps = 0;
  int timerStops = 0;
  std::string hex = "(untouched)";
  std::string previewText = "(untouched)";
  bool previewTextVisible = false;
  bool scrollImageVisible = false;
  bool pictureDecodes = true;  // what LoadPicture answers
  std::vector<size_t> picturesLoaded;  // the byte count of each LoadPicture
  PictureSize previewSize;

  void BeginTreeUpdate() override { ++treeDepth; }
  void EndTreeUpdate() override { --treeDepth; }
  void ClearTree() override {
    tree.clear();
    topLevel.clear();
  }
  void AddTreeNode(TreeNodeId node, TreeNodeId parent, const std::string& caption, int image) override {
    if (treeDepth == 0) ++addedOutsideBracket;
    tree[node] = Node{parent, caption, image, false, {}};
    (parent == kNoNode ? topLevel : tree.at(parent).children).push_back(node);
  }
  void ExpandTreeNode(TreeNodeId node) override { tree.at(node).expanded = true; }
  TreeNodeId SelectedTreeNode() const override { return selected; }
  void BeginInfoUpdate() override { ++infoDepth; }
  void EndInfoUpdate() override { --infoDepth; }
  void ClearInfo() override {
    ++infoClears;
    info.rows.clear();
  }
  TInfoList& InfoList() override { return info; }
  void SetUpInfoList() override { ++setUps; }
  void StopSetUpTimer() override { ++timerStops; }
  void SetHexText(const std::string& text) override { hex = text; }
  void SetPreviewText(const std::string& text) override { previewText = text; }
  void ShowPreviewText(bool visible) override { previewTextVisible = visible; }
  void ShowScrollImage(bool visible) override { scrollImageVisible = visible; }
  bool LoadPicture(PictureFormat, const uint8_t*, size_t size) override {
    picturesLoaded.push_back(size);
    return pictureDecodes;
  }
  PictureSize PreviewSize() const override { return previewSize; }
  void SetPreviewSize(PictureSize size) override { previewSize = size; }

  // The node whose caption is given (the first one, in node order).
  TreeNodeId Find(const std::string& caption) const {
    for (const auto& [id, node] : tree) {
      if (node.caption == caption) return id;
    }
    ADD_FAILURE() << "no node " << caption;
    return kNoNode;
  }
  std::vector<std::string> CaptionsBelow(TreeNodeId parent) const {
    std::vector<std::string> captions;
    for (TreeNodeId child : parent == kNoNode ? topLevel : tree.at(parent).children) {
      captions.push_back(tree.at(child).caption);
    }
    return captions;
  }
};

// An entry whose children, data and rows the test sets; it counts what the frame asks of it.
class FakeEntry final : public TDirectoryEntry {
 public:
  FakeEntry(std::string entryName, int32_t entryState, Bytes content = {})
      : TDirectoryEntry(nullptr), content_(std::move(content)) {
    name = std::move(entryName);
    state = entryState;
    size = static_cast<uint32_t>(content_.size());
  }

  // Children that ReadChildren makes, each time anew.
  std::vector<std::pair<std::string, int32_t>> childrenOnDisk;
  int readChildrenCalls = 0;
  std::vector<uint32_t> dataAsked;
  bool throwOnData = false;

  void ReadChildren() override {
    ++readChildrenCalls;
    children.clear();
    for (const auto& [childName, childState] : childrenOnDisk) {
      AdoptChild(std::make_unique<FakeEntry>(childName, childState));
    }
  }
  ByteBuffer GetData(uint32_t& count) override {
    dataAsked.push_back(count);
    if (throwOnData) throw std::runtime_error("cannot read");
    const size_t n = count == 0 ? content_.size() : std::min<size_t>(count, content_.size());
    count = static_cast<uint32_t>(n);
    if (n == 0) return ByteBuffer();
    MemoryStream stream;
    stream.Append(content_.data(), n);
    return stream.Release();
  }
  void FillInfo(TInfoList& list) override {
    BeginBasicInformation(list);
    AddBasicRow(list, "Name", name);
  }

 private:
  Bytes content_;
};

class FakePartition final : public TPartition {
 public:
  FakePartition(std::string description, std::unique_ptr<TDirectoryEntry> root)
      : TPartition(nullptr, PartitionEntry{}), description_(std::move(description)) {
    rootEntry = std::move(root);
  }
  std::string GetDescription() const override { return description_; }

 private:
  std::string description_;
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct FrameFixture : ::testing::Test {
  // Two partitions: "P1" with a root holding DOCS (which holds A.TXT), EMPTY, NOTE.TXT,
  // _ONE.TXT (deleted) and ODD (an unknown state); "P2" with a root holding B.TXT.
  FrameFixture() {
    auto root1 = std::make_unique<FakeEntry>("\\", kStateDirectory);
    root1->childrenOnDisk = {{"DOCS", kStateDirectory}, {"EMPTY", kStateDirectory}, {"NOTE.TXT", kStateFile},
                             {"_ONE.TXT", kStateDeleted}, {"ODD", 7}};
    root1->ReadChildren();
    root1->readChildrenCalls = 0;
    AsFake(*root1->children[0]).childrenOnDisk = {{"A.TXT", kStateFile}};
    auto root2 = std::make_unique<FakeEntry>("\\", kStateDirectory);
    root2->childrenOnDisk = {{"B.TXT", kStateFile}};
    root2->ReadChildren();
    frame.partitions.push_back(std::make_unique<FakePartition>("P1", std::move(root1)));
    frame.partitions.push_back(std::make_unique<FakePartition>("P2", std::move(root2)));
    frame.FillTree();
  }

  static FakeEntry& AsFake(TDirectoryEntry& entry) { return static_cast<FakeEntry&>(entry); }
  FakeEntry& Root(size_t partition) { return AsFake(*frame.partitions[partition]->rootEntry); }
  FakeEntry& Child(FakeEntry& parent, size_t index) { return AsFake(*parent.children[index]); }

  void Select(const std::string& caption) {
    view.selected = view.Find(caption);
    frame.treeFatChange();
  }

  RecordingView view;
  BrowserFrame frame{view};
  CountingWaitCursor cursor;
  ScriptedMessageBox boxes;
};

TEST_F(FrameFixture, EveryPartitionIsATopLevelNodeWithItsRootBelow) {
  EXPECT_EQ(view.CaptionsBelow(kNoNode), (std::vector<std::string>{"P1", "P2"}));
  for (const TreeNodeId partition : view.topLevel) {
    const RecordingView::Node& node = view.tree.at(partition);
    EXPECT_EQ(node.image, kImgPartition);
    EXPECT_TRUE(node.expanded);
    ASSERT_EQ(node.children.size(), 1u);
    const RecordingView::Node& root = view.tree.at(node.children[0]);
    EXPECT_EQ(root.caption, "\\");
    EXPECT_EQ(root.image, kImgDirectory);
    EXPECT_TRUE(root.children.empty());  // the root's children appear when it is selected
  }
  EXPECT_EQ(view.addedOutsideBracket, 0);
  EXPECT_EQ(view.treeDepth, 0);

  // A partition without a root directory has no child node; filling again starts afresh.
  frame.partitions.push_back(std::make_unique<FakePartition>("P3", nullptr));
  frame.FillTree();
  EXPECT_EQ(view.CaptionsBelow(kNoNode), (std::vector<std::string>{"P1", "P2", "P3"}));
  EXPECT_TRUE(view.tree.at(view.topLevel[2]).children.empty());
  EXPECT_EQ(view.tree.size(), 5u);
}

TEST_F(FrameFixture, SelectingADirectoryShowsItsChildrenWithTheIconOfTheirState) {
  const TreeNodeId root = view.tree.at(view.topLevel[0]).children[0];
  view.selected = root;
  frame.treeFatChange();
  EXPECT_EQ(view.CaptionsBelow(root), (std::vector<std::string>{"DOCS", "EMPTY", "NOTE.TXT", "_ONE.TXT", "ODD"}));
  std::vector<int> images;
  for (TreeNodeId child : view.tree.at(root).children) images.push_back(view.tree.at(child).image);
  EXPECT_EQ(images, (std::vector<int>{kImgDirectory, kImgDirectory, kImgFile, kImgDeleted, kNoImage}));
  EXPECT_TRUE(view.tree.at(root).expanded);
  EXPECT_EQ(view.addedOutsideBracket, 0);
  EXPECT_EQ(Root(0).readChildrenCalls, 0);  // it had read its children when it was made
  EXPECT_EQ(frame.lastShownIndex, 1);
  EXPECT_EQ(view.info.rows.size(), 1u);
  EXPECT_EQ(view.infoDepth, 0);
  EXPECT_EQ(view.treeDepth, 0);
  EXPECT_EQ(cursor.shown, 1);
  EXPECT_EQ(cursor.depth, 0);
}

TEST_F(FrameFixture, DirectoriesAreReadOnlyWhileTheyHaveNoChildren) {
  Select("\\");
  FakeEntry& docs = Child(Root(0), 0);
  FakeEntry& empty = Child(Root(0), 1);
  for (int i = 0; i < 3; ++i) {
    Select("EMPTY");
    Select("DOCS");
  }
  EXPECT_EQ(empty.readChildrenCalls, 3);
  EXPECT_TRUE(view.tree.at(view.Find("EMPTY")).children.empty());
  EXPECT_EQ(docs.readChildrenCalls, 1);
  EXPECT_EQ(view.CaptionsBelow(view.Find("DOCS")), std::vector<std::string>{"A.TXT"});
  EXPECT_EQ(Root(0).readChildrenCalls, 0);
}

TEST_F(FrameFixture, OnlyANewEntryNodeChangesThePanes) {
  Select("\\");
  const RecordingInfoList shown = view.info;
  const int clears = view.infoClears;
  const std::string hex = view.hex;

  // A partition node, no node, and the node already shown leave everything as it was.
  Select("P2");
  view.selected = kNoNode;
  frame.treeFatChange();
  Select("\\");
  EXPECT_EQ(view.infoClears, clears);
  EXPECT_EQ(view.hex, hex);
  EXPECT_EQ(view.info.rows.size(), shown.rows.size());
  EXPECT_EQ(Root(0).dataAsked.size(), 1u);
  EXPECT_EQ(cursor.shown, 1);
  EXPECT_EQ(frame.lastShownIndex, 1);
}

TEST_F(FrameFixture, TheShownIndexCountsEveryNodeAboveInDisplayOrder) {
  Select("\\");
  Select("DOCS");  // index 2; A.TXT becomes 3, EMPTY 4, NOTE.TXT 5 ...
  EXPECT_EQ(frame.lastShownIndex, 2);
  Select("NOTE.TXT");
  EXPECT_EQ(frame.lastShownIndex, 5);
  // The second partition's root: P1, its root, five children, A.TXT, then P2.
  view.selected = view.tree.at(view.topLevel[1]).children[0];
  frame.treeFatChange();
  EXPECT_EQ(frame.lastShownIndex, 9);
}

TEST_F(FrameFixture, AfterClearingTheNodeAtTheSamePlaceIsShownAgain) {
  Select("\\");
  EXPECT_EQ(frame.lastShownIndex, 1);
  const int shownBefore = cursor.shown;
  frame.ClearPartitions();
  EXPECT_TRUE(frame.partitions.empty());
  EXPECT_TRUE(view.tree.empty());
  EXPECT_EQ(frame.lastShownIndex, -1);
  EXPECT_EQ(cursor.shown, shownBefore + 1);
  EXPECT_EQ(view.treeDepth, 0);
  EXPECT_EQ(view.info.rows.size(), 1u);  // the panes keep what they show

  auto root = std::make_unique<FakeEntry>("\\", kStateDirectory, Text("other"));
  frame.partitions.push_back(std::make_unique<FakePartition>("Q1", std::move(root)));
  frame.FillTree();
  Select("\\");
  EXPECT_EQ(frame.lastShownIndex, 1);
  EXPECT_EQ(Root(0).dataAsked.size(), 1u);
  EXPECT_EQ(view.previewText, "other");
}

TEST_F(FrameFixture, TheSetUpRunsOnTheFirstTickOnly) {
  EXPECT_TRUE(frame.firstTickPending);
  for (int i = 0; i < 3; ++i) frame.timerUpdateScanTimer();
  EXPECT_FALSE(frame.firstTickPending);
  EXPECT_EQ(view.setUps, 1);
  EXPECT_EQ(view.timerStops, 1);
}

TEST_F(FrameFixture, AFailingEntryLeavesTheCursorAndTheBracketsClosed) {
  Select("\\");
  Child(Root(0), 2).throwOnData = true;
  EXPECT_THROW(Select("NOTE.TXT"), std::runtime_error);
  EXPECT_EQ(cursor.depth, 0);
  EXPECT_EQ(view.treeDepth, 0);
  EXPECT_EQ(view.infoDepth, 0);
}

struct FramePreviewFixture : FrameFixture {
  // Shows a file with the given bytes, the root entry of a partition of its own.
  FakeEntry& Show(const Bytes& content) {
    auto entry = std::make_unique<FakeEntry>("SHOWN", kStateFile, content);
    FakeEntry& shown = *entry;
    frame.partitions.push_back(std::make_unique<FakePartition>("P", std::move(entry)));
    frame.FillTree();
    view.selected = view.tree.at(view.topLevel.back()).children[0];
    frame.treeFatChange();
    return shown;
  }
};

TEST_F(FramePreviewFixture, TheDataDecidesBetweenPictureTextAndNothing) {
  // Text: the dump and the whole text, read once.
  FakeEntry& text = Show(Text("0123456789"));
  EXPECT_EQ(text.dataAsked, std::vector<uint32_t>{kDumpSize});
  EXPECT_EQ(view.hex, "0000    30 31 32 33 34 35 36 37 38 39     0123456789\r\n");
  EXPECT_EQ(view.previewText, "0123456789");
  EXPECT_TRUE(view.previewTextVisible);
  EXPECT_FALSE(view.scrollImageVisible);

  // A picture: read again, whole, and shown when it decodes.
  Bytes png = Text("\x89PNG and more");
  png.resize(20000, 'p');
  FakeEntry& picture = Show(png);
  EXPECT_EQ(picture.dataAsked, (std::vector<uint32_t>{kDumpSize, kPictureSize}));
  EXPECT_EQ(view.picturesLoaded.back(), 20000u);
  EXPECT_TRUE(view.scrollImageVisible);
  EXPECT_FALSE(view.previewTextVisible);

  // ... or says why not.
  view.pictureDecodes = false;
  Show(png);
  EXPECT_EQ(view.previewText, kCannotPreviewText);
  EXPECT_TRUE(view.previewTextVisible);
  EXPECT_FALSE(view.scrollImageVisible);

  // Nothing delivered: an empty dump, and neither control.
  Show(Bytes{});
  EXPECT_EQ(view.hex, "");
  EXPECT_FALSE(view.previewTextVisible);
  EXPECT_FALSE(view.scrollImageVisible);
}

TEST_F(FrameFixture, ZoomScalesThePictureAndTruncates) {
  view.previewSize = {100, 75};
  frame.btnZoomInClick();
  EXPECT_EQ(view.previewSize.width, 150);
  EXPECT_EQ(view.previewSize.height, 112);
  frame.btnZoomOutClick();
  EXPECT_EQ(view.previewSize.width, 99);
  EXPECT_EQ(view.previewSize.height, 74);

  view.previewSize = {1, 1};
  frame.btnZoomOutClick();
  frame.btnZoomInClick();
  EXPECT_EQ(view.previewSize.width, 0);
  EXPECT_EQ(view.previewSize.height, 0);

  // However often it is zoomed in, a side stays a valid int.
  view.previewSize = {0x40000000, 3};
  frame.btnZoomInClick();
  frame.btnZoomInClick();
  EXPECT_EQ(view.previewSize.width, std::numeric_limits<int>::max());
  EXPECT_EQ(view.previewSize.height, 6);
}

struct FrameSaveFixture : FrameFixture {
  ScriptedFolderDialog dialog;
  TempDir dir;
};

TEST_F(FrameSaveFixture, SavingAsksForAFolderAndWritesTheEntryThere) {
  // Nothing selected, or a partition node: no dialog.
  frame.btnSaveClick();
  view.selected = view.topLevel[0];
  frame.btnSaveClick();
  EXPECT_TRUE(dialog.prompts.empty());

  frame.partitions.push_back(std::make_unique<FakePartition>(
      "P3", std::make_unique<FakeEntry>("LETTER.TXT", kStateDeleted, Text("Dear reader"))));
  frame.FillTree();
  Select("LETTER.TXT");

  // Cancelled: nothing is written.
  frame.btnSaveClick();
  EXPECT_EQ(dialog.prompts, std::vector<std::string>{kSaveFolderPrompt});
  EXPECT_FALSE(FileExists(dir / "LETTER.TXT"));
  const int cursorsBefore = cursor.shown;

  dialog.answers = {dir.path()};
  frame.btnSaveClick();
  EXPECT_EQ(ReadFileBytes(dir / "LETTER.TXT"), Text("Dear reader"));
  EXPECT_EQ(cursor.shown, cursorsBefore + 1);
  EXPECT_EQ(cursor.depth, 0);
  EXPECT_TRUE(boxes.shown.empty());
}

// The one-file save ends silently only when the file is whole: a file that came out short is
// saved and said so in a box, and one none of whose data can be had is not saved, as an empty
// file would pass for a recovered one.
TEST_F(FrameSaveFixture, AFileThatComesOutShortIsSaidSoAndOneWithoutDataIsNotSaved) {
  auto part = std::make_unique<FakeEntry>("PART.BIN", kStateDeleted, Text("half"));
  part->size = 8;
  auto gone = std::make_unique<FakeEntry>("GONE.BIN", kStateDeleted);
  gone->size = 8;
  frame.partitions.push_back(std::make_unique<FakePartition>("P3", std::move(part)));
  frame.partitions.push_back(std::make_unique<FakePartition>("P4", std::move(gone)));
  frame.FillTree();

  Select("PART.BIN");
  dialog.answers = {dir.path()};
  frame.btnSaveClick();
  EXPECT_EQ(ReadFileBytes(dir / "PART.BIN"), Text("half"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "The file \"" + dir / "PART.BIN" +
                                     "\" was saved, but it is incomplete:\nshort: 4 of 8 bytes (its chain ends before "
                                     "its size does).");
  EXPECT_EQ(boxes.shown[0].caption, kApplicationTitle);
  EXPECT_EQ(boxes.shown[0].flags, kMbOkWarning);

  Select("GONE.BIN");
  dialog.answers = {dir.path()};
  frame.btnSaveClick();
  EXPECT_FALSE(FileExists(dir / "GONE.BIN"));
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].text, "The file \"" + dir / "GONE.BIN" +
                                     "\" could not be saved:\nNone of its data can be read: its chain ends before its "
                                     "size does.");
  EXPECT_EQ(boxes.shown[1].caption, kErrorCaption);
}

TEST_F(FrameSaveFixture, ASaveReportsItsProgressAndCancelLeavesNothing) {
  const std::vector<uint8_t> bytes(3 << 20, 0x5A);
  frame.partitions.push_back(
      std::make_unique<FakePartition>("P3", std::make_unique<FakeEntry>("BIG.BIN", kStateFile, bytes)));
  frame.FillTree();
  Select("BIG.BIN");
  RecordingProgress progress;

  dialog.answers = {dir.path()};
  frame.btnSaveClick();
  EXPECT_EQ(progress.labels, std::vector<std::string>{"Saving BIG.BIN"});
  ASSERT_GE(progress.steps.size(), 2u);
  EXPECT_EQ(progress.steps.front(), (RecordingProgress::Step{0, bytes.size()}));
  EXPECT_EQ(progress.steps.back(), (RecordingProgress::Step{bytes.size(), bytes.size()}));
  EXPECT_EQ(progress.open, 0);
  EXPECT_EQ(ReadFileBytes(dir / "BIG.BIN"), bytes);

  // Cancel pressed during a save that would replace the file: the old file stays, nothing else
  // is left in the folder, and cancelling is not an error to report.
  progress.steps.clear();
  progress.cancelAfter = 2;
  boxes.answers = {kIdYes};
  frame.partitions.back()->rootEntry = std::make_unique<FakeEntry>("BIG.BIN", kStateFile, std::vector<uint8_t>(bytes.size(), 1));
  frame.FillTree();
  Select("BIG.BIN");
  dialog.answers = {dir.path()};
  frame.btnSaveClick();
  EXPECT_EQ(progress.steps.size(), 2u);
  EXPECT_EQ(progress.open, 0);
  EXPECT_EQ(ReadFileBytes(dir / "BIG.BIN"), bytes);
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"BIG.BIN"});
  EXPECT_EQ(boxes.shown.size(), 1u);  // the question whether to replace, nothing after it
  EXPECT_EQ(cursor.depth, 0);
}

}  // namespace

namespace {

// The hash command: the selected file's MD5, SHA-1 and SHA-256, as coreutils computes them,
// in a group of their own below its information, computed with progress and shown again each
// time it is selected; a cancelled one shows nothing, and folders are not hashed.
TEST_F(FrameFixture, TheHashCommandAddsTheFilesHashesToItsInformation) {
  const std::vector<uint8_t> bytes(3 << 20, 0x5A);
  frame.partitions.push_back(
      std::make_unique<FakePartition>("P3", std::make_unique<FakeEntry>("BIG.BIN", kStateFile, bytes)));
  frame.partitions.push_back(
      std::make_unique<FakePartition>("P4", std::make_unique<FakeEntry>("OTHER.TXT", kStateFile, Text("other"))));
  frame.FillTree();
  TempDir dir;
  WriteFileBytes(dir / "big", bytes);
  const auto hashOf = [&](const std::string& tool) {
    const std::string line = RunCommand(tool + " " + ShellQuote(dir / "big"));
    return line.substr(0, line.find(' '));
  };
  RecordingProgress progress;

  Select("\\");
  frame.mnuHashFileClick();
  EXPECT_TRUE(progress.labels.empty());

  Select("BIG.BIN");
  progress.cancelAfter = 2;
  frame.mnuHashFileClick();
  EXPECT_EQ(view.info.Find("SHA-256"), nullptr);

  progress.cancelAfter = -1;
  progress.steps.clear();
  frame.mnuHashFileClick();
  EXPECT_EQ(progress.labels.back(), "Hashing BIG.BIN");
  ASSERT_FALSE(progress.steps.empty());
  EXPECT_EQ(progress.steps.back(), (RecordingProgress::Step{bytes.size(), bytes.size()}));
  const auto expectHashes = [&] {
    ASSERT_NE(view.info.Find("MD5"), nullptr);
    EXPECT_EQ(*view.info.Find("MD5"), hashOf("md5sum"));
    EXPECT_EQ(*view.info.Find("SHA-1"), hashOf("sha1sum"));
    EXPECT_EQ(*view.info.Find("SHA-256"), hashOf("sha256sum"));
    EXPECT_EQ(view.info.groups.back().title, kHashesGroupTitle);
  };
  expectHashes();
  Select("OTHER.TXT");
  EXPECT_EQ(view.info.Find("MD5"), nullptr);
  Select("BIG.BIN");
  expectHashes();
}

}  // namespace

// The report of a save of many files counts what was saved and lists, a line each, the files
// saved short, those not saved and the sectors that stayed unread; one file saved whole is no
// report at all.
TEST(SaveSummary, ListsIncompleteAndFailedFilesAndUnreadSectors) {
  SaveReport report;
  report.folder = "/out";
  report.totals.saved = 1;
  report.totals.bytes = 1;
  EXPECT_TRUE(EndsSilently(report));
  EXPECT_EQ(SummaryText(report), "Saved 1 file (1 byte) to /out.");

  report.totals.saved = 3;
  report.totals.bytes = 4096;
  report.totals.incomplete = 1;
  report.totals.failures = 1;
  report.incomplete = {"1:/a.jpg: short: 512 of 4096 bytes"};
  report.failures = {"1:/b.txt: No space left on device"};
  report.unread = {ReadFault(77, 5)};
  EXPECT_FALSE(EndsSilently(report));
  EXPECT_EQ(SummaryText(report),
            "Saved 3 files (4096 bytes) to /out.\n1 file is incomplete.\n1 file could not be saved.\n"
            "1 sector could not be read.");
  EXPECT_EQ(SummaryDetails(report),
            "Incomplete:\n  1:/a.jpg: short: 512 of 4096 bytes\nNot saved:\n  1:/b.txt: No space left on device\n"
            "Sectors not read:\n  sector 77: Input/output error\n");

  SaveReport none;
  none.folder = "/out";
  none.deletedOnly = true;
  EXPECT_FALSE(EndsSilently(none));
  EXPECT_EQ(SummaryText(none), "Saved 0 files (0 bytes) to /out.\nThere were no deleted files to save.");
}
