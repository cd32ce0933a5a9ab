#pragma once
// The pictures waiting for their thumbnails, shared by the window's thread, which says which
// rows it shows, and the background work that makes the thumbnails, which takes the rows on
// screen first and the others in order after them. Every change of the gallery's pictures
// starts a new generation; what the work makes for an older one is dropped.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "browser/gallery/Thumbnail.h"

class TDirectoryEntry;

class ThumbnailQueue {
 public:
  struct Job {
    int generation = 0;
    int row = 0;
    TDirectoryEntry* entry = nullptr;
  };
  struct Made {
    int generation = 0;
    int row = 0;
    Thumbnail thumbnail;
  };

  // Window's thread: the gallery's pictures from now on, every one of them waiting.
  void Reset(std::vector<TDirectoryEntry*> entries);
  // Window's thread: the rows on screen; those among them that wait are taken first.
  void Prefer(const std::vector<int>& rows);
  // Window's thread: the row's thumbnail once more (the cache let go of it); it is taken first.
  void Request(int row);
  // Window's thread: whether work should be started, which is then counted as running until
  // Next has nothing more to give or Stopped is called.
  bool StartIfWaiting();
  // Window's thread: what was made since the last call.
  std::vector<Made> TakeMade();
  int generation() const;

  // The work's thread: the next picture to make, or nothing (the work then ends).
  std::optional<Job> Next();
  void Finish(Made made);
  // The work ended early (cancelled): the rows still waiting stay for a later start.
  void Stopped();
  // How many pictures of this generation are made, of how many.
  std::pair<size_t, size_t> Progress() const;

 private:
  bool WaitingLocked() const;

  mutable std::mutex mutex_;
  int generation_ = 0;
  std::vector<TDirectoryEntry*> entries_;
  std::vector<uint8_t> waiting_;  // by row
  std::vector<uint8_t> madeOnce_;  // by row
  std::deque<int> preferred_;
  size_t next_ = 0;               // rows before it were taken in order
  size_t madeCount_ = 0;
  bool running_ = false;
  std::vector<Made> made_;
};
