#pragma once
// A private folder of the temporary folder ($TMPDIR, else /tmp) for files a
// run writes only to read them back (the DATA of chosen planes, the files of
// a phase), removed at the end. The folder and every file in it are in the
// signal-cleanup registry (interrupt.hpp), so an interrupted run leaves none.
#include <string>
#include <string_view>
#include <vector>

namespace zk::rt {

// The temporary folder: $TMPDIR when set and not empty, else /tmp.
std::string temporary_folder();
// Why no private folder with a file in it can be made in the temporary
// folder (missing, not a folder, read-only, not writable, full), naming the
// folder and what to do; "" when one can. Front ends ask before the work.
std::string temporary_folder_problem();

class ScratchFolder {
 public:
  // Makes "<temporary folder>/zarkel-<what>-XXXXXX"; throws RunStop naming the
  // cause when it cannot.
  explicit ScratchFolder(const std::string& what);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Writes `text` as the file `name` of the folder and returns its path;
  // throws RunStop naming the cause (a full file system...) when it cannot.
  std::string write(const std::string& name, std::string_view text);
  const std::string& path() const { return path_; }

 private:
  void release();
  std::string path_;
  int parent_ = -1, dir_ = -1;
  std::string leaf_;
  int folder_slot_ = -1;
  std::vector<std::pair<std::string, int>> files_;  // name, registry slot
};

}  // namespace zk::rt
