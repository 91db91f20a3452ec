#include "platform/desktop.h"

#include <unistd.h>

namespace tabrix {

std::string programFolder(const char* argv0) {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string program = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(argv0);
  return program.substr(0, program.rfind('/') + 1);
}

void openWithViewer(const std::string& path) {
  if (::fork() == 0) {
    // A session of its own, so the viewer outlives this program's terminal.
    ::setsid();
    ::execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
}

}  // namespace tabrix
