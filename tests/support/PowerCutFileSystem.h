// A file system that can lose power: it passes everything to the real files of one folder and
// keeps, beside them, what a power cut would leave: each file's bytes as of its last Sync, and
// the folder's names as of its last SyncFolderOf. At the cut the job's next change fails and
// every later one as well; Restore() then puts the folder into the state a restart would find.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "mul/File.h"

namespace vorlak::test {

class PowerCutFileSystem final : public FileSystem {
  public:
    // Takes the files now in `folder` as stored. The power goes at change number `cutAt` (1 for
    // the first change: a write, sync, shortening, rename, removal, new file or folder sync).
    PowerCutFileSystem(std::string folder, int64_t cutAt);
    bool Exists(const std::string& path) override;
    std::unique_ptr<RandomAccessFile> Open(const std::string& path, OpenMode mode) override;
    void Rename(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;
    void SyncFolderOf(const std::string& path) override;

    // Rewrites the folder with what survived the cut.
    void Restore();
    int64_t changes() const { return changes_; }

  private:
    friend class PowerCutFile;
    void Change();  // counts a change; throws from the cut on; called with mutex_ held

    // Jobs use their files from more than one thread (a new pair's index is made beside the
    // reading): each change, and the state kept, is taken under this lock.
    std::mutex mutex_;

    std::string folder_;
    int64_t cutAt_;
    int64_t changes_ = 0;
    bool cut_ = false;
    std::vector<std::vector<uint8_t>> synced_;  // per file: its bytes as of its last sync
    std::map<std::string, int> names_;          // name -> file, as now
    std::map<std::string, int> syncedNames_;    // name -> file, as of the last folder sync
};

}  // namespace vorlak::test
