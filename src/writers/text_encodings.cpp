#include "writers/text_encodings.h"

#include <algorithm>
#include <iterator>

namespace tabrix {

namespace {

struct Name {
  int codePage;
  std::string_view name;
};

template <size_t N>
std::string_view nameIn(const Name (&names)[N], int codePage) {
  const auto found = std::find_if(std::begin(names), std::end(names), [&](const Name& n) { return n.codePage == codePage; });
  return found == std::end(names) ? std::string_view() : found->name;
}

// The labels browsers decode with the Windows pages themselves (Shift_JIS as
// 932, GBK as 936, EUC-KR as 949, Big5 as 950).
constexpr Name kHtml[] = {{874, "windows-874"},   {1250, "windows-1250"}, {1251, "windows-1251"},
                          {1252, "windows-1252"}, {1253, "windows-1253"}, {1254, "windows-1254"},
                          {1255, "windows-1255"}, {1256, "windows-1256"}, {1257, "windows-1257"},
                          {1258, "windows-1258"}, {932, "Shift_JIS"},     {936, "GBK"},
                          {949, "EUC-KR"},        {950, "Big5"}};

// PostgreSQL knows no DOS page but 866.
constexpr Name kPostgreSql[] = {{866, "WIN866"},   {874, "WIN874"},   {1250, "WIN1250"}, {1251, "WIN1251"},
                                {1252, "WIN1252"}, {1253, "WIN1253"}, {1254, "WIN1254"}, {1255, "WIN1255"},
                                {1256, "WIN1256"}, {1257, "WIN1257"}, {1258, "WIN1258"}, {932, "SJIS"},
                                {936, "GBK"},      {949, "UHC"},      {950, "BIG5"}};

// Only the character sets that hold the page's bytes as Windows reads them:
// MySQL's greek, hebrew, latin5 and tis620 are the ISO pages, which read
// 0x80-0x9F and a few letters differently, so 1253, 1254, 1255 and 874 have
// none (nor 437 and 1258). MySQL's latin1 is Windows 1252.
constexpr Name kMySql[] = {{1250, "cp1250"}, {1251, "cp1251"}, {1252, "latin1"}, {1256, "cp1256"},
                           {1257, "cp1257"}, {850, "cp850"},   {852, "cp852"},   {866, "cp866"},
                           {932, "cp932"},   {936, "gbk"},     {949, "euckr"},   {950, "big5"}};

}  // namespace

std::string_view htmlCharsetName(int codePage) { return nameIn(kHtml, codePage); }
std::string_view postgreSqlEncodingName(int codePage) { return nameIn(kPostgreSql, codePage); }
std::string_view mySqlCharsetName(int codePage) { return nameIn(kMySql, codePage); }

}  // namespace tabrix
