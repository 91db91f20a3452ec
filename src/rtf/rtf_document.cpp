// Each element is assembled in one reused piece with LF line breaks and then
// written with every LF as CR LF, the form RTF files have on the system the
// format comes from. Control words are appended one by one: a word and its
// number, so no format string has to escape RTF's braces.
#include "rtf/rtf_document.h"

#include <array>
#include <cstring>
#include <iterator>

#include "util/text_scan.h"

namespace tabrix {

namespace {

// Border kinds, shading patterns (paragraph and cell forms) and underline
// kinds by index.
constexpr std::array<std::string_view, 18> kBorderWords = {
    "\\brdrs",      "\\brdrth",     "\\brdrsh",     "\\brdrdb",      "\\brdrdot",        "\\brdrdash",
    "\\brdrhair",   "\\brdrinset",  "\\brdrdashsm", "\\brdrdashd",   "\\brdrdashdd",     "\\brdroutset",
    "\\brdrtriple", "\\brdrwavy",   "\\brdrwavydb", "\\brdrdashdotstr", "\\brdremboss", "\\brdrengrave"};

constexpr std::array<std::string_view, 13> kParagraphShadingWords = {
    "",           "\\bghoriz",   "\\bgvert",     "\\bgfdiag",    "\\bgbdiag",    "\\bgcross",
    "\\bgdcross",  "\\bgdkhoriz", "\\bgdkvert",   "\\bgdkfdiag",  "\\bgdkbdiag",  "\\bgdkcross",
    "\\bgdkdcross"};

constexpr std::array<std::string_view, 13> kCellShadingWords = {
    "",             "\\clbghoriz",   "\\clbgvert",     "\\clbgfdiag",    "\\clbgbdiag",    "\\clbgcross",
    "\\clbgdcross",  "\\clbgdkhoriz", "\\clbgdkvert",   "\\clbgdkfdiag",  "\\clbgdkbdiag",  "\\clbgdkcross",
    "\\clbgdkdcross"};

constexpr std::array<std::string_view, 18> kUnderlineWords = {
    "\\ulnone",     "\\ul",          "\\uld",        "\\uldash",      "\\uldashd",   "\\uldashdd",
    "\\uldb",       "\\ulhwave",     "\\ulldash",    "\\ulth",        "\\ulthd",     "\\ulthdash",
    "\\ulthdashd",  "\\ulthdashdd",  "\\ulthldash",  "\\ululdbwave",  "\\ulw",       "\\ulwave"};

struct DefaultFont {
  std::string_view family;
  std::string_view name;
};
constexpr std::array<DefaultFont, 7> kDefaultFonts = {{{"roman", "Times New Roman"},
                                                       {"swiss", "Arial"},
                                                       {"modern", "Courier New"},
                                                       {"script", "Cursive"},
                                                       {"decor", "Old English"},
                                                       {"tech", "Symbol"},
                                                       {"bidi", "Miriam"}}};

// Black, red, green, blue, yellow, magenta, cyan, white, dark red, dark
// green, dark blue, olive, purple, teal, grey.
constexpr std::array<std::array<int, 3>, 15> kDefaultColours = {{{0, 0, 0},
                                                                 {255, 0, 0},
                                                                 {0, 255, 0},
                                                                 {0, 0, 255},
                                                                 {255, 255, 0},
                                                                 {255, 0, 255},
                                                                 {0, 255, 255},
                                                                 {255, 255, 255},
                                                                 {128, 0, 0},
                                                                 {0, 128, 0},
                                                                 {0, 0, 128},
                                                                 {128, 128, 0},
                                                                 {128, 0, 128},
                                                                 {0, 128, 128},
                                                                 {128, 128, 128}}};

template <size_t N>
std::string_view entryOf(const std::array<std::string_view, N>& table, int32_t index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[static_cast<size_t>(index)] : std::string_view();
}

// Word of a choice from 1 up: index 1 gives words[0]; 0 and others give "".
template <size_t N>
std::string_view choiceFromOne(const std::array<std::string_view, N>& words, int32_t index) {
  return index >= 1 && static_cast<size_t>(index) <= N ? words[static_cast<size_t>(index) - 1] : std::string_view();
}

// Calls each(piece) for the non-empty pieces of a ";"-separated list.
template <typename Each>
void forEachListPiece(std::string_view list, Each each) {
  while (!list.empty()) {
    const size_t end = list.find(';');
    const std::string_view piece = list.substr(0, end);
    if (!piece.empty()) each(piece);
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
}

constexpr char kHexDigits[] = "0123456789abcdef";

constexpr std::string_view kEndCell = "\n\\cell ";
constexpr std::string_view kEndRow = "\n\\trgaph115\\row\\pard";

void add(fmt::memory_buffer& piece, std::string_view text) { piece.append(text.data(), text.data() + text.size()); }

void add(fmt::memory_buffer& piece, std::string_view word, int32_t number) {
  add(piece, word);
  const fmt::format_int digits(number);
  piece.append(digits.data(), digits.data() + digits.size());
}

}  // namespace

std::string_view rtfBorderWord(int32_t kind) { return entryOf(kBorderWords, kind); }
std::string_view rtfParagraphShadingWord(int32_t pattern) { return entryOf(kParagraphShadingWords, pattern); }
std::string_view rtfCellShadingWord(int32_t pattern) { return entryOf(kCellShadingWords, pattern); }
std::string_view rtfUnderlineWord(int32_t kind) { return entryOf(kUnderlineWords, kind); }

void RtfDocument::appendText(std::string_view text, RtfText kind) {
  if (kind == RtfText::Rtf) {
    add(piece_, text);
    return;
  }
  const auto appendHex = [this](uint8_t b) {
    const char hex[4] = {'\\', '\'', kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
    piece_.append(hex, hex + 4);
  };
  size_t i = 0;
  while (i < text.size()) {
    // Runs of ordinary characters go in one copy.
    size_t run = i;
    while (run < text.size()) {
      const auto b = static_cast<uint8_t>(text[run]);
      if (b < 0x20 || b >= 0x7F || b == '\\' || b == '{' || b == '}') break;
      ++run;
    }
    add(piece_, text.substr(i, run - i));
    if (run == text.size()) break;
    const char c = text[run];
    const auto b = static_cast<uint8_t>(c);
    i = run + 1;
    if (c == '\\' || c == '{' || c == '}') {
      const char escaped[2] = {'\\', c};
      piece_.append(escaped, escaped + 2);
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      add(piece_, "\\line ");
    } else if (c == '\t') {
      add(piece_, "\\tab ");
    } else {
      appendHex(b);
      if (characters_.doubleByte && characters_.lead[b] && i < text.size() &&
          characters_.trail[static_cast<uint8_t>(text[i])]) {
        appendHex(static_cast<uint8_t>(text[i++]));
      }
    }
  }
}

namespace {

// The font character set readers take a font's text in: Word goes by it
// rather than by the document's code page. OEM for the DOS pages.
int32_t fontCharsetOf(int codePage) {
  switch (codePage) {
    case 874: return 222;
    case 932: return 128;
    case 936: return 134;
    case 949: return 129;
    case 950: return 136;
    case 1250: return 238;
    case 1251: return 204;
    case 1252: return 0;
    case 1253: return 161;
    case 1254: return 162;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1258: return 163;
    default: return codePage < 1000 ? 255 : 0;
  }
}

}  // namespace

void RtfDocument::appendFontCharset() {
  add(piece_, "\\fcharset", fontCharsetOf(codePage_));
  add(piece_, "\\cpg", static_cast<int32_t>(codePage_));
  add(piece_, " ");
}

void RtfDocument::appendFontTable(std::string_view fontList) {
  if (fontList.empty()) {
    for (size_t n = 0; n < kDefaultFonts.size(); ++n) {
      add(piece_, "{\\f", static_cast<int32_t>(n));
      add(piece_, "\\f");
      add(piece_, kDefaultFonts[n].family);
      appendFontCharset();
      add(piece_, kDefaultFonts[n].name);
      add(piece_, "}");
    }
    return;
  }
  int32_t n = 0;
  forEachListPiece(fontList, [&](std::string_view name) {
    add(piece_, "{\\f", n++);
    add(piece_, "\\fnil");
    appendFontCharset();
    appendText(name, RtfText::Plain);
    add(piece_, "}");
  });
}

void RtfDocument::appendColourTable(std::string_view colourList) {
  if (colourList.empty()) {
    for (const std::array<int, 3>& c : kDefaultColours) {
      add(piece_, "\\red", c[0]);
      add(piece_, "\\green", c[1]);
      add(piece_, "\\blue", c[2]);
      add(piece_, ";");
    }
    return;
  }
  // Three numbers to a colour; a last colour cut short lacks its last parts.
  static constexpr std::array<std::string_view, 3> kParts = {"\\red", "\\green", "\\blue"};
  size_t part = 0;
  forEachListPiece(colourList, [&](std::string_view number) {
    add(piece_, kParts[part]);
    add(piece_, number);
    if (part == 2) add(piece_, ";");
    part = (part + 1) % 3;
  });
}

void RtfDocument::appendDocumentFormat() {
  const RtfDocumentFormat& d = document_;
  add(piece_, "\\viewkind", d.viewKind);
  add(piece_, "\\viewscale", d.viewScale);
  add(piece_, "\\paperw", d.paperWidth);
  add(piece_, "\\paperh", d.paperHeight);
  add(piece_, "\\margl", d.leftMargin);
  add(piece_, "\\margr", d.rightMargin);
  add(piece_, "\\margt", d.topMargin);
  add(piece_, "\\margb", d.bottomMargin);
  add(piece_, "\\gutter", d.gutter);
  if (d.facingPages) add(piece_, "\\facingp");
  if (d.protectAnnotations) add(piece_, "\\annotprot");
}

void RtfDocument::appendSectionFormat() {
  static constexpr std::array<std::string_view, 5> kBreakWords = {"\\sbknone", "\\sbkcol", "\\sbkpage", "\\sbkeven",
                                                                  "\\sbkodd"};
  const RtfSectionFormat& s = section_;
  add(piece_, "\n");
  if (s.newSection) add(piece_, "\\sect");
  if (s.defaultSection) add(piece_, "\\sectd");
  if (s.pageNumbers) {
    add(piece_, "\\pgnx", s.pageNumberX);
    add(piece_, "\\pgny", s.pageNumberY);
  }
  add(piece_, entryOf(kBreakWords, s.breakKind));
  if (s.columns) {
    add(piece_, "\\cols", s.columnCount);
    add(piece_, "\\colsx", s.columnSpacing);
    if (s.lineBetweenColumns) add(piece_, "\\linebetcol");
  }
  add(piece_, "\\pgwsxn", s.pageWidth);
  add(piece_, "\\pghsxn", s.pageHeight);
  add(piece_, "\\marglsxn", s.leftMargin);
  add(piece_, "\\margrsxn", s.rightMargin);
  add(piece_, "\\margtsxn", s.topMargin);
  add(piece_, "\\margbsxn", s.bottomMargin);
  add(piece_, "\\guttersxn", s.gutter);
  add(piece_, "\\headery", s.headerPosition);
  add(piece_, "\\footery", s.footerPosition);
}

Result RtfDocument::openDocument(const std::string& path, std::string_view fontList,
                                    std::string_view colourList, int codePage) {
  open_ = false;
  document_ = {};
  section_ = {};
  paragraph_ = {};
  row_ = {};
  cell_ = {};
  // The system's text alone says why the file could not be made or written.
  const auto notCreated = [this] {
    const std::string system = out_.errorText();
    return Result::failure(system.empty() ? "the RTF document could not be created" : system);
  };
  if (!out_.open(path, /*append=*/false)) return notCreated();
  open_ = true;

  piece_.clear();
  codePage_ = codePage;
  characters_ = characterBytes(codePage);
  add(piece_, "{\\rtf1\\ansi\\ansicpg", static_cast<int32_t>(codePage));
  add(piece_, "\\deff0{\\fonttbl");
  appendFontTable(fontList);
  add(piece_, "}{\\colortbl");
  appendColourTable(colourList);
  add(piece_, "}{\\*\\generator Quillon;}\n{\\info{\\author Quillon}{\\company Norvane}}");
  if (!writePiece()) return notCreated();
  piece_.clear();
  appendDocumentFormat();
  if (!writePiece()) return notCreated();
  piece_.clear();
  appendSectionFormat();
  return writePiece() ? Result() : notCreated();
}

void RtfDocument::appendParagraphPart(bool newParagraph) {
  static constexpr std::array<std::string_view, 3> kBreaks = {"\\page", "\\column", "\\line"};
  static constexpr std::array<std::string_view, 4> kAlignments = {"\\ql", "\\qc", "\\qr", "\\qj"};
  static constexpr std::array<std::string_view, 3> kTabKinds = {"\\tqc", "\\tqr", "\\tqdec"};
  static constexpr std::array<std::string_view, 6> kLeaders = {"\\tldot", "\\tlmdot", "\\tlhyph",
                                                               "\\tlul",  "\\tlth",   "\\tleq"};
  static constexpr std::array<std::string_view, 5> kSides = {"\\brdrt", "\\brdrb", "\\brdrl", "\\brdrr", "\\box"};
  const RtfParagraphFormat& p = paragraph_;
  if (newParagraph) add(piece_, "\\par");
  if (p.reset) add(piece_, "\\pard");
  add(piece_, p.inTable ? "\\intbl" : "\\plain");
  add(piece_, choiceFromOne(kBreaks, p.breakBefore));
  add(piece_, entryOf(kAlignments, p.alignment));
  if (p.tabStop) {
    add(piece_, choiceFromOne(kTabKinds, p.tabKind));
    add(piece_, choiceFromOne(kLeaders, p.tabLeader));
    add(piece_, "\\tx", p.tabPosition);
  }
  if (p.bullets) {
    add(piece_, "{\\*\\pn\\pnlvl", p.bulletLevel);
    add(piece_, "\\pnsp", p.bulletIndent);
    add(piece_, "\\pntxtb ");
    const char bullet = static_cast<char>(p.bulletCharacter);
    appendText(std::string_view(&bullet, 1), RtfText::Plain);
    add(piece_, "}");
  }
  if (p.border) {
    add(piece_, choiceFromOne(kSides, p.borderSide));
    add(piece_, rtfBorderWord(p.borderKind));
    add(piece_, "\\brdrw", p.borderWidth);
    add(piece_, "\\brsp", p.borderSpacing);
    add(piece_, "\\brdrcf", p.borderColour);
  }
  if (p.shading) {
    add(piece_, "\\shading", p.shadingIntensity);
    add(piece_, rtfParagraphShadingWord(p.shadingPattern));
    add(piece_, "\\cfpat", p.patternForeground);
    add(piece_, "\\cbpat", p.patternBackground);
  }
}

void RtfDocument::appendCharacterPart() {
  const RtfParagraphFormat& p = paragraph_;
  add(piece_, "\\animtext", p.animation);
  add(piece_, "\\expndtw", p.characterSpacing);
  add(piece_, "\\kerning", p.kerning);
  add(piece_, "\\charscalex", p.horizontalScale);
  add(piece_, "\\f", p.fontNumber);
  add(piece_, "\\fs", p.fontSize);
  add(piece_, "\\cf", p.fontColour);
  add(piece_, p.bold ? "\\b" : "\\b0");
  add(piece_, p.caps ? "\\caps" : "\\caps0");
  add(piece_, p.doubleStrike ? "\\striked1" : "\\striked0");
  if (p.emboss) add(piece_, "\\embo");
  if (p.engrave) add(piece_, "\\impr");
  add(piece_, p.italic ? "\\i" : "\\i0");
  add(piece_, p.outline ? "\\outl" : "\\outl0");
  add(piece_, p.shadow ? "\\shad" : "\\shad0");
  add(piece_, p.smallCaps ? "\\scaps" : "\\scaps0");
  add(piece_, p.strike ? "\\strike" : "\\strike0");
  if (p.subscript) add(piece_, "\\sub");
  if (p.superscript) add(piece_, "\\super");
  add(piece_, rtfUnderlineWord(p.underline));
}

void RtfDocument::appendParagraphHead(bool newParagraph) {
  if (paragraph_.tabOnly) {
    add(piece_, "\\tab ");
    return;
  }
  const RtfParagraphFormat& p = paragraph_;
  add(piece_, "\n");
  appendParagraphPart(newParagraph);
  add(piece_, "\\fi", p.firstLineIndent);
  add(piece_, "\\li", p.leftIndent);
  add(piece_, "\\ri", p.rightIndent);
  add(piece_, "\\sb", p.spaceBefore);
  add(piece_, "\\sa", p.spaceAfter);
  add(piece_, "\\sl", p.lineSpacing);
  appendCharacterPart();
  add(piece_, " ");
}

Result RtfDocument::writeParagraph(std::string_view text, bool newParagraph, RtfText kind) {
  if (!open_) return Result::failure("the RTF document is not open");
  piece_.clear();
  appendParagraphHead(newParagraph);
  appendText(text, kind);
  return write("a paragraph");
}

void RtfDocument::appendRow() {
  static constexpr std::array<std::string_view, 3> kRowAlignments = {"\\trql", "\\trqc", "\\trqr"};
  const RtfRowFormat& r = row_;
  add(piece_, "\n\\trowd\\trgaph115");
  add(piece_, entryOf(kRowAlignments, r.alignment));
  add(piece_, "\\trleft", r.leftEdge);
  add(piece_, "\\trrh", r.height);
  add(piece_, "\\trpaddb", r.bottomPadding);
  add(piece_, "\\trpaddfb3\\trpaddl", r.leftPadding);
  add(piece_, "\\trpaddfl3\\trpaddr", r.rightPadding);
  add(piece_, "\\trpaddfr3\\trpaddt", r.topPadding);
  add(piece_, "\\trpaddft3");
}

Result RtfDocument::startRow() {
  if (!open_) return Result::failure("the RTF document is not open");
  piece_.clear();
  appendRow();
  return write("a row");
}

void RtfDocument::appendCellBorder(std::string_view side, const RtfCellBorder& border) {
  if (!border.on) return;
  add(piece_, side);
  add(piece_, rtfBorderWord(border.kind));
  add(piece_, "\\brdrw", border.width);
  add(piece_, "\\brsp", border.spacing);
  add(piece_, "\\brdrcf", border.colour);
}

void RtfDocument::appendCell(int32_t rightBoundary) {
  static constexpr std::array<std::string_view, 3> kVertical = {"\\clvertalt", "\\clvertalc", "\\clvertalb"};
  static constexpr std::array<std::string_view, 5> kFlows = {"\\cltxlrtb", "\\cltxtbrl", "\\cltxbtlr", "\\cltxlrtbv",
                                                             "\\cltxtbrlv"};
  const RtfCellFormat& c = cell_;
  add(piece_, "\n\\tcelld");
  add(piece_, entryOf(kVertical, c.verticalAlignment));
  add(piece_, entryOf(kFlows, c.textFlow));
  appendCellBorder("\\clbrdrb", c.bottom);
  appendCellBorder("\\clbrdrl", c.left);
  appendCellBorder("\\clbrdrr", c.right);
  appendCellBorder("\\clbrdrt", c.top);
  if (c.shading) {
    add(piece_, rtfCellShadingWord(c.shadingPattern));
    add(piece_, "\\clshdgn", c.shadingIntensity);
    add(piece_, "\\clcfpat", c.patternForeground);
    add(piece_, "\\clcbpat", c.patternBackground);
  }
  add(piece_, "\\cellx", rightBoundary);
}

Result RtfDocument::startCell(int32_t rightBoundary) {
  if (!open_) return Result::failure("the RTF document is not open");
  piece_.clear();
  appendCell(rightBoundary);
  return write("a cell");
}

Result RtfDocument::endCell() {
  if (!open_) return Result::failure("the RTF document is not open");
  piece_.clear();
  add(piece_, kEndCell);
  return write("the end of a cell");
}

Result RtfDocument::endRow() {
  if (!open_) return Result::failure("the RTF document is not open");
  piece_.clear();
  add(piece_, kEndRow);
  return write("the end of a row");
}

Result RtfDocument::closeDocument() {
  if (!open_) return Result::failure("the RTF document is not open");
  open_ = false;
  piece_.clear();
  add(piece_, "\n\\par}");
  const bool written = writePiece();
  return out_.close() && written ? Result() : failure("cannot close the RTF document");
}

std::string RtfDocument::renderedRow() {
  piece_.clear();
  appendRow();
  return renderedPiece();
}

std::string RtfDocument::renderedCell(int32_t rightBoundary) {
  piece_.clear();
  appendCell(rightBoundary);
  return renderedPiece();
}

std::string RtfDocument::renderedParagraph(bool newParagraph) {
  piece_.clear();
  appendParagraphHead(newParagraph);
  return renderedPiece();
}

std::string RtfDocument::renderedEndCell() {
  piece_.clear();
  add(piece_, kEndCell);
  return renderedPiece();
}

std::string RtfDocument::renderedEndRow() {
  piece_.clear();
  add(piece_, kEndRow);
  return renderedPiece();
}

std::string RtfDocument::renderedPiece() const {
  std::string text;
  text.reserve(piece_.size() + 16);
  for (const char c : piece_) {
    if (c == '\n') text += '\r';
    text += c;
  }
  return text;
}

Result RtfDocument::writeRendered(std::string_view rendered, std::string_view text, RtfText kind) {
  if (!open_) return Result::failure("the RTF document is not open");
  out_.write(rendered.data(), rendered.size());
  // An empty value may have no storage to copy from: it writes nothing.
  if (!text.empty() && kind == RtfText::Plain && isPlainText<'\\', '{', '}'>(text)) {
    // Most values need no escape: they go out as they are.
    out_.write(text.data(), text.size());
  } else if (!text.empty()) {
    piece_.clear();
    appendText(text, kind);
    // Escaped plain text holds no line break; RTF source may.
    if (kind == RtfText::Rtf) {
      writePiece();
    } else {
      out_.write(piece_.data(), piece_.size());
    }
  }
  return out_.failed() ? failure("cannot write a row of the RTF document") : Result();
}

Result RtfDocument::write(std::string_view what) {
  return writePiece() ? Result() : failure(fmt::format("cannot write {} of the RTF document", what));
}

Result RtfDocument::failure(std::string_view what) const {
  const std::string system = out_.errorText();
  return Result::failure(system.empty() ? std::string(what) : fmt::format("{}: {}", what, system));
}

bool RtfDocument::writePiece() {
  const char* text = piece_.data();
  const char* const end = text + piece_.size();
  while (text < end) {
    const char* lf = static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(end - text)));
    if (!lf) {
      out_.write(text, static_cast<size_t>(end - text));
      break;
    }
    out_.write(text, static_cast<size_t>(lf - text));
    out_.write("\r\n", 2);
    text = lf + 1;
  }
  return !out_.failed();
}

}  // namespace tabrix
