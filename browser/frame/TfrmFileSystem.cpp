#include "browser/frame/TfrmFileSystem.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLocale>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <exception>
#include <new>

#include "browser/Background.h"
#include "browser/ImageIndex.h"
#include "browser/frame/FileInfoList.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/PreviewImage.h"
#include "browser/frame/TreeItem.h"
#include "browser/gallery/GalleryPage.h"
#include "formats/qt/PictureLoader.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "platform/qt/Widgets.h"

namespace {

// How long typing pauses before the search follows it: a query per word, not per key.
constexpr int kSearchPauseMs = 60;

// The icons of the image lists are 16 pixels square at 96 dpi.
constexpr int kImageListSide = 16;

// An exception must not cross Qt's event loop: a handler that fails ends here, and the user is
// told why, as by the application's general error report.
template <class Handler>
void RunHandler(Handler handler) {
  try {
    handler();
  } catch (const std::bad_alloc&) {
    ShowMessageBox("There is not enough memory to complete this operation.", "Error", kMbOkWarning);
  } catch (const std::exception& error) {
    ShowMessageBox(error.what(), "Error", kMbOkWarning);
  }
}

// A read-only text pane in the button-face colour, without word wrap.
QPlainTextEdit* Memo(const char* name, QWidget* parent) {
  auto* memo = Named(new QPlainTextEdit(parent), name);
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  QPalette palette = memo->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Button));
  memo->setPalette(palette);
  return memo;
}

}  // namespace

TfrmFileSystem::TfrmFileSystem(const IconSet& icons, QWidget* parent)
    : QWidget(parent), icons_(icons), logic_(*this) {
  auto look = std::make_shared<TreeItemLook>();
  look->icons = &icons_;
  look->states = {tr("现存"), tr("已删除"), tr("丢失"), tr("找到")};  // by EntryOrigin
  treeLook_ = std::move(look);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildToolBar();
  layout->addWidget(CoolBar1);
  lblSourceNotes = Named(new QLabel(this), "lblSourceNotes");
  lblSourceNotes->setWordWrap(true);
  lblSourceNotes->setMargin(Scaled(this, 4));
  lblSourceNotes->hide();
  layout->addWidget(lblSourceNotes);

  Panel1 = Named(new QWidget(this), "Panel1");
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  Splitter1 = Named(new QSplitter(Qt::Horizontal, Panel1), "Splitter1");
  Splitter1->setHandleWidth(Scaled(this, 4));
  Splitter1->setOpaqueResize(true);
  Splitter1->setChildrenCollapsible(false);
  panelLayout->addWidget(Splitter1);
  layout->addWidget(Panel1, 1);
  lblStatus = Named(new QLabel(this), "lblStatus");
  lblStatus->setMargin(Scaled(this, 2));
  layout->addWidget(lblStatus);

  BuildTreePage();
  PageControl1 = Named(new QTabWidget(Splitter1), "PageControl1");
  BuildFileInfoPage();
  BuildPreviewPage();
  BuildGalleryPage();
  BuildHexPage();
  Splitter1->addWidget(pageControlResults);
  Splitter1->addWidget(PageControl1);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({Scaled(this, 297), Scaled(this, 600)});

  timerUpdateScan = Named(new QTimer(this), "timerUpdateScan");
  timerUpdateScan->setInterval(1);
  timerStatus = Named(new QTimer(this), "timerStatus");
  timerStatus->setInterval(250);
  ConnectHandlers();
  timerStatus->start();
  ShowStatus();
  timerUpdateScan->start();
}

TfrmFileSystem::~TfrmFileSystem() = default;

void TfrmFileSystem::ShowSourceNotes(const std::vector<std::string>& notes) {
  QStringList lines;
  for (const std::string& note : notes) lines << QString::fromStdString(note);
  lblSourceNotes->setText(lines.join('\n'));
  lblSourceNotes->setVisible(!lines.isEmpty());
}

void TfrmFileSystem::BuildToolBar() {
  CoolBar1 = Named(new QWidget(this), "CoolBar1");
  auto* coolLayout = new QHBoxLayout(CoolBar1);
  coolLayout->setContentsMargins(0, 0, 0, 0);
  ToolBar1 = Named(new QToolBar(CoolBar1), "ToolBar1");
  QFont bold = ToolBar1->font();
  bold.setBold(true);
  ToolBar1->setFont(bold);
  ToolBar1->setIconSize(QSize(Scaled(this, kImageListSide), Scaled(this, kImageListSide)));
  btnSave = Named(new QToolButton(ToolBar1), "btnSave");
  btnSave->setText(tr("保存所选文件"));
  btnSave->setIcon(icons_.Format(kImgSave));
  btnSave->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  btnSave->setMinimumWidth(Scaled(this, 142));
  ToolBar1->addWidget(btnSave);
  coolLayout->addWidget(ToolBar1);
}

void TfrmFileSystem::BuildTreePage() {
  pageControlResults = Named(new QTabWidget(Splitter1), "pageControlResults");
  tsResults = Page(pageControlResults, "tsResults", tr("FAT 结构"));
  auto* layout = new QVBoxLayout(tsResults);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildSearchBar(tsResults);
  layout->addWidget(pnlSearch);
  treeFat = Named(new QTreeWidget(tsResults), "treeFat");
  treeFat->setHeaderLabels({tr("名称"), tr("大小"), tr("修改时间"), tr("状态")});
  // Long names scroll sideways instead of being cut short. The columns fit the rows in view:
  // measuring the texts of a thousand rows (the header's default) at every layout made a
  // folder of 20,000 entries take a tenth of a second and more to show.
  treeFat->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  treeFat->header()->setResizeContentsPrecision(0);
  treeFat->header()->setStretchLastSection(false);
  // The tree keeps directory order until a click on a column's header sorts it by that column.
  treeFat->header()->setSectionsClickable(true);
  treeFat->header()->setSortIndicatorShown(true);
  treeFat->header()->setSortIndicator(-1, Qt::AscendingOrder);
  // Ctrl and Shift pick several entries, which the save command saves together.
  treeFat->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Every row is a line of text beside a small icon: the tree need not ask each row its height,
  // which for 20,000 rows took longer than making them.
  treeFat->setUniformRowHeights(true);
  treeFat->setEditTriggers(QAbstractItemView::NoEditTriggers);
  treeFat->setIndentation(Scaled(this, 19));
  treeFat->setIconSize(QSize(Scaled(this, kImageListSide), Scaled(this, kImageListSide)));
  treeFat->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(treeFat);

  PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
  mnuRestoreFiles = Named(PopupMenu1->addAction(icons_.Format(kImgSave), tr("保存所选文件")),
                          "mnuRestoreFiles");
  mnuHashFile = Named(PopupMenu1->addAction(tr("计算哈希值 (MD5, SHA-1, SHA-256)")), "mnuHashFile");
  mnuSaveDeleted = Named(PopupMenu1->addAction(tr("保存其中所有已删除的文件")), "mnuSaveDeleted");
  mnuReread = Named(PopupMenu1->addAction(tr("重新读取文件夹")), "mnuReread");
  PopupMenu1->addSeparator();
  mnuSearchVolumes = Named(PopupMenu1->addAction(tr("在分区以外的空间中搜索丢失的卷")), "mnuSearchVolumes");
  mnuSearchEverySector = Named(PopupMenu1->addAction(tr("逐扇区搜索丢失的卷（读取整个介质）")), "mnuSearchEverySector");
  // The keys work wherever the focus is in the frame, also without the menu.
  mnuRestoreFiles->setShortcut(QKeySequence::Save);
  mnuReread->setShortcut(QKeySequence(Qt::Key_F5));
  for (QAction* action : {mnuRestoreFiles, mnuReread}) {
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
  }
}

void TfrmFileSystem::BuildSearchBar(QWidget* page) {
  pnlSearch = Named(new QWidget(page), "pnlSearch");
  auto* layout = new QVBoxLayout(pnlSearch);
  const int margin = Scaled(this, 2);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->setSpacing(margin);
  edtSearch = Named(new QLineEdit(pnlSearch), "edtSearch");
  edtSearch->setPlaceholderText(tr("搜索名称（可用 * 和 ?）  Ctrl+F"));
  edtSearch->setClearButtonEnabled(true);
  layout->addWidget(edtSearch);
  auto* toggles = new QHBoxLayout;
  toggles->setSpacing(margin);
  const auto toggle = [this, toggles](const char* name, const QString& text) {
    auto* button = Named(new QToolButton(pnlSearch), name);
    button->setText(text);
    button->setCheckable(true);
    button->setAutoRaise(true);
    toggles->addWidget(button);
    return button;
  };
  btnDeletedOnly = toggle("btnDeletedOnly", tr("仅已删除"));
  btnPictures = toggle("btnPictures", tr("图片"));
  btnVideos = toggle("btnVideos", tr("视频"));
  btnSounds = toggle("btnSounds", tr("音频"));
  btnDocuments = toggle("btnDocuments", tr("文档"));
  toggles->addStretch(1);
  layout->addLayout(toggles);

  actFind = Named(new QAction(tr("搜索"), this), "actFind");
  actFind->setShortcut(QKeySequence::Find);
  actFind->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(actFind);
  // Escape in the field clears the search and gives the whole tree back.
  auto* clear = new QAction(edtSearch);
  clear->setShortcut(QKeySequence(Qt::Key_Escape));
  clear->setShortcutContext(Qt::WidgetShortcut);
  edtSearch->addAction(clear);
  connect(clear, &QAction::triggered, this, &TfrmFileSystem::ClearSearch);

  timerSearch = Named(new QTimer(this), "timerSearch");
  timerSearch->setSingleShot(true);
  timerSearch->setInterval(kSearchPauseMs);
}

void TfrmFileSystem::BuildFileInfoPage() {
  tsFileInfo = Page(PageControl1, "tsFileInfo", tr("文件信息"));
  auto* layout = new QVBoxLayout(tsFileInfo);
  layout->setContentsMargins(0, 0, 0, 0);
  lstFileInfo = Named(new FileInfoList(icons_, tsFileInfo), "lstFileInfo");
  lstFileInfo->setHeaderLabels({tr("属性"), tr("描述")});
  lstFileInfo->setColumnWidth(0, Scaled(this, 180));
  lstFileInfo->setColumnWidth(1, Scaled(this, 400));
  lstFileInfo->setIconSize(QSize(Scaled(this, kImageListSide), Scaled(this, kImageListSide)));
  layout->addWidget(lstFileInfo);
}

void TfrmFileSystem::BuildPreviewPage() {
  tsPreview = Page(PageControl1, "tsPreview", tr("预览"));
  auto* layout = new QVBoxLayout(tsPreview);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  ToolBar2 = Named(new QToolBar(tsPreview), "ToolBar2");
  ToolBar2->setIconSize(QSize(Scaled(this, kImageListSide), Scaled(this, kImageListSide)));
  btnZoomIn = Named(new QToolButton(ToolBar2), "btnZoomIn");
  btnZoomIn->setToolTip(tr("放大"));
  btnZoomIn->setIcon(icons_.Toolbar(kImgZoomIn));
  btnZoomOut = Named(new QToolButton(ToolBar2), "btnZoomOut");
  btnZoomOut->setToolTip(tr("缩小"));
  btnZoomOut->setIcon(icons_.Toolbar(kImgZoomOut));
  ToolBar2->addWidget(btnZoomIn);
  ToolBar2->addWidget(btnZoomOut);
  layout->addWidget(ToolBar2);

  // The label stands behind the picture and the text, which take the same place.
  auto* area = new QWidget(tsPreview);
  auto* stack = new QGridLayout(area);
  stack->setContentsMargins(0, 0, 0, 0);
  Label2 = Named(new QLabel(tr("预览不可用"), area), "Label2");
  Label2->setAlignment(Qt::AlignCenter);
  scrollImage = Named(new QScrollArea(area), "scrollImage");
  scrollImage->setBackgroundRole(QPalette::Dark);
  scrollImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  imgPreview = Named(new PreviewImage(scrollImage), "imgPreview");
  scrollImage->setWidget(imgPreview);
  txtPreview = Memo("txtPreview", area);
  stack->addWidget(Label2, 0, 0);
  stack->addWidget(scrollImage, 0, 0);
  stack->addWidget(txtPreview, 0, 0);
  scrollImage->hide();
  txtPreview->hide();
  imgPreview->hide();
  layout->addWidget(area, 1);
}

void TfrmFileSystem::BuildGalleryPage() {
  tsGallery = Named(new GalleryPage(PageControl1), "tsGallery");
  PageControl1->addTab(tsGallery, tr("图库"));
}

void TfrmFileSystem::BuildHexPage() {
  TabSheet1 = Page(PageControl1, "TabSheet1", tr("十六进制数据"));
  auto* layout = new QVBoxLayout(TabSheet1);
  layout->setContentsMargins(0, 0, 0, 0);
  txtHex = Memo("txtHex", TabSheet1);
  txtHex->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(txtHex);
}

void TfrmFileSystem::ConnectHandlers() {
  connect(treeFat, &QTreeWidget::itemSelectionChanged, this, &TfrmFileSystem::treeFatChange);
  connect(treeFat, &QWidget::customContextMenuRequested, this, &TfrmFileSystem::treeFatContextMenu);
  connect(btnSave, &QToolButton::clicked, this, &TfrmFileSystem::btnSaveClick);
  connect(mnuRestoreFiles, &QAction::triggered, this, &TfrmFileSystem::btnSaveClick);
  connect(mnuHashFile, &QAction::triggered, this, [this] { RunHandler([this] { logic_.mnuHashFileClick(); }); });
  connect(mnuSaveDeleted, &QAction::triggered, this, [this] { RunHandler([this] { logic_.mnuSaveDeletedClick(); }); });
  connect(mnuReread, &QAction::triggered, this, [this] { RunHandler([this] { logic_.mnuRereadClick(); }); });
  connect(mnuSearchVolumes, &QAction::triggered, this,
          [this] { RunHandler([this] { logic_.SearchLostVolumes(SearchDepth::kBoundaries); }); });
  connect(mnuSearchEverySector, &QAction::triggered, this,
          [this] { RunHandler([this] { logic_.SearchLostVolumes(SearchDepth::kEverySector); }); });
  // Enter (and a double click) opens a folder.
  connect(treeFat, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    RunHandler([this, item] { logic_.treeFatOpen(item->data(0, kNodeRole).toInt()); });
  });
  connect(timerStatus, &QTimer::timeout, this, [this] {
    logic_.PollLostScans();
    ShowStatus();
  });
  connect(edtSearch, &QLineEdit::textChanged, this, &TfrmFileSystem::edtSearchChange);
  for (QToolButton* button : {btnDeletedOnly, btnPictures, btnVideos, btnSounds, btnDocuments}) {
    connect(button, &QToolButton::toggled, this, &TfrmFileSystem::edtSearchChange);
  }
  connect(timerSearch, &QTimer::timeout, this, &TfrmFileSystem::timerSearchTimer);
  connect(actFind, &QAction::triggered, this, [this] {
    edtSearch->setFocus(Qt::ShortcutFocusReason);
    edtSearch->selectAll();
  });
  connect(treeFat->header(), &QHeaderView::sectionClicked, this, [this] {
    if (!treeFat->isSortingEnabled()) treeFat->setSortingEnabled(true);  // sorts by the clicked column
  });
  connect(btnZoomIn, &QToolButton::clicked, this, &TfrmFileSystem::btnZoomInClick);
  connect(btnZoomOut, &QToolButton::clicked, this, &TfrmFileSystem::btnZoomOutClick);
  connect(timerUpdateScan, &QTimer::timeout, this, &TfrmFileSystem::timerUpdateScanTimer);
  connect(PageControl1, &QTabWidget::currentChanged, this, &TfrmFileSystem::ShowGallery);
  tsGallery->onOpen = [this](TDirectoryEntry& entry) {
    RunHandler([this, &entry] { logic_.ShowEntry(entry); });
    PageControl1->setCurrentWidget(tsPreview);
  };
  tsGallery->onSave = [this](std::vector<SaveItem> items) {
    RunHandler([this, &items] { logic_.SaveEntries(std::move(items)); });
  };
}

void TfrmFileSystem::treeFatChange() {
  // Selection changes that the tree's own rebuilding causes are not the user's.
  if (treeUpdates_ > 0) return;
  RunHandler([this] { logic_.treeFatChange(); });
  galleryStale_ = true;
  ShowGallery();
  ShowStatus();
}

void TfrmFileSystem::FillTree() {
  ResetSearchWidgets();
  logic_.FillTree();
}

void TfrmFileSystem::edtSearchChange() { timerSearch->start(); }

void TfrmFileSystem::timerSearchTimer() {
  SearchQuery query;
  query.text = edtSearch->text().toStdString();
  query.deletedOnly = btnDeletedOnly->isChecked();
  if (btnPictures->isChecked()) query.kinds |= kKindPictures;
  if (btnVideos->isChecked()) query.kinds |= kKindVideos;
  if (btnSounds->isChecked()) query.kinds |= kKindSounds;
  if (btnDocuments->isChecked()) query.kinds |= kKindDocuments;
  RunHandler([this, &query] { logic_.Search(query); });
  ShowStatus();
}

void TfrmFileSystem::ClearSearch() {
  ResetSearchWidgets();
  timerSearchTimer();
}

// The field and the toggles emptied, without a search for the change.
void TfrmFileSystem::ResetSearchWidgets() {
  timerSearch->stop();
  const QSignalBlocker blocker(edtSearch);
  edtSearch->clear();
  for (QToolButton* button : {btnDeletedOnly, btnPictures, btnVideos, btnSounds, btnDocuments}) {
    const QSignalBlocker toggleBlocker(button);
    button->setChecked(false);
  }
}

void TfrmFileSystem::ShowSearchCount(size_t count) { searchCount_ = count; }

void TfrmFileSystem::ShowGallery() {
  if (!galleryStale_ || PageControl1->currentWidget() != tsGallery) return;
  galleryStale_ = false;
  // A gallery of more pictures than this is not one anybody looks through.
  constexpr size_t kMostGalleryPictures = 200000;
  RunHandler([this] {
    WaitCursor wait;
    tsGallery->ShowPictures(CollectPictures(logic_.SelectedFolders(), logic_.FoldersReadable(), kMostGalleryPictures));
  });
}

// A scan that ended has found pictures, and the folders it kept from reading can be read now:
// the gallery is gathered again once the scan's operation has finished.
void TfrmFileSystem::LostScanEnded() {
  galleryStale_ = true;
  QTimer::singleShot(0, this, &TfrmFileSystem::ShowGallery);
}

void TfrmFileSystem::EntriesGoing() {
  tsGallery->Clear();
  galleryStale_ = true;
}

void TfrmFileSystem::ShowStatus() {
  const SelectionSize size = logic_.SelectedSize();
  QString text = size.entries == 0 ? tr("未选择任何项")
                                   : tr("已选择 %1 项，%2").arg(size.entries).arg(QLocale().formattedDataSize(static_cast<qint64>(size.bytes)));
  if (searchCount_ != kNoSearch) text = tr("找到 %1 项").arg(searchCount_) + "    " + text;
  const std::string doing = Background().Doing();
  if (!doing.empty()) text += "    " + QString::fromStdString(doing);
  if (lblStatus->text() != text) lblStatus->setText(text);
}

void TfrmFileSystem::btnSaveClick() {
  RunHandler([this] { logic_.btnSaveClick(); });
}

void TfrmFileSystem::btnZoomInClick() { logic_.btnZoomInClick(); }

void TfrmFileSystem::btnZoomOutClick() { logic_.btnZoomOutClick(); }

void TfrmFileSystem::timerUpdateScanTimer() { logic_.timerUpdateScanTimer(); }

void TfrmFileSystem::treeFatContextMenu(const QPoint& position) {
  mnuSaveDeleted->setEnabled(logic_.CanSaveDeleted());
  for (QAction* search : {mnuSearchVolumes, mnuSearchEverySector}) search->setEnabled(logic_.CanSearchLostVolumes());
  PopupMenu1->popup(treeFat->viewport()->mapToGlobal(position));
}

void TfrmFileSystem::BeginTreeUpdate() {
  if (treeUpdates_++ == 0) treeFat->setUpdatesEnabled(false);
}

void TfrmFileSystem::EndTreeUpdate() {
  if (--treeUpdates_ > 0) return;
  AddPendingItems();
  treeFat->setUpdatesEnabled(true);
}

void TfrmFileSystem::AddPendingItems() {
  for (PendingItems& pending : pendingItems_) {
    if (pending.parent == nullptr) {
      treeFat->addTopLevelItems(pending.items);
    } else {
      pending.parent->addChildren(pending.items);
    }
  }
  pendingItems_.clear();
  for (QTreeWidgetItem* item : pendingExpansions_) item->setExpanded(true);
  pendingExpansions_.clear();
}

void TfrmFileSystem::ClearTree() {
  AddPendingItems();
  treeFat->clear();
  treeItems_.clear();
}

void TfrmFileSystem::AddTreeNode(TreeNodeId node, TreeNodeId parent, const std::string& caption, int imageIndex) {
  auto* item = new TreeItem(treeLook_, node, QString::fromStdString(caption), imageIndex);
  QTreeWidgetItem* parentItem = parent == kNoNode ? nullptr : treeItems_.at(static_cast<size_t>(parent));
  if (parentItem != nullptr && parentItem->treeWidget() == nullptr) {
    parentItem->addChild(item);  // the parent itself waits to go into the tree
  } else if (treeUpdates_ > 0) {
    if (pendingItems_.empty() || pendingItems_.back().parent != parentItem) pendingItems_.push_back({parentItem, {}});
    pendingItems_.back().items.append(item);
  } else if (parentItem == nullptr) {
    treeFat->addTopLevelItem(item);
  } else {
    parentItem->addChild(item);
  }
  if (treeItems_.size() <= static_cast<size_t>(node)) treeItems_.resize(static_cast<size_t>(node) + 1);
  treeItems_[static_cast<size_t>(node)] = item;
}

void TfrmFileSystem::ExpandTreeNode(TreeNodeId node) {
  QTreeWidgetItem* item = treeItems_.at(static_cast<size_t>(node));
  if (treeUpdates_ > 0) {
    pendingExpansions_.push_back(item);
  } else {
    item->setExpanded(true);
  }
}

// The current node where it is selected: the one last clicked among several.
TreeNodeId TfrmFileSystem::SelectedTreeNode() const {
  QTreeWidgetItem* current = treeFat->currentItem();
  if (current != nullptr && current->isSelected()) return current->data(0, kNodeRole).toInt();
  const QList<QTreeWidgetItem*> selected = treeFat->selectedItems();
  return selected.isEmpty() ? kNoNode : selected.front()->data(0, kNodeRole).toInt();
}

void TfrmFileSystem::SetTreeNodeDetails(TreeNodeId node, const NodeDetails& details) {
  static_cast<TreeItem*>(treeItems_.at(static_cast<size_t>(node)))->SetDetails(details);
}

std::vector<TreeNodeId> TfrmFileSystem::SelectedTreeNodes() const {
  std::vector<TreeNodeId> nodes;
  for (QTreeWidgetItemIterator it(treeFat, QTreeWidgetItemIterator::Selected); *it != nullptr; ++it) {
    nodes.push_back((*it)->data(0, kNodeRole).toInt());
  }
  return nodes;
}

void TfrmFileSystem::RemoveChildNodes(TreeNodeId node) {
  QTreeWidgetItem* item = treeItems_.at(static_cast<size_t>(node));
  std::vector<QTreeWidgetItem*> below{item};
  while (!below.empty()) {
    QTreeWidgetItem* next = below.back();
    below.pop_back();
    for (int i = 0; i < next->childCount(); ++i) {
      QTreeWidgetItem* child = next->child(i);
      treeItems_[static_cast<size_t>(child->data(0, kNodeRole).toInt())] = nullptr;
      below.push_back(child);
    }
  }
  qDeleteAll(item->takeChildren());
}

void TfrmFileSystem::InsertTreeNode(TreeNodeId node, TreeNodeId parent, size_t position, const std::string& caption,
                                    int imageIndex) {
  QTreeWidgetItem* parentItem = treeItems_.at(static_cast<size_t>(parent));
  // Items that wait for the bracket to close go in first, so that position counts them.
  AddPendingItems();
  if (position >= static_cast<size_t>(parentItem->childCount())) {
    AddTreeNode(node, parent, caption, imageIndex);
    return;
  }
  auto* item = new TreeItem(treeLook_, node, QString::fromStdString(caption), imageIndex);
  parentItem->insertChild(static_cast<int>(position), item);
  if (treeItems_.size() <= static_cast<size_t>(node)) treeItems_.resize(static_cast<size_t>(node) + 1);
  treeItems_[static_cast<size_t>(node)] = item;
}

void TfrmFileSystem::SetTreeNodeCaption(TreeNodeId node, const std::string& caption) {
  static_cast<TreeItem*>(treeItems_.at(static_cast<size_t>(node)))->SetCaption(QString::fromStdString(caption));
}

std::string TfrmFileSystem::LostScanText(LostWords words) const {
  switch (words) {
    case LostWords::kCaption: return tr("丢失和找到的文件").toStdString();
    case LostWords::kScanning: return tr("（正在扫描…）").toStdString();
    case LostWords::kCancelled: return tr("（扫描已取消，按 F5 重新扫描）").toStdString();
    case LostWords::kLabel: return tr("正在扫描“丢失和找到的文件”").toStdString();
  }
  return {};
}

std::string TfrmFileSystem::LostScanProgressText(uint64_t scanned, uint64_t total, uint64_t found) const {
  const QLocale locale;
  return tr("已扫描 %1 / %2，找到 %3 项")
      .arg(locale.formattedDataSize(static_cast<qint64>(scanned)), locale.formattedDataSize(static_cast<qint64>(total)))
      .arg(found)
      .toStdString();
}

void TfrmFileSystem::BeginInfoUpdate() { lstFileInfo->setUpdatesEnabled(false); }

void TfrmFileSystem::EndInfoUpdate() { lstFileInfo->setUpdatesEnabled(true); }

void TfrmFileSystem::ClearInfo() { lstFileInfo->DeleteAllRows(); }

TInfoList& TfrmFileSystem::InfoList() { return *lstFileInfo; }

// Qt paints every widget double-buffered; what is left is to show the rows in their groups.
void TfrmFileSystem::SetUpInfoList() { lstFileInfo->EnableGroupView(true); }

void TfrmFileSystem::StopSetUpTimer() { timerUpdateScan->stop(); }

void TfrmFileSystem::SetHexText(const std::string& text) { txtHex->setPlainText(QString::fromStdString(text)); }

void TfrmFileSystem::SetPreviewText(const std::string& text) {
  txtPreview->setPlainText(QString::fromStdString(text));
}

void TfrmFileSystem::ShowPreviewText(bool visible) { txtPreview->setVisible(visible); }

void TfrmFileSystem::ShowScrollImage(bool visible) { scrollImage->setVisible(visible); }

bool TfrmFileSystem::LoadPicture(PictureFormat format, const uint8_t* data, size_t size) {
  QImage picture = LoadPreview(format, data, size);
  if (picture.isNull()) {
    imgPreview->hide();
    return false;
  }
  imgPreview->SetPicture(std::move(picture));
  imgPreview->show();
  return true;
}

PictureSize TfrmFileSystem::PreviewSize() const { return {imgPreview->width(), imgPreview->height()}; }

void TfrmFileSystem::SetPreviewSize(PictureSize size) { imgPreview->resize(size.width, size.height); }
