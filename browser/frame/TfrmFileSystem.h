#pragma once
// The browser frame: the tree of every partition found on the source, and for the selected
// entry its properties, a preview and a hex dump, with the save command. The widgets are laid
// out here and named as the design names them; what they show is decided by BrowserFrame.

#include <QCoreApplication>
#include <QWidget>

#include <memory>
#include <vector>

#include "browser/BrowserFrame.h"
#include "browser/frame/TreeItem.h"

class FileInfoList;
class GalleryPage;
class IconSet;
class PreviewImage;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QScrollArea;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmFileSystem final : public QWidget, private BrowserView {
  Q_DECLARE_TR_FUNCTIONS(TfrmFileSystem)

 public:
  // icons belong to the main window and outlive the frame.
  explicit TfrmFileSystem(const IconSet& icons, QWidget* parent = nullptr);
  ~TfrmFileSystem() override;

  // Takes the partitions found on source, which outlives them.
  void ScanPartitions(OpenedSource& source) { logic_.ScanPartitions(source); }
  void ClearPartitions() { logic_.ClearPartitions(); }
  // Shows every partition's tree, the search field and its toggles emptied.
  void FillTree();
  const PartitionList& partitions() const { return logic_.partitions; }
  // Shows what was found out about the source above the tree (its sector size, a volume that
  // may be read wrongly); nothing when notes is empty.
  void ShowSourceNotes(const std::vector<std::string>& notes);

 private:
  void BuildToolBar();
  void BuildTreePage();
  void BuildSearchBar(QWidget* page);
  void BuildFileInfoPage();
  void BuildPreviewPage();
  void BuildHexPage();
  void BuildGalleryPage();
  void ConnectHandlers();

  void treeFatChange();
  void btnSaveClick();
  void btnZoomInClick();
  void btnZoomOutClick();
  void timerUpdateScanTimer();
  void treeFatContextMenu(const QPoint& position);
  // The search field or a toggle changed: the search follows once typing pauses.
  void edtSearchChange();
  void timerSearchTimer();
  void ClearSearch();  // Escape in the field
  void ResetSearchWidgets();
  // The gallery shows the pictures of the tree's selection, gathered when the page is shown.
  void ShowGallery();
  // The status line: what is selected, and what runs in the background.
  void ShowStatus();

  // BrowserView
  void BeginTreeUpdate() override;
  void EndTreeUpdate() override;
  void ClearTree() override;
  void AddTreeNode(TreeNodeId node, TreeNodeId parent, const std::string& caption, int imageIndex) override;
  void ExpandTreeNode(TreeNodeId node) override;
  TreeNodeId SelectedTreeNode() const override;
  std::vector<TreeNodeId> SelectedTreeNodes() const override;
  void SetTreeNodeDetails(TreeNodeId node, const NodeDetails& details) override;
  void RemoveChildNodes(TreeNodeId node) override;
  void InsertTreeNode(TreeNodeId node, TreeNodeId parent, size_t position, const std::string& caption,
                      int imageIndex) override;
  void SetTreeNodeCaption(TreeNodeId node, const std::string& caption) override;
  std::string LostScanText(LostWords words) const override;
  std::string LostScanProgressText(uint64_t scanned, uint64_t total, uint64_t found) const override;
  void ShowSearchCount(size_t count) override;
  void EntriesGoing() override;
  void LostScanEnded() override;
  void BeginInfoUpdate() override;
  void EndInfoUpdate() override;
  void ClearInfo() override;
  TInfoList& InfoList() override;
  void SetUpInfoList() override;
  void StopSetUpTimer() override;
  void SetHexText(const std::string& text) override;
  void SetPreviewText(const std::string& text) override;
  void ShowPreviewText(bool visible) override;
  void ShowScrollImage(bool visible) override;
  bool LoadPicture(PictureFormat format, const uint8_t* data, size_t size) override;
  PictureSize PreviewSize() const override;
  void SetPreviewSize(PictureSize size) override;

  const IconSet& icons_;
  QWidget* CoolBar1;
  QToolBar* ToolBar1;
  QToolButton* btnSave;
  QLabel* lblSourceNotes;
  QWidget* Panel1;
  QSplitter* Splitter1;
  QTabWidget* pageControlResults;
  QWidget* tsResults;
  QWidget* pnlSearch;            // above treeFat
  QLineEdit* edtSearch;          // a piece of a name, or a pattern with * and ?
  QToolButton* btnDeletedOnly;   // toggles: deleted entries only,
  QToolButton* btnPictures;      // and the kinds of files
  QToolButton* btnVideos;
  QToolButton* btnSounds;
  QToolButton* btnDocuments;
  QAction* actFind;              // Ctrl+F: to the search field
  QTimer* timerSearch;           // the pause after the last key
  QTreeWidget* treeFat;
  QMenu* PopupMenu1;
  QAction* mnuRestoreFiles;
  QAction* mnuHashFile;  // the selected file's hashes into the information list
  QAction* mnuSaveDeleted;  // every deleted file of a folder or volume
  QAction* mnuReread;       // the selected folder read again (F5)
  QAction* mnuSearchVolumes;      // lost volumes where partitioning tools put them, outside those shown
  QAction* mnuSearchEverySector;  // the same at every sector
  QLabel* lblStatus;        // below the panes
  QTimer* timerStatus;      // follows what runs in the background, and takes what scans found
  QTabWidget* PageControl1;
  QWidget* tsFileInfo;
  FileInfoList* lstFileInfo;
  QWidget* tsPreview;
  QToolBar* ToolBar2;
  QToolButton* btnZoomIn;
  QToolButton* btnZoomOut;
  QScrollArea* scrollImage;
  PreviewImage* imgPreview;
  QPlainTextEdit* txtPreview;
  QLabel* Label2;
  GalleryPage* tsGallery;
  bool galleryStale_ = true;  // the tree's selection changed since the gallery was filled
  QWidget* TabSheet1;
  QPlainTextEdit* txtHex;
  QTimer* timerUpdateScan;

  // Items made inside a tree update bracket go into the tree together when it closes, which
  // is several times faster for a directory of many entries than one by one.
  struct PendingItems {
    QTreeWidgetItem* parent;  // null: top-level items
    QList<QTreeWidgetItem*> items;
  };
  void AddPendingItems();

  std::shared_ptr<const TreeItemLook> treeLook_;  // what the items of treeFat share
  std::vector<QTreeWidgetItem*> treeItems_;  // by TreeNodeId; each a TreeItem
  int treeUpdates_ = 0;                      // open tree update brackets
  std::vector<PendingItems> pendingItems_;
  std::vector<QTreeWidgetItem*> pendingExpansions_;
  size_t searchCount_ = kNoSearch;           // entries the search found, for the status line
  BrowserFrame logic_;                       // last: it talks to the widgets above until it is gone
};
