#pragma once
// What the words of a command line name: the sources, the output and the
// switch words, and whether a file the run would write is one of the sources
// or their memo files. Pure: the file system is asked through the functions
// passed in, so the rules can be checked on words alone.
#include <string>
#include <vector>

namespace tabrix {

struct CommandWords {
  // One word (a table, a pattern or the "/LIST:" word), or the tables of a
  // pattern the shell expanded.
  std::vector<std::string> sources;
  std::string output;
  std::vector<std::string> switchWords;
};

using FolderExists = bool (*)(const std::string& folder);

// A word beginning with '/' is a switch unless it is an absolute path: the
// folder above its name exists, or it holds a second '/' that no switch
// accounts for ("/data/new/out.csv" in a folder still missing).
bool isSwitchWord(const std::string& word, FolderExists folderExists);

// Leading words that are no switches are the arguments, as cp and mv read
// theirs: one is the source; two are the source and the output; with three
// or more the last is the output and all others are sources. A first word
// beginning with "/LIST:" is the source argument and a switch word. All
// words after the arguments are switch words.
CommandWords splitCommandWords(const std::vector<std::string>& words, FolderExists folderExists);

// A source table and the files it consists of: itself and its memo files.
struct SourceFiles {
  std::string source;
  std::vector<std::string> files;
};

struct PathClash {
  std::string written;     // the file the run would write
  std::string source;      // the table it belongs to
  std::string sourceFile;  // the table itself or its memo file
};

using SameFile = bool (*)(const std::string& a, const std::string& b);

// The first file of written that is one of the sources' files; false when
// none is.
bool findClash(const std::vector<SourceFiles>& sources, const std::vector<std::string>& written, SameFile same,
               PathClash& clash);

}  // namespace tabrix
