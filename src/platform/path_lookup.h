#pragma once
// File names found beside another file without regard to case: DBF tables and
// their memo files come from systems where AGENCIAS.DBT and agencias.dbf match.
#include <string>

namespace tabrix {

// The path with the extension of its file name replaced by ext (no dot), or
// ext appended when the name has none.
std::string replaceExtension(const std::string& path, const std::string& ext);

// The existing file in path's folder whose name equals path's name ignoring
// ASCII case; the exact name wins when it exists. Empty when none exists.
std::string findIgnoringCase(const std::string& path);

// findIgnoringCase of replaceExtension(path, ext), or, when no such file
// exists, replaceExtension(path, lower-case ext) for creating it.
std::string siblingWithExtension(const std::string& path, const std::string& ext);

}  // namespace tabrix
