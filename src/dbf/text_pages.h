#pragma once
// The code pages a table's text is in, decided once when the table opens from
// the user's choice and the table's code-page mark (header byte 29).
#include <cstdint>

namespace tabrix {

// The Windows (ANSI) page the text is decoded to, and the OEM (DOS) page it
// is stored in when it is OEM text (the page OEM outputs are written in).
struct TextPages {
  int ansi = 1252;
  int oem = 437;
};

struct TableOpenOptions {
  int codePage = 0;           // the user named the text's code page ("/CP:n"); 0 when not
  bool sourceIsAnsi = false;  // the user declared the text to be in their ANSI page
  bool sourceIsOem = false;   // the user asked for OEM text
  TextPages userPages;        // the user's own pages (environment or locale)
};

struct TextPageDecision {
  TextPages pages;
  bool oemText = false;  // stored in pages.oem; decoding translates it to pages.ansi
  bool named = false;    // the user or the mark named the page (not the user's own pages)
};

// The Windows or DOS code page a mark names; 0 for 0, unknown marks and pages
// iconv cannot convert (Macintosh, Kamenicky, Mazovia).
int codePageOfMark(uint8_t mark);

// A mark naming the page (the first in the table); 0 when no mark names it.
uint8_t markOfCodePage(int codePage);
// Whether a page is one a table's text may be read in ("/CP:n").
bool isTextCodePage(int codePage);

// In order: the named page, /ANSI (the user's pages), a mark naming a known
// page, /OEM, the user's pages. A DOS page makes the text OEM text decoded to
// the page's Windows counterpart. Level 7 tables without a known mark are
// never read as OEM text.
TextPageDecision decideTextPages(uint8_t mark, bool level7, const TableOpenOptions& options);

}  // namespace tabrix
