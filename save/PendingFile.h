#pragma once
// A file being saved, which nobody sees under a name until it is complete and which leaves
// nothing behind however the save ends.
//
// Where the target's file system has them (ext4, XFS, Btrfs, tmpfs, ...), the file is made
// with O_TMPFILE: it has no name while it is written, so a save that fails, is cancelled, or
// ends with the process (a signal, a crash, a power cut) leaves nothing, and the kernel frees
// its space. linkat gives it its name once it is complete. Elsewhere (FAT and exFAT through
// FUSE, network file systems) the file is written under a name of its own,
// ".brindle-save-" and 16 hex digits, in the target folder, removed by the destructor when the
// save does not end in its placing, and by a handler of SIGINT, SIGTERM and SIGHUP when one of
// them ends the process meanwhile. Only SIGKILL and a crash can leave such a file.

#include <string>

class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  // Creates the file in folder, with the permissions a new file gets there (mode 0666 less the
  // umask): without a name where the file system allows it, else under a name of its own.
  // Returns 0 or the errno of the failure.
  int Create(const std::string& folder);
  // The same, always under a name of its own.
  int CreateNamed(const std::string& folder);

  int fd() const { return fd_; }
  bool named() const { return !path_.empty(); }

  // Once all is written: flushes the file to the disk when durable. Returns 0 or the errno.
  int Complete(bool durable);

  // Gives the file its final path. Without replace, a path that is taken is EEXIST, and the
  // file stays pending for another path. With replace, the file takes the place of what the
  // path holds in one step. Returns 0 or the errno.
  int Place(const std::string& target, bool replace);

 private:
  int LinkUnnamed(const std::string& target) const;
  int ReplaceWithUnnamed(const std::string& target) const;
  int MoveNamed(const std::string& target, bool replace) const;
  int CloseFile();

  int fd_ = -1;
  std::string path_;  // the name of a named file while it is pending
  int cleanupSlot_ = -1;  // where the signal handler finds path_
};
