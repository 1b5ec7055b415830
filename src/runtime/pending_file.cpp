#include "runtime/pending_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "runtime/errors.hpp"

namespace zk::rt {

namespace fs = std::filesystem;

PendingFile::PendingFile(std::string path, std::string label, std::string_view text)
    : path_(std::move(path)), label_(std::move(label)) {
  const fs::path p(path_);
  std::string name = ".";
  name += p.filename().string();
  name += ".zarkel-tmp-";
  name += std::to_string(::getpid());
  temp_ = (p.parent_path() / name).string();
  std::ofstream f(temp_, std::ios::binary | std::ios::trunc);
  if (f) f.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (f) f.flush();
  if (!f) {
    const std::string why = std::strerror(errno);
    discard();
    throw RunStop("could not write the " + label_ + " file " + path_ + " (" + why + ")");
  }
}

PendingFile::~PendingFile() { discard(); }

void PendingFile::commit() {
  std::error_code ec;
  const auto st = fs::status(path_, ec);
  if (!ec && fs::is_regular_file(st)) fs::permissions(temp_, st.permissions(), ec);
  fs::rename(temp_, path_, ec);
  if (ec) throw RunStop("could not save the " + label_ + " file " + path_ + " (" + ec.message() + ")");
  temp_.clear();
}

void PendingFile::discard() {
  if (temp_.empty()) return;
  std::error_code ec;
  fs::remove(temp_, ec);
  temp_.clear();
}

}  // namespace zk::rt
