#pragma once
// Path handling for runs over many tables: date and time placeholders in
// names, list files, wildcard and recursive searches, output naming and
// folder creation. Names are matched without regard to case (tables often
// come in upper case) and listed sorted by name, so runs are reproducible.
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tabrix {

// Replaces every occurrence of search (found without regard to ASCII case) by
// replacement, scanning on after each replacement.
void replaceAll(std::string& text, std::string_view search, std::string_view replacement);

// "[date]" and "[date:FORMAT]" (yyyy, mm, dd), any case; only the first
// "[date:" form is expanded (with its identical copies), and then a plain
// "[date]" stays as it is.
std::string expandDatePlaceholders(const std::string& path, const std::tm& now);
// "[time]" and "[time:FORMAT]" (hh, mm, ss), by the same rules.
std::string expandTimePlaceholders(const std::string& path, const std::tm& now);

// Appends the table paths of a list file (lines holding ".dbf" in any case,
// trailing spaces removed, CR LF or LF lines). A failure carries the system's
// text when it cannot be read.
Result readSourceList(const std::string& listFile, std::vector<std::string>& sources);

// Whether name matches a pattern of '*' and '?' without regard to case.
bool matchesWildcard(std::string_view name, std::string_view pattern);
// Files (not folders) whose names match the pattern's last part in the
// pattern's folder, sorted by name; each returned with the pattern's folder.
std::vector<std::string> listMatches(const std::string& pattern);

// The folder a recursive search starts from: the pattern cut back to the
// separator before its first '*' ("." when there is none).
std::string patternFolder(const std::string& pattern);
// Every ".dbf" table (any case) below folder: the tables of each subfolder
// before those of the folder itself, depth first, each level sorted by name.
void collectTablesRecursively(const std::string& folder, std::vector<std::string>& sources);

// The output of one source of a folder run: outputFolder + the source's file
// name cut at its first '.' + "." + ext. With a non-empty searchedFolder
// (recursive runs) the source's subfolders below it are kept under the output
// folder. Creates nothing, so every output can be named before any is written.
std::string outputNameFor(const std::string& outputFolder, const std::string& source, const std::string& ext,
                          const std::string& searchedFolder);

// Creates every folder along path up to its last separator; failures ignored.
void makeFolders(const std::string& path);

}  // namespace tabrix
