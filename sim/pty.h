#pragma once
// The printer's end of the line: the master side of a pseudo-terminal in
// raw mode. Programs open the slave path as their serial port.
#include <optional>
#include <string>

namespace voren::sim {

class Pty {
 public:
  // Opens a new pty, or says why not in *error.
  static std::optional<Pty> open(std::string* error);

  Pty(Pty&& other) noexcept;
  Pty& operator=(Pty&&) = delete;
  ~Pty();

  int fd() const { return master_; }
  const std::string& path() const { return path_; }
  // Closes the master: whoever has the slave open sees a hang-up.
  void hangUp();
  bool open() const { return master_ >= 0; }

 private:
  Pty(int master, std::string path) : master_(master), path_(std::move(path)) {}

  int master_;
  std::string path_;
};

}  // namespace voren::sim
