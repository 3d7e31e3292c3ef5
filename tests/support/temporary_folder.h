// A real folder for a test to make items in, removed with everything in it when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace tarnel::support {

class TemporaryFolder {
 public:
  TemporaryFolder() {
    char pattern[] = "/tmp/tarnel-test-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
      throw std::filesystem::filesystem_error("mkdtemp",
                                              std::error_code(errno, std::generic_category()));
    root_ = pattern;
    // Open to every user, so that a test acting as an unprivileged user meets only the
    // permissions it sets up itself.
    std::filesystem::permissions(root_, std::filesystem::perms(0755));
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& root() const { return root_; }
  std::string path(std::string_view name) const { return root_ + "/" + std::string(name); }

  // Creates or replaces a file holding exactly `contents`, with permission bits `mode`.
  std::string file(std::string_view name, std::string_view contents, mode_t mode = 0644) const {
    const auto where = path(name);
    {
      std::ofstream stream(where, std::ios::binary | std::ios::trunc);
      stream.write(contents.data(), static_cast<std::streamsize>(contents.size()));
      if (!stream) ADD_FAILURE() << "cannot write " << where;
    }
    std::filesystem::permissions(where, static_cast<std::filesystem::perms>(mode));
    return where;
  }
  // A shell script that the system can run.
  std::string script(std::string_view name, std::string_view body) const {
    return file(name, "#!/bin/sh\n" + std::string(body), 0755);
  }
  std::string folder(std::string_view name) const {
    const auto where = path(name);
    std::filesystem::create_directories(where);
    return where;
  }
  std::string link(std::string_view name, const std::string& target) const {
    const auto where = path(name);
    std::filesystem::create_symlink(target, where);
    return where;
  }
  std::string fifo(std::string_view name) const {
    const auto where = path(name);
    if (::mkfifo(where.c_str(), 0644) != 0) ADD_FAILURE() << "cannot make FIFO " << where;
    return where;
  }

 private:
  std::string root_;
};

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string contentsOf(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

}  // namespace tarnel::support
