// An output that appears at its destination only when complete: written to a temporary
// file beside it, renamed into place when published, removed if never published. A
// destination that is a symbolic link is written through: the file it points at is replaced
// and the link kept.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace glintara {

class PendingFile {
  public:
    // Reserves a new temporary file in the destination's folder, keeping its extension and
    // the permissions of a destination it will replace. Throws UserError naming the
    // destination.
    explicit PendingFile(std::string destination);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& temporaryPath() const { return temporary_; }
    const std::string& destination() const { return destination_; }

    // Writes the bytes into the temporary file, replacing what it held.
    void write(std::span<const unsigned char> bytes);
    // Flushes the temporary file to disk: a full disk can first show here.
    void sync() const;
    // Renames the synced file over the destination.
    void publish();

  private:
    std::string destination_;
    std::string target_;  // the destination, its symbolic links followed
    std::string temporary_;
    bool committed_ = false;
};

// Syncs every file, checks a last time that no signal asked the tool to stop, and only then
// puts them all in place: the outputs of a job appear together or not at all. Null entries
// are passed over.
void publishTogether(std::initializer_list<PendingFile*> files);
void publishTogether(const std::vector<PendingFile*>& files);

}  // namespace glintara
