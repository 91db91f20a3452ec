#include "dbf/text_pages.h"

#include <algorithm>
#include <iterator>

namespace tabrix {

namespace {

struct MarkPage {
  uint8_t mark;
  int codePage;
};

// The dBase and FoxPro language-driver marks. Macintosh marks (0x04, 0x96,
// 0x97, 0x98) and the Kamenicky (0x68) and Mazovia (0x69) pages are left out:
// iconv has no table for them, so such tables read as unmarked ones.
constexpr MarkPage kMarks[] = {
    {0x01, 437},  {0x02, 850},  {0x03, 1252}, {0x08, 865},  {0x09, 437},  {0x0A, 850},  {0x0B, 437},
    {0x0D, 437},  {0x0E, 850},  {0x0F, 437},  {0x10, 850},  {0x11, 437},  {0x12, 850},  {0x13, 932},
    {0x14, 850},  {0x15, 437},  {0x16, 850},  {0x17, 865},  {0x18, 437},  {0x19, 437},  {0x1A, 850},
    {0x1B, 437},  {0x1C, 863},  {0x1D, 850},  {0x1F, 852},  {0x22, 852},  {0x23, 852},  {0x24, 860},
    {0x25, 850},  {0x26, 866},  {0x37, 850},  {0x40, 852},  {0x4D, 936},  {0x4E, 949},  {0x4F, 950},
    {0x50, 874},  {0x57, 1252}, {0x58, 1252}, {0x59, 1252}, {0x64, 852},  {0x65, 866},  {0x66, 865},
    {0x67, 861},  {0x6A, 737},  {0x6B, 857},  {0x6C, 863},  {0x78, 950},  {0x79, 949},  {0x7A, 936},
    {0x7B, 932},  {0x7C, 874},  {0x7D, 1255}, {0x7E, 1256}, {0x86, 737},  {0x87, 852},  {0x88, 857},
    {0xC8, 1250}, {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253}, {0xCC, 1257},
};

struct Counterparts {
  int dos;
  int windows;
};

// Each DOS page with the Windows page of the same script.
constexpr Counterparts kDosPages[] = {
    {437, 1252}, {850, 1252}, {860, 1252}, {861, 1252}, {863, 1252}, {865, 1252}, {852, 1250},
    {855, 1251}, {866, 1251}, {737, 1253}, {869, 1253}, {857, 1254}, {862, 1255}, {864, 1256},
    {775, 1257},
};

// Each Windows page with the DOS page of the same script; the double-byte
// pages and Thai are their own OEM page.
constexpr Counterparts kWindowsPages[] = {
    {852, 1250}, {866, 1251}, {850, 1252}, {737, 1253}, {857, 1254}, {862, 1255}, {864, 1256},
    {775, 1257}, {1258, 1258}, {874, 874},  {932, 932},  {936, 936},  {949, 949},  {950, 950},
};

const Counterparts* dosPage(int codePage) {
  const auto* found = std::find_if(std::begin(kDosPages), std::end(kDosPages),
                                   [&](const Counterparts& c) { return c.dos == codePage; });
  return found == std::end(kDosPages) ? nullptr : found;
}

const Counterparts* windowsPage(int codePage) {
  const auto* found = std::find_if(std::begin(kWindowsPages), std::end(kWindowsPages),
                                   [&](const Counterparts& c) { return c.windows == codePage; });
  return found == std::end(kWindowsPages) ? nullptr : found;
}

TextPageDecision decisionFor(int codePage, const TextPages& user) {
  if (const Counterparts* dos = dosPage(codePage)) return {{dos->windows, dos->dos}, true, true};
  // The user's own ANSI page keeps their OEM page, so /TOOEM outputs of their
  // tables stay as they were.
  const int oem = codePage == user.ansi ? user.oem : windowsPage(codePage)->dos;
  return {{codePage, oem}, false, true};
}

}  // namespace

int codePageOfMark(uint8_t mark) {
  const auto* found =
      std::find_if(std::begin(kMarks), std::end(kMarks), [&](const MarkPage& m) { return m.mark == mark; });
  return found == std::end(kMarks) ? 0 : found->codePage;
}

uint8_t markOfCodePage(int codePage) {
  const auto* found = std::find_if(std::begin(kMarks), std::end(kMarks),
                                   [&](const MarkPage& m) { return m.codePage == codePage; });
  return found == std::end(kMarks) ? 0 : found->mark;
}

bool isTextCodePage(int codePage) { return dosPage(codePage) || windowsPage(codePage); }

TextPageDecision decideTextPages(uint8_t mark, bool level7, const TableOpenOptions& options) {
  if (isTextCodePage(options.codePage)) return decisionFor(options.codePage, options.userPages);
  if (options.sourceIsAnsi) return {options.userPages, false, false};
  if (const int marked = codePageOfMark(mark)) return decisionFor(marked, options.userPages);
  return {options.userPages, options.sourceIsOem && !level7, false};
}

}  // namespace tabrix
