// Status message files written to a private temporary directory for one test.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/qvl-display-XXXXXX";
    const char* made = mkdtemp(pattern);
    dir_ = made != nullptr ? made : "/tmp";
  }
  ~TempDir() {
    for (const std::string& path : files_) unlink(path.c_str());
    rmdir(dir_.c_str());
  }
  // Writes bytes to a new file and returns its path.
  std::string Write(const std::string& bytes) {
    std::string path = dir_ + "/qvl" + std::to_string(files_.size());
    FILE* f = fopen(path.c_str(), "wb");
    if (f != nullptr) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    files_.push_back(path);
    return path;
  }
  std::string Missing() const { return dir_ + "/no-such-file"; }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};
