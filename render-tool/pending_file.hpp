// An output that appears at its destination only when complete: written to a temporary
// file beside it, renamed into place on commit, removed if never committed.
#pragma once

#include <span>
#include <string>

namespace glintara::tool {

class PendingFile {
  public:
    // Reserves a new temporary file in the destination's folder, keeping its extension (a
    // video writer picks its container by it). Throws ToolError naming the destination.
    explicit PendingFile(std::string destination);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& temporaryPath() const { return temporary_; }
    const std::string& destination() const { return destination_; }

    // Writes the bytes into the temporary file, replacing what it held.
    void write(std::span<const unsigned char> bytes);
    // Flushes the temporary file to disk and renames it over the destination.
    void commit();

  private:
    std::string destination_;
    std::string temporary_;
    bool committed_ = false;
};

}  // namespace glintara::tool
