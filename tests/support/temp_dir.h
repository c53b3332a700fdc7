#pragma once
// A fresh folder under the system's temporary folder, removed with the object.

#include <string>

namespace orvane::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes `content` to `name` inside the folder and returns the full path.
  std::string Write(const std::string& name, const std::string& content) const;
  static std::string Read(const std::string& path);

 private:
  std::string path_;
};

}  // namespace orvane::test
