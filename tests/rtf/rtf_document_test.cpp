// RtfDocument: the exact texts of the header, the formats and every element,
// escaping, CR LF line ends, and the failures.
#include "rtf/rtf_document.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "support/temp_folder.h"

namespace tabrix {
namespace {

using test::TempFolder;

constexpr char kDefaultFonts[] =
    R"({\f0\froman\fcharset0\cpg1252 Times New Roman}{\f1\fswiss\fcharset0\cpg1252 Arial})"
    R"({\f2\fmodern\fcharset0\cpg1252 Courier New}{\f3\fscript\fcharset0\cpg1252 Cursive})"
    R"({\f4\fdecor\fcharset0\cpg1252 Old English}{\f5\ftech\fcharset0\cpg1252 Symbol})"
    R"({\f6\fbidi\fcharset0\cpg1252 Miriam})";
constexpr char kDefaultColours[] =
    R"(\red0\green0\blue0;\red255\green0\blue0;\red0\green255\blue0;\red0\green0\blue255;)"
    R"(\red255\green255\blue0;\red255\green0\blue255;\red0\green255\blue255;\red255\green255\blue255;)"
    R"(\red128\green0\blue0;\red0\green128\blue0;\red0\green0\blue128;\red128\green128\blue0;)"
    R"(\red128\green0\blue128;\red0\green128\blue128;\red128\green128\blue128;)";
constexpr char kFormats[] =
    R"(\viewkind1\viewscale100\paperw12240\paperh15840\margl1800\margr1800\margt1440\margb1440\gutter0)"
    "\r\n"
    R"(\sectd\sbknone\pgwsxn12240\pghsxn15840\marglsxn1800\margrsxn1800\margtsxn1440\margbsxn1440)"
    R"(\guttersxn0\headery720\footery720)";
constexpr char kClosing[] = "\r\n\\par}";
// The character part of a paragraph with the default format.
constexpr char kPlainCharacters[] =
    R"(\animtext0\expndtw0\kerning0\charscalex100\f0\fs20\cf0\b0\caps0\striked0\i0\outl0\shad0\scaps0\strike0\ulnone)";

std::string header(const std::string& fonts, const std::string& colours) {
  return R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl)" + fonts + R"(}{\colortbl)" + colours +
         R"(}{\*\generator Quillon;})" "\r\n" R"({\info{\author Quillon}{\company Norvane}})";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The bytes a default document holds between its formats and its closing
// text after `elements` ran on it.
std::string elementBytes(const std::function<void(RtfDocument&)>& elements) {
  TempFolder temp;
  RtfDocument doc;
  EXPECT_TRUE(doc.openDocument(temp.at("e.rtf"), "", "").ok());
  elements(doc);
  EXPECT_TRUE(doc.closeDocument().ok());
  const std::string bytes = readFile(temp.at("e.rtf"));
  const std::string prefix = header(kDefaultFonts, kDefaultColours) + kFormats;
  if (bytes.compare(0, prefix.size(), prefix) != 0 || bytes.size() < prefix.size() + 7 ||
      bytes.compare(bytes.size() - 7, 7, kClosing) != 0) {
    ADD_FAILURE() << "not a default document: " << bytes;
    return {};
  }
  return bytes.substr(prefix.size(), bytes.size() - prefix.size() - 7);
}

std::string paragraphBytes(std::string_view text, const std::function<void(RtfParagraphFormat&)>& set,
                           RtfText kind = RtfText::Plain, bool newParagraph = false) {
  return elementBytes([&](RtfDocument& doc) {
    set(doc.paragraphFormat());
    EXPECT_TRUE(doc.writeParagraph(text, newParagraph, kind).ok());
  });
}

std::string plainParagraph(const std::string& escaped) {
  return "\r\n" R"(\pard\plain\ql\fi0\li0\ri0\sb0\sa0\sl0)" + std::string(kPlainCharacters) + " " + escaped;
}

TEST(RtfDocumentTest, DefaultDocumentWithoutParagraph) {
  TempFolder temp;
  RtfDocument doc;
  ASSERT_TRUE(doc.openDocument(temp.at("d.rtf"), "", "").ok());
  ASSERT_TRUE(doc.closeDocument().ok());
  EXPECT_EQ(readFile(temp.at("d.rtf")), header(kDefaultFonts, kDefaultColours) + kFormats + kClosing);
  EXPECT_FALSE(doc.failed());
}

TEST(RtfDocumentTest, FontAndColourLists) {
  TempFolder temp;
  auto document = [&](std::string_view fonts, std::string_view colours) {
    RtfDocument doc;
    EXPECT_TRUE(doc.openDocument(temp.at("l.rtf"), fonts, colours).ok());
    EXPECT_TRUE(doc.closeDocument().ok());
    return readFile(temp.at("l.rtf"));
  };
  // Two fonts, numbered from 0, of family \fnil; two colours.
  EXPECT_EQ(document("Times New Roman;Arial;", "0;0;0;255;0;0"),
            header(R"({\f0\fnil\fcharset0\cpg1252 Times New Roman}{\f1\fnil\fcharset0\cpg1252 Arial})",
                   R"(\red0\green0\blue0;\red255\green0\blue0;)") +
                kFormats + kClosing);
  // A last colour cut short lacks its last parts; a name's braces are escaped.
  EXPECT_EQ(document("Odd {Font}", "0;0;0;255;0"),
            header(R"({\f0\fnil\fcharset0\cpg1252 Odd \{Font\}})", R"(\red0\green0\blue0;\red255\green0)") +
                kFormats + kClosing);
  // An empty font list keeps the seven default fonts, whatever the colours.
  EXPECT_EQ(document("", "1;2;3"), header(kDefaultFonts, R"(\red1\green2\blue3;)") + kFormats + kClosing);
}

TEST(RtfDocumentTest, LongListsBeyondAKilobyte) {
  std::string fonts, colours, fontTable, colourTable;
  for (int n = 0; n < 150; ++n) {
    const std::string name = "Font family number " + std::to_string(n);
    fonts += name + ";";
    fontTable += "{\\f" + std::to_string(n) + "\\fnil\\fcharset0\\cpg1252 " + name + "}";
    colours += std::to_string(n) + ";" + std::to_string(n + 1) + ";" + std::to_string(n + 2) + ";";
    colourTable += "\\red" + std::to_string(n) + "\\green" + std::to_string(n + 1) + "\\blue" +
                   std::to_string(n + 2) + ";";
  }
  ASSERT_GT(fontTable.size() + colourTable.size(), 8192u);
  TempFolder temp;
  RtfDocument doc;
  ASSERT_TRUE(doc.openDocument(temp.at("long.rtf"), fonts, colours).ok());
  ASSERT_TRUE(doc.closeDocument().ok());
  EXPECT_EQ(readFile(temp.at("long.rtf")), header(fontTable, colourTable) + kFormats + kClosing);
}

TEST(RtfDocumentTest, DocumentAndSectionFormatsAreResetAtOpening) {
  TempFolder temp;
  RtfDocument doc;
  doc.paragraphFormat().bold = true;
  doc.rowFormat().height = 99;
  doc.cellFormat().top.on = true;
  ASSERT_TRUE(doc.openDocument(temp.at("r.rtf"), "", "").ok());
  EXPECT_FALSE(doc.paragraphFormat().bold);
  EXPECT_EQ(doc.rowFormat().height, 0);
  EXPECT_FALSE(doc.cellFormat().top.on);
  EXPECT_EQ(doc.cellFormat().top.width, 5);
  EXPECT_TRUE(doc.sectionFormat().defaultSection);
  EXPECT_EQ(doc.documentFormat().viewScale, 100);
  ASSERT_TRUE(doc.closeDocument().ok());
}

TEST(RtfDocumentTest, RowAndCellElements) {
  EXPECT_EQ(elementBytes([](RtfDocument& doc) {
              EXPECT_TRUE(doc.startRow().ok());
              EXPECT_TRUE(doc.startCell(500).ok());
              EXPECT_TRUE(doc.endCell().ok());
              EXPECT_TRUE(doc.endRow().ok());
            }),
            "\r\n" R"(\trowd\trgaph115\trql\trleft0\trrh0\trpaddb0\trpaddfb3\trpaddl0\trpaddfl3\trpaddr0)"
            R"(\trpaddfr3\trpaddt0\trpaddft3)"
            "\r\n" R"(\tcelld\clvertalt\cltxlrtb\cellx500)"
            "\r\n" R"(\cell )"
            "\r\n" R"(\trgaph115\row\pard)");

  // Every field of the row and cell formats in its place; border kind 18 has
  // no word but keeps its width, spacing and colour.
  EXPECT_EQ(elementBytes([](RtfDocument& doc) {
              RtfRowFormat& row = doc.rowFormat();
              row = {.alignment = 2, .height = 300, .rightPadding = 1, .topPadding = 2, .bottomPadding = 3,
                     .leftPadding = 4, .leftEdge = -50};
              EXPECT_TRUE(doc.startRow().ok());
              RtfCellFormat& cell = doc.cellFormat();
              cell.verticalAlignment = 2;
              cell.textFlow = 4;
              cell.bottom = {.on = true, .kind = 18, .width = 7, .colour = 2, .spacing = 1};
              cell.left = {.on = true, .kind = 3, .width = 5, .colour = 0, .spacing = 0};
              cell.top = {.on = true, .kind = 17, .width = 10, .colour = 1, .spacing = 4};
              cell.shading = true;
              cell.shadingIntensity = 2500;
              cell.shadingPattern = 12;
              cell.patternForeground = 5;
              cell.patternBackground = 6;
              EXPECT_TRUE(doc.startCell(12345).ok());
            }),
            "\r\n" R"(\trowd\trgaph115\trqr\trleft-50\trrh300\trpaddb3\trpaddfb3\trpaddl4\trpaddfl3\trpaddr1)"
            R"(\trpaddfr3\trpaddt2\trpaddft3)"
            "\r\n" R"(\tcelld\clvertalb\cltxtbrlv\clbrdrb\brdrw7\brsp1\brdrcf2\clbrdrl\brdrdb\brdrw5\brsp0\brdrcf0)"
            R"(\clbrdrt\brdrengrave\brdrw10\brsp4\brdrcf1\clbgdkdcross\clshdgn2500\clcfpat5\clcbpat6\cellx12345)");
}

// A row written from rendered texts is the row the element calls write, with
// the text escaped the same way; a tab-only paragraph renders as its tab.
TEST(RtfDocumentTest, RenderedElementsWriteTheSameRow) {
  const std::string text = "a{b}\\c\r\nd\te\xE9";
  const auto setFormats = [](RtfDocument& doc) {
    doc.rowFormat().leftPadding = 20;
    doc.cellFormat().left = {.on = true, .kind = 0, .width = 5, .colour = 0, .spacing = 0};
    doc.paragraphFormat().inTable = true;
    doc.paragraphFormat().alignment = 3;
  };
  const std::string byElements = elementBytes([&](RtfDocument& doc) {
    setFormats(doc);
    EXPECT_TRUE(doc.startRow().ok());
    EXPECT_TRUE(doc.startCell(900).ok());
    EXPECT_TRUE(doc.writeParagraph(text, false).ok());
    EXPECT_TRUE(doc.endCell().ok());
    EXPECT_TRUE(doc.endRow().ok());
  });
  const std::string byRendered = elementBytes([&](RtfDocument& doc) {
    setFormats(doc);
    EXPECT_TRUE(doc.writeRendered(doc.renderedRow() + doc.renderedCell(900) + doc.renderedParagraph(false), text).ok());
    EXPECT_TRUE(doc.writeRendered(doc.renderedEndCell() + doc.renderedEndRow()).ok());
  });
  EXPECT_EQ(byRendered, byElements);
  EXPECT_NE(byElements.find(R"(a\{b\}\\c\line d\tab e\'e9)"), std::string::npos);

  EXPECT_EQ(elementBytes([](RtfDocument& doc) {
              doc.paragraphFormat().tabOnly = true;
              EXPECT_TRUE(doc.writeRendered(doc.renderedParagraph(true), "x").ok());
            }),
            "\\tab x");
}

TEST(RtfDocumentTest, ParagraphWithDefaultFormat) {
  EXPECT_EQ(paragraphBytes("text", [](RtfParagraphFormat&) {}), plainParagraph("text"));
  EXPECT_EQ(paragraphBytes("", [](RtfParagraphFormat&) {}, RtfText::Plain, /*newParagraph=*/true),
            "\r\n" R"(\par\pard\plain\ql\fi0\li0\ri0\sb0\sa0\sl0)" + std::string(kPlainCharacters) + " ");
}

TEST(RtfDocumentTest, ParagraphWithEveryOptionOn) {
  const std::string bytes = paragraphBytes("x", [](RtfParagraphFormat& p) {
    p.breakBefore = 1;
    p.reset = false;
    p.alignment = 2;
    p.firstLineIndent = -100;
    p.leftIndent = 200;
    p.rightIndent = 300;
    p.spaceBefore = 40;
    p.spaceAfter = 60;
    p.lineSpacing = 240;
    p.inTable = true;
    p.tabStop = true;
    p.tabPosition = 720;
    p.tabKind = 3;
    p.tabLeader = 6;
    p.bullets = true;
    p.border = true;
    p.borderSide = 5;
    p.borderKind = 18;
    p.borderWidth = 15;
    p.borderColour = 1;
    p.borderSpacing = 20;
    p.shading = true;
    p.shadingIntensity = 1000;
    p.shadingPattern = 1;
    p.patternForeground = 2;
    p.patternBackground = 3;
    p.animation = 1;
    p.characterSpacing = 2;
    p.kerning = 3;
    p.horizontalScale = 90;
    p.fontNumber = 1;
    p.fontSize = 24;
    p.fontColour = 2;
    p.bold = p.caps = p.doubleStrike = p.emboss = p.engrave = p.italic = true;
    p.outline = p.shadow = p.smallCaps = p.strike = p.subscript = p.superscript = true;
    p.underline = 17;
  });
  // The default bullet is byte 0x95, escaped like text.
  EXPECT_EQ(bytes, "\r\n" R"(\intbl\page\qr\tqdec\tleq\tx720{\*\pn\pnlvl11\pnsp360\pntxtb \'95})"
                   R"(\box\brdrw15\brsp20\brdrcf1\shading1000\bghoriz\cfpat2\cbpat3)"
                   R"(\fi-100\li200\ri300\sb40\sa60\sl240)"
                   R"(\animtext1\expndtw2\kerning3\charscalex90\f1\fs24\cf2\b\caps\striked1\embo\impr\i\outl\shad)"
                   R"(\scaps\strike\sub\super\ulwave x)");
}

TEST(RtfDocumentTest, TableWordsOutsideTheirTablesAreEmpty) {
  EXPECT_EQ(rtfBorderWord(0), "\\brdrs");
  EXPECT_EQ(rtfBorderWord(17), "\\brdrengrave");
  EXPECT_EQ(rtfBorderWord(18), "");
  EXPECT_EQ(rtfBorderWord(-1), "");
  EXPECT_EQ(rtfParagraphShadingWord(0), "");
  EXPECT_EQ(rtfParagraphShadingWord(12), "\\bgdkdcross");
  EXPECT_EQ(rtfParagraphShadingWord(13), "");
  EXPECT_EQ(rtfCellShadingWord(7), "\\clbgdkhoriz");
  EXPECT_EQ(rtfCellShadingWord(13), "");
  EXPECT_EQ(rtfUnderlineWord(0), "\\ulnone");
  EXPECT_EQ(rtfUnderlineWord(15), "\\ululdbwave");
  EXPECT_EQ(rtfUnderlineWord(18), "");
  // An alignment or break outside its table adds nothing to a paragraph.
  EXPECT_EQ(paragraphBytes("t",
                           [](RtfParagraphFormat& p) {
                             p.alignment = 4;
                             p.breakBefore = 4;
                             p.underline = 99;
                           }),
            "\r\n" R"(\pard\plain\fi0\li0\ri0\sb0\sa0\sl0)"
            R"(\animtext0\expndtw0\kerning0\charscalex100\f0\fs20\cf0\b0\caps0\striked0\i0\outl0\shad0\scaps0\strike0 t)");
}

TEST(RtfDocumentTest, TabOnlyParagraphIsTheTextAfterATab) {
  EXPECT_EQ(paragraphBytes("a{b", [](RtfParagraphFormat& p) { p.tabOnly = true; }), R"(\tab a\{b)");
}

TEST(RtfDocumentTest, PlainTextIsEscaped) {
  auto plain = [](std::string_view text) { return paragraphBytes(text, [](RtfParagraphFormat&) {}); };
  EXPECT_EQ(plain(R"(C:\dir {x})"), plainParagraph(R"(C:\\dir \{x\})"));
  // Bytes above 0x7F in lower-case hex; DEL and control bytes too.
  EXPECT_EQ(plain("caf\xE9 \xC4\xFF\x7F\x01"), plainParagraph(R"(caf\'e9 \'c4\'ff\'7f\'01)"));
  // Line breaks of any form give one \line each; a tab gives \tab.
  EXPECT_EQ(plain("a\r\nb\nc\rd\r\n\r\ne\tf"),
            plainParagraph(R"(a\line b\line c\line d\line \line e\tab f)"));
  // A text ending in a backslash cannot run into the next element.
  EXPECT_EQ(plain("end\\"), plainParagraph(R"(end\\)"));
}

TEST(RtfDocumentTest, RtfTextIsWrittenUnchangedWithItsLineBreaksAsCrLf) {
  EXPECT_EQ(paragraphBytes("{\\b bold}\nnext", [](RtfParagraphFormat&) {}, RtfText::Rtf),
            plainParagraph("{\\b bold}\r\nnext"));
}

TEST(RtfDocumentTest, EveryLineEndsWithCrLf) {
  TempFolder temp;
  RtfDocument doc;
  ASSERT_TRUE(doc.openDocument(temp.at("c.rtf"), "", "").ok());
  for (int row = 0; row < 3; ++row) {
    ASSERT_TRUE(doc.startRow().ok());
    for (int cell = 1; cell <= 4; ++cell) {
      ASSERT_TRUE(doc.startCell(cell * 1000).ok());
      ASSERT_TRUE(doc.writeParagraph("v\n", row == 0).ok());
      ASSERT_TRUE(doc.endCell().ok());
    }
    ASSERT_TRUE(doc.endRow().ok());
  }
  ASSERT_TRUE(doc.closeDocument().ok());
  const std::string bytes = readFile(temp.at("c.rtf"));
  size_t lines = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\n') continue;
    ++lines;
    ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at byte " << i;
  }
  // Header, section, closing; per row its start and end, per cell three lines.
  EXPECT_EQ(lines, 3u + 3u * (2u + 4u * 3u));
  EXPECT_EQ(bytes.find('\r'), bytes.find("\r\n"));
}

TEST(RtfDocumentTest, UncreatableFileRefusesEveryLaterCall) {
  TempFolder temp;
  const std::string path = temp.at("missing/folder/x.rtf");
  RtfDocument doc;
  const Result opened = doc.openDocument(path, "", "");
  EXPECT_FALSE(opened.ok());
  EXPECT_TRUE(doc.failed());
  EXPECT_FALSE(doc.errorText().empty());
  // The system's text alone: the caller names the document.
  EXPECT_EQ(opened.reason(), doc.errorText());
  for (const Result& refused : {doc.startRow(), doc.startCell(100), doc.writeParagraph("x", true), doc.endCell(),
                                doc.endRow(), doc.closeDocument()})
    EXPECT_EQ(refused.reason(), "the RTF document is not open");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(RtfDocumentTest, ClosedDocumentRefusesFurtherElements) {
  TempFolder temp;
  RtfDocument doc;
  ASSERT_TRUE(doc.openDocument(temp.at("x.rtf"), "", "").ok());
  ASSERT_TRUE(doc.closeDocument().ok());
  const std::string closed = readFile(temp.at("x.rtf"));
  EXPECT_FALSE(doc.writeParagraph("late", false).ok());
  EXPECT_FALSE(doc.closeDocument().ok());
  EXPECT_EQ(readFile(temp.at("x.rtf")), closed);
}

TEST(RtfDocumentTest, WriteFailuresNameTheOperationAndTheSystemsReason) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempFolder temp;
  // A name ending in .rtf that leads to a device on which every write fails.
  std::filesystem::create_symlink("/dev/full", temp.at("full.rtf"));
  RtfDocument doc;
  ASSERT_TRUE(doc.openDocument(temp.at("full.rtf"), "", "").ok());
  // A text larger than the document's buffer reaches the device at once.
  const std::string big(1 << 17, 'x');
  const std::string full = std::strerror(ENOSPC);
  EXPECT_EQ(doc.writeParagraph(big, false).reason(), "cannot write a paragraph of the RTF document: " + full);
  EXPECT_TRUE(doc.failed());
  EXPECT_EQ(doc.errorText(), full);
  // The document goes on taking calls and reporting the failure.
  EXPECT_EQ(doc.startRow().reason(), "cannot write a row of the RTF document: " + full);
  EXPECT_EQ(doc.startCell(10).reason(), "cannot write a cell of the RTF document: " + full);
  EXPECT_EQ(doc.endCell().reason(), "cannot write the end of a cell of the RTF document: " + full);
  EXPECT_EQ(doc.endRow().reason(), "cannot write the end of a row of the RTF document: " + full);
  EXPECT_FALSE(doc.writeParagraph("x", true).ok());
  EXPECT_EQ(doc.closeDocument().reason(), "cannot close the RTF document: " + full);

  // Small writes that stay in the buffer fail at the latest when closing.
  RtfDocument small;
  ASSERT_TRUE(small.openDocument(temp.at("full.rtf"), "", "").ok());
  EXPECT_TRUE(small.writeParagraph("x", false).ok());
  EXPECT_EQ(small.closeDocument().reason(), "cannot close the RTF document: " + full);
}

}  // namespace
}  // namespace tabrix
