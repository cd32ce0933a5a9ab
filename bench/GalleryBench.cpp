// brindle-gallery-bench: the gallery page of a volume of camera pictures, in the window as the
// user sees it (thumbnails made in the background): the time to the first screen of thumbnails
// (aim: 1 s), to every picture looked at (aim: 20 s), the peak memory of the process (aim: 300
// MiB) and the longest time the window's event loop did not run meanwhile (aim: 100 ms).
//
//   brindle-gallery-bench IMAGE [FOLDER]
//
// FOLDER ("1:/DCIM") picks a folder of the first volume; without it the volume's root is shown.
// Runs on whatever Qt platform is set (offscreen by default).

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "browser/Background.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/QtBackground.h"
#include "browser/frame/TfrmFileSystem.h"
#include "browser/gallery/GalleryPage.h"
#include "fs/OpenedSource.h"
#include "platform/qt/QtServices.h"

namespace {

// The CPU time the calling thread has used, in ms.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Whether every row on screen has its thumbnail, or is known to have none.
bool FirstScreenShown(QListView& list, GalleryPage& gallery) {
  const QRect view = list.viewport()->rect();
  int onScreen = 0;
  for (int row = 0; row < list.model()->rowCount(); ++row) {
    const QModelIndex index = list.model()->index(row, 0);
    if (!list.visualRect(index).intersects(view)) {
      if (onScreen > 0) break;
      continue;
    }
    ++onScreen;
    if (gallery.model().state(row) == PictureState::kUnknown) return false;
  }
  return onScreen > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: brindle-gallery-bench IMAGE [N:/FOLDER]\n");
    return 2;
  }
  QtPlatformServices services;
  SourceChoice choice = SourceFromPath(argv[1], "512");
  OpenFailure failure;
  std::unique_ptr<OpenedSource> source = OpenedSource::Open(choice, OpenSettings{}, failure);
  if (!source) {
    std::fprintf(stderr, "%s: %s\n", argv[1], failure.text.c_str());
    return 1;
  }
  IconSet icons;
  TfrmFileSystem frame(icons);
  QtBackground background(&frame);
  ScopedService<BackgroundService> backgroundGuard(BackgroundSlot(), background);
  frame.ScanPartitions(*source);
  frame.FillTree();
  frame.resize(1024, 700);
  frame.show();
  auto* tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
  auto* pages = frame.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  auto* gallery = frame.findChild<GalleryPage*>(QStringLiteral("tsGallery"));
  auto* list = frame.findChild<QListView*>(QStringLiteral("lstGallery"));
  QTreeWidgetItem* item = tree->topLevelItem(0)->child(0);
  tree->setCurrentItem(item);
  if (argc == 3) {
    const QString path = QString::fromUtf8(argv[2]);
    for (const QString& name : path.mid(path.indexOf(':') + 1).split('/', Qt::SkipEmptyParts)) {
      QTreeWidgetItem* child = nullptr;
      for (int i = 0; i < item->childCount() && child == nullptr; ++i) {
        if (item->child(i)->text(0) == name) child = item->child(i);
      }
      if (child == nullptr) {
        std::fprintf(stderr, "no folder %s\n", argv[2]);
        return 1;
      }
      tree->setCurrentItem(item = child);
    }
  }
  QApplication::processEvents();
  const long peakBefore = PeakKib();

  // The event loop's longest pause: a timer of 5 ms that notes how long each turn took.
  QElapsedTimer sinceTick;
  qint64 longestBlockMs = 0, longestBlockAtMs = 0;
  // How much of the longest block the window's thread spent working; the rest it waited for
  // a core (the machine's other work) or a lock.
  double cpuAtTick = ThreadCpuMs(), longestBlockCpuMs = 0;
  QElapsedTimer clock;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const double cpu = ThreadCpuMs();
    if (sinceTick.elapsed() > longestBlockMs) {
      longestBlockMs = sinceTick.elapsed();
      longestBlockAtMs = clock.elapsed();
      longestBlockCpuMs = cpu - cpuAtTick;
    }
    cpuAtTick = cpu;
    sinceTick.restart();
  });

  clock.start();
  sinceTick.start();
  ticker.start();
  pages->setCurrentWidget(gallery);  // gathers the pictures and starts their thumbnails
  const qint64 listedMs = clock.elapsed();
  qint64 firstScreenMs = -1, allMs = -1;
  while (clock.elapsed() < 600'000) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (firstScreenMs < 0 && FirstScreenShown(*list, *gallery)) firstScreenMs = clock.elapsed();
    const auto [done, total] = gallery->Progress();
    if (done == total && !Background().Busy()) {
      allMs = clock.elapsed();
      break;
    }
  }
  ticker.stop();
  const auto [done, total] = gallery->Progress();
  int damaged = 0, unreadable = 0;
  for (int row = 0; row < gallery->model().rowCount(); ++row) {
    damaged += gallery->model().state(row) == PictureState::kDamaged;
    unreadable += gallery->model().state(row) == PictureState::kUnreadable;
  }
  std::printf("gallery of %zu pictures (%zu looked at; %d damaged, %d unreadable)\n", total, done, damaged, unreadable);
  std::printf("  listed (the window's thread gathers the pictures): %lld ms\n", static_cast<long long>(listedMs));
  std::printf("  first screen of thumbnails: %lld ms (aim: 1000 ms)\n", static_cast<long long>(firstScreenMs));
  std::printf("  every picture: %lld ms (aim: 20000 ms)\n", static_cast<long long>(allMs));
  std::printf("  peak memory: %ld MiB, %ld MiB before the gallery (aim: 300 MiB)\n", PeakKib() / 1024, peakBefore / 1024);
  std::printf("  longest block of the event loop: %lld ms, ended %lld ms after the start, %.0f ms of it on the CPU "
              "(aim: 100 ms)\n",
              static_cast<long long>(longestBlockMs), static_cast<long long>(longestBlockAtMs), longestBlockCpuMs);
  frame.ClearPartitions();
  return allMs < 0 ? 1 : 0;
}
