#pragma once
// A file written beside its path under a temporary name and moved over the
// path only by commit(), so a program that stops on an error leaves an
// existing file as it was. An uncommitted temporary is removed.
#include <string>
#include <string_view>

namespace zk::rt {

class PendingFile {
 public:
  // Writes `text`; throws RunStop naming `label` and the path when it cannot.
  PendingFile(std::string path, std::string label, std::string_view text);
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();
  const std::string& temp_path() const { return temp_; }
  // Moves the file into place (keeping an existing file's permissions).
  void commit();

 private:
  void discard();
  std::string path_, label_, temp_;
};

}  // namespace zk::rt
