#pragma once
// The program's own place on disk and the desktop's viewer for documents.
#include <string>

namespace tabrix {

// The folder of the running program, ending in '/'; argv0's folder when the
// system does not tell.
std::string programFolder(const char* argv0);

// Opens path with the desktop's viewer in a process of its own, without
// waiting; a failure is silent.
void openWithViewer(const std::string& path);

}  // namespace tabrix
