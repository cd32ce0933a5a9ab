// brindle-search-bench: the window's search and its save of many entries, on the offscreen
// platform, as the window runs them (TfrmFileSystem with the window's background service).
//
//   brindle-search-bench MANY_IMAGE RECOVER_IMAGE OUTPUT_DIR
//
// MANY_IMAGE holds MANY/, a folder of 20,000 entries: each query is typed key by key into the
// search field, and the figure is the time from the last key until the tree has painted the
// results (the pause the field waits for included), the aim 200 ms at most, the image in the
// page cache. The queries are typed into an empty field, and one also onto the 20,000 results
// of the query before it.
// RECOVER_IMAGE holds 20,000 small files in folders: every folder below the root is selected
// and saved through the save command, and `brindle-cli recover` of the same image runs in the
// same program run; the ratio of the two times is printed (aim: 1.2 at most).

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/ChildRun.h"
#include "browser/Background.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/QtBackground.h"
#include "browser/frame/TfrmFileSystem.h"
#include "fs/OpenedSource.h"
#include "platform/FolderDialog.h"
#include "platform/SummaryBox.h"

namespace {

constexpr int kRepetitions = 5;
constexpr int kKeyGapMs = 30;  // between two keys, as a quick typist's

std::unique_ptr<OpenedSource> Open(const std::string& path) {
  SourceChoice choice = SourceFromPath(path, "512");
  choice.sectorSizeFixed = true;
  OpenFailure failure;
  std::unique_ptr<OpenedSource> source = OpenedSource::Open(choice, {}, failure);
  if (!source) {
    std::fprintf(stderr, "brindle-search-bench: %s: %s\n", path.c_str(), failure.text.c_str());
    std::exit(1);
  }
  return source;
}

class FixedFolder final : public FolderDialogService {
 public:
  std::string folder;
  std::optional<std::string> ChooseFolder(const std::string&) override { return folder; }
};

class NotedSummary final : public SummaryBoxService {
 public:
  std::string text;
  bool Show(const std::string&, const std::string& shown, const std::string&) override {
    text = shown;
    return false;
  }
};

void Turn(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Until the field's pause is over and nothing runs in the background; the tree painted. The
// loop sleeps until its next event, as the window's does: spinning would take a core from the
// work that is measured.
void Settle(QTimer& pause) {
  while (pause.isActive() || Background().Busy()) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  QApplication::processEvents();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int CountNodes(const QTreeWidgetItem* item) {
  int count = 0;
  for (int i = 0; i < item->childCount(); ++i) count += 1 + CountNodes(item->child(i));
  return count;
}

bool MeasureSearch(const std::string& image) {
  const std::unique_ptr<OpenedSource> source = Open(image);
  IconSet icons;
  TfrmFileSystem frame(icons);
  QtBackground background(&frame);
  const ScopedService<BackgroundService> guard(BackgroundSlot(), background);
  frame.ScanPartitions(*source);
  frame.FillTree();
  frame.resize(1000, 700);
  frame.show();
  auto* field = frame.findChild<QLineEdit*>(QStringLiteral("edtSearch"));
  auto* pause = frame.findChild<QTimer*>(QStringLiteral("timerSearch"));
  auto* tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
  // The first search reads the folders; the figures are of the ones after it.
  field->setText(QStringLiteral("warm"));
  Settle(*pause);

  // Each query is typed into the field as it stands after shown: empty, or a query whose 20,000
  // results the tree holds (the typist's pause let it run), which go when the next one shows.
  struct Typed {
    const char* shown;
    const char* query;
  };
  bool within = true;
  for (const Typed typed : {Typed{"", "19999"}, Typed{"", "00042 long"}, Typed{"", "long entry"}, Typed{"", "*.txt"},
                            Typed{"", "1??7? long*"}, Typed{"long entr", "long entry"}}) {
    std::vector<double> times;
    int nodes = 0;
    for (int r = 0; r < kRepetitions; ++r) {
      const QString shown = QString::fromUtf8(typed.shown);
      field->setText(shown);
      Settle(*pause);
      const QString text = QString::fromUtf8(typed.query);
      QElapsedTimer sinceLastKey;
      for (int i = static_cast<int>(shown.size()) + 1; i <= text.size(); ++i) {
        field->setText(text.left(i));
        if (i < text.size()) Turn(kKeyGapMs);
        sinceLastKey.start();
      }
      Settle(*pause);
      // Until the tree has painted its rows with the results.
      tree->viewport()->repaint();
      times.push_back(static_cast<double>(sinceLastKey.nsecsElapsed()) / 1e6);
      nodes = CountNodes(tree->topLevelItem(0));
    }
    const double median = Median(times);
    const double worst = *std::max_element(times.begin(), times.end());
    within = within && worst <= 200;
    const std::string after = *typed.shown == '\0' ? "" : std::string(" (typed on \"") + typed.shown + "\")";
    std::printf("search \"%s\"%s: %d nodes shown; from the last key to the results: median %.1f ms, worst %.1f ms\n",
                typed.query, after.c_str(), nodes, median, worst);
  }
  std::printf("search: every result within 200 ms of the last key: %s\n", within ? "yes" : "NO");
  return within;
}

bool MeasureSave(const std::string& image, const std::filesystem::path& output) {
  const std::unique_ptr<OpenedSource> source = Open(image);
  IconSet icons;
  TfrmFileSystem frame(icons);
  QtBackground background(&frame);
  const ScopedService<BackgroundService> guard(BackgroundSlot(), background);
  FixedFolder folder;
  const ScopedService<FolderDialogService> folderGuard(FolderDialogSlot(), folder);
  NotedSummary summary;
  const ScopedService<SummaryBoxService> summaryGuard(SummaryBoxSlot(), summary);
  frame.ScanPartitions(*source);
  frame.FillTree();
  frame.resize(1000, 700);
  frame.show();
  auto* tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
  auto* save = frame.findChild<QToolButton*>(QStringLiteral("btnSave"));
  auto* pause = frame.findChild<QTimer*>(QStringLiteral("timerSearch"));
  QTreeWidgetItem* root = tree->topLevelItem(0)->child(0);
  tree->setCurrentItem(root);
  const auto clean = [&output] {
    std::filesystem::remove_all(output);
    std::filesystem::create_directories(output);
  };

  std::vector<double> window;
  std::vector<double> cli;
  const auto viaCli = [&] {
    clean();
    const bench::ChildRun run = bench::RunChild({BRINDLE_CLI_PATH, "recover", image, (output / "cli").string()});
    if (run.status != 0) std::fprintf(stderr, "brindle-cli recover: status %d %s\n", run.status, run.error.c_str());
    cli.push_back(run.seconds);
    return run.status == 0;
  };
  const auto viaWindow = [&] {
    clean();
    folder.folder = (output / "window").string();
    std::filesystem::create_directories(folder.folder);
    tree->clearSelection();
    for (int i = 0; i < root->childCount(); ++i) root->child(i)->setSelected(true);
    QElapsedTimer timer;
    timer.start();
    save->click();
    Settle(*pause);
    window.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
  };
  // The two take turns at going first: each writes after the other's files were deleted.
  for (int r = 0; r < 4; ++r) {
    if (r % 2 == 0 && !viaCli()) return false;
    viaWindow();
    if (r % 2 == 1 && !viaCli()) return false;
  }
  clean();
  const double w = Median(window);
  const double c = Median(cli);
  std::printf("save of %d selected folders from the window: %s\n", root->childCount(), summary.text.c_str());
  std::printf("save from the window: median %.2f s; brindle-cli recover: median %.2f s; ratio window/cli %.2f "
              "(aim: 1.20 or less)\n", w, c, w / c);
  return w / c <= 1.2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: brindle-search-bench MANY_IMAGE RECOVER_IMAGE OUTPUT_DIR\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool search = MeasureSearch(argv[1]);
  const bool save = MeasureSave(argv[2], std::filesystem::path(argv[3]) / "search-bench");
  return search && save ? 0 : 1;
}
