#pragma once
// A general RTF writer: header with font and colour tables, document and
// section formatting, then paragraphs and table rows in the order asked.
//
// The document keeps five format records. The caller changes their fields and
// then asks for an element; the element is written from the record as it is
// at that moment, and a change holds for every later element. Widths and
// positions are in twips. Every line break the writer emits reaches the file
// as CR LF, and the text is declared in the code page given at opening.
//
// Failures: every operation returns a Result whose reason names what failed
// and the system's text. A file that could not be created makes the document
// refuse every later call. Writes go through a buffered OutputFile that keeps
// the first error: an operation fails when a write failed during it or before
// it, and closeDocument reports any failure of the whole document.
#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "platform/code_pages.h"

#include "platform/output_file.h"
#include "util/result.h"

namespace tabrix {

struct RtfDocumentFormat {
  int32_t viewKind = 1;
  int32_t viewScale = 100;  // percent
  int32_t paperWidth = 12240;
  int32_t paperHeight = 15840;
  int32_t leftMargin = 1800;
  int32_t rightMargin = 1800;
  int32_t topMargin = 1440;
  int32_t bottomMargin = 1440;
  bool facingPages = false;
  int32_t gutter = 0;
  bool protectAnnotations = false;
};

struct RtfSectionFormat {
  int32_t breakKind = 0;  // 0 none, 1 column, 2 page, 3 even page, 4 odd page
  bool newSection = false;
  bool defaultSection = true;
  int32_t pageWidth = 12240;
  int32_t pageHeight = 15840;
  int32_t leftMargin = 1800;
  int32_t rightMargin = 1800;
  int32_t topMargin = 1440;
  int32_t bottomMargin = 1440;
  int32_t gutter = 0;
  int32_t headerPosition = 720;
  int32_t footerPosition = 720;
  bool pageNumbers = false;
  int32_t pageNumberX = 720;
  int32_t pageNumberY = 720;
  bool columns = false;
  int32_t columnCount = 1;
  int32_t columnSpacing = 720;
  bool lineBetweenColumns = false;
};

// The text and the new-paragraph flag are arguments of writeParagraph.
struct RtfParagraphFormat {
  int32_t breakBefore = 0;  // 0 none, 1 page, 2 column, 3 line
  bool reset = true;        // \pard
  int32_t alignment = 0;    // 0 left, 1 centre, 2 right, 3 justified
  int32_t firstLineIndent = 0;
  int32_t leftIndent = 0;
  int32_t rightIndent = 0;
  int32_t spaceBefore = 0;
  int32_t spaceAfter = 0;
  int32_t lineSpacing = 0;
  bool tabOnly = false;  // the text after a tab, nothing else
  bool inTable = false;
  bool tabStop = false;
  int32_t tabPosition = 0;
  int32_t tabKind = 0;    // 0 left, 1 centre, 2 right, 3 decimal
  int32_t tabLeader = 0;  // 0 none, 1 dots, 2 middle dots, 3 hyphens, 4 underline, 5 thick line, 6 equal signs
  bool bullets = false;
  int32_t bulletLevel = 11;
  int32_t bulletIndent = 360;
  uint8_t bulletCharacter = 0x95;
  bool border = false;
  int32_t borderSide = 0;  // 1 top, 2 bottom, 3 left, 4 right, 5 box
  int32_t borderKind = 0;  // rtfBorderWord
  int32_t borderWidth = 0;
  int32_t borderColour = 0;
  int32_t borderSpacing = 0;
  bool shading = false;
  int32_t shadingIntensity = 0;
  int32_t shadingPattern = 0;  // rtfParagraphShadingWord
  int32_t patternForeground = 0;
  int32_t patternBackground = 0;
  int32_t animation = 0;
  int32_t characterSpacing = 0;
  int32_t kerning = 0;
  int32_t horizontalScale = 100;  // percent
  int32_t fontNumber = 0;
  int32_t fontSize = 20;  // half points
  int32_t fontColour = 0;
  bool bold = false;
  bool caps = false;
  bool doubleStrike = false;
  bool emboss = false;
  bool engrave = false;
  bool italic = false;
  bool outline = false;
  bool shadow = false;
  bool smallCaps = false;
  bool strike = false;
  bool subscript = false;
  bool superscript = false;
  int32_t underline = 0;  // rtfUnderlineWord
};

struct RtfRowFormat {
  int32_t alignment = 0;  // 0 left, 1 centre, 2 right
  int32_t height = 0;
  int32_t rightPadding = 0;
  int32_t topPadding = 0;
  int32_t bottomPadding = 0;
  int32_t leftPadding = 0;
  int32_t leftEdge = 0;
};

struct RtfCellBorder {
  bool on = false;
  int32_t kind = 0;  // rtfBorderWord
  int32_t width = 5;
  int32_t colour = 0;
  int32_t spacing = 0;
};

struct RtfCellFormat {
  int32_t verticalAlignment = 0;  // 0 top, 1 centre, 2 bottom
  int32_t textFlow = 0;           // 0 left-right top-bottom, 1 top-bottom right-left, 2 bottom-top, 3 and 4 vertical
  bool shading = false;
  int32_t shadingIntensity = 0;
  int32_t shadingPattern = 0;  // rtfCellShadingWord
  int32_t patternForeground = 0;
  int32_t patternBackground = 0;
  RtfCellBorder left;
  RtfCellBorder right;
  RtfCellBorder top;
  RtfCellBorder bottom;
};

// The control words of the format tables; an index outside a table gives "".
std::string_view rtfBorderWord(int32_t kind);
std::string_view rtfParagraphShadingWord(int32_t pattern);
std::string_view rtfCellShadingWord(int32_t pattern);
std::string_view rtfUnderlineWord(int32_t kind);

// How writeParagraph takes its text.
enum class RtfText {
  // Characters: '\', '{' and '}' are escaped, bytes above 0x7F and control
  // bytes are written as \'hh, a line break (CR LF, CR or LF) as \line and a
  // tab as \tab, so any bytes give valid RTF that shows them.
  Plain,
  // RTF source (control words and groups of the caller), written unchanged.
  Rtf,
};

class RtfDocument {
 public:
  // With files, the document is staged there: it appears when they commit.
  explicit RtfDocument(StagedFiles* files = nullptr) : out_(files, 1 << 16) {}
  RtfDocument(const RtfDocument&) = delete;
  RtfDocument& operator=(const RtfDocument&) = delete;
  // Set before opening: see OutputFile::writeInBackground.
  void writeInBackground(bool on) { out_.writeInBackground(on); }

  // Creates path (truncating it) and writes the header, the document format
  // and the section format. All five formats start at their defaults; a
  // non-empty fontList ("name;name;...") replaces the default font table, a
  // non-empty colourList ("red;green;blue;..." numbers) the default colour table.
  // codePage is the Windows or DOS code page the text's bytes are in.
  Result openDocument(const std::string& path, std::string_view fontList, std::string_view colourList,
                      int codePage = 1252);
  // A row definition from the row format.
  Result startRow();
  // A cell definition from the cell format; rightBoundary is the cell's right
  // edge from the row's left edge.
  Result startCell(int32_t rightBoundary);
  // One paragraph from the paragraph format.
  Result writeParagraph(std::string_view text, bool newParagraph, RtfText kind = RtfText::Plain);
  Result endCell();
  Result endRow();

  // The texts startRow, startCell, writeParagraph (without its text), endCell
  // and endRow would write now, line breaks included: a caller writing many
  // rows alike renders them once and writes each record with writeRendered.
  std::string renderedRow();
  std::string renderedCell(int32_t rightBoundary);
  std::string renderedParagraph(bool newParagraph);
  std::string renderedEndCell();
  std::string renderedEndRow();
  // Writes rendered as it is, then text as writeParagraph takes it.
  Result writeRendered(std::string_view rendered, std::string_view text = {}, RtfText kind = RtfText::Plain);
  // The closing text; closes the file.
  Result closeDocument();

  // Formats for the next elements. The document and section formats are
  // written at opening, so changing them afterwards has no effect.
  RtfDocumentFormat& documentFormat() { return document_; }
  RtfSectionFormat& sectionFormat() { return section_; }
  RtfParagraphFormat& paragraphFormat() { return paragraph_; }
  RtfRowFormat& rowFormat() { return row_; }
  RtfCellFormat& cellFormat() { return cell_; }

  // Whether a write or the creation failed, and the system's text of it.
  bool failed() const { return out_.failed(); }
  std::string errorText() const { return out_.errorText(); }

 private:
  void appendFontTable(std::string_view fontList);
  void appendFontCharset();
  void appendColourTable(std::string_view colourList);
  void appendText(std::string_view text, RtfText kind);
  void appendDocumentFormat();
  void appendSectionFormat();
  void appendParagraphPart(bool newParagraph);
  void appendCharacterPart();
  void appendCellBorder(std::string_view side, const RtfCellBorder& border);
  // The control texts of the elements, appended to the piece.
  void appendRow();
  void appendCell(int32_t rightBoundary);
  void appendParagraphHead(bool newParagraph);
  // The piece with each LF as CR LF, as writePiece writes it.
  std::string renderedPiece() const;
  // Writes the assembled piece, each LF as CR LF; success unless a write
  // has failed so far.
  bool writePiece();
  // writePiece as a result; what names the element for the failure's reason.
  Result write(std::string_view what);
  // The reason of a failure: what failed, then the system's text when there is one.
  Result failure(std::string_view what) const;

  OutputFile out_;
  bool open_ = false;  // between a successful creation and closeDocument
  fmt::memory_buffer piece_;
  int codePage_ = 1252;
  // The code page's two-byte characters, whose second byte may be a backslash
  // or brace: such a character is written as two hex escapes.
  CharacterBytes characters_;
  RtfDocumentFormat document_;
  RtfSectionFormat section_;
  RtfParagraphFormat paragraph_;
  RtfRowFormat row_;
  RtfCellFormat cell_;
};

}  // namespace tabrix
