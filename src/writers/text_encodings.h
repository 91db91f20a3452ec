#pragma once
// The names other programs know a code page by, for the outputs that say
// which encoding they are written in. Each returns an empty view when the
// program has no name for the page; the output then declares nothing.
#include <string_view>

namespace tabrix {

// A web page's charset: "windows-1251", "Shift_JIS", "GBK", "EUC-KR", "Big5".
std::string_view htmlCharsetName(int codePage);
// PostgreSQL's client_encoding: "WIN1251", "WIN866", "SJIS", "GBK", "UHC", "BIG5".
std::string_view postgreSqlEncodingName(int codePage);
// MySQL's and MariaDB's character set: "cp1251", "latin1", "cp866", "gbk", ...
std::string_view mySqlCharsetName(int codePage);

}  // namespace tabrix
