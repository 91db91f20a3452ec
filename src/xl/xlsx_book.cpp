// The XLSX book: sheets streamed to temporary files, saved as a package of
// our own, or as an existing package with sheets added or refilled.
#include <algorithm>
#include <memory>
#include <vector>

#include "util/ascii.h"
#include "xl/book_formats.h"
#include "xl/xlsx_cell_text.h"
#include "xl/xlsx_package.h"
#include "xl/xlsx_sheet.h"
#include "xl/zip_archive.h"

namespace tabrix::xl {
namespace {

// cellXfs of a new book: General, then the date and integer formats.
constexpr uint32_t kNewDateXf = 1, kNewIntegerXf = 2;

constexpr std::string_view kStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
    "<xf numFmtId=\"1\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "</styleSheet>";

constexpr std::string_view kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/></Relationships>";

class XlsxBook final : public Book {
 public:
  BookFormat format() const override { return BookFormat::Xlsx; }
  Result load(const std::string& path) override;
  int sheetCount() const override { return static_cast<int>(sheets_.size()); }
  Sheet* sheet(int index) override {
    return index >= 0 && index < sheetCount() ? sheets_[static_cast<size_t>(index)].get() : nullptr;
  }
  void clearSheet(int index) override {
    if (index >= 0 && index < sheetCount()) sheets_[static_cast<size_t>(index)]->clear();
  }
  Sheet* addSheet(std::string_view name) override;
  FormatId addFormat(NumberFormat numberFormat) override;
  Result save(const std::string& path) override;
  const std::string& errorMessage() const override { return state_.error; }

 private:
  Result fail(Result result) {
    state_.error = result.reason();
    return result;
  }
  Result saveNew(const std::string& path, std::vector<XlsxSheetPart>& parts);

  XlsxBookState state_;
  std::vector<std::unique_ptr<XlsxSheet>> sheets_;
  std::unique_ptr<XlsxPackage> package_;  // the loaded package, if any
};

Result XlsxBook::load(const std::string& path) {
  auto package = std::make_unique<XlsxPackage>();
  if (Result opened = package->open(path); !opened) return fail(opened);
  sheets_.clear();
  state_ = XlsxBookState{};
  state_.dateOffset = package->date1904() ? 1462 : 0;
  for (const XlsxPackage::SheetEntry& entry : package->sheets())
    sheets_.push_back(std::make_unique<XlsxSheet>(entry.name, state_, true));
  package_ = std::move(package);
  return {};
}

Sheet* XlsxBook::addSheet(std::string_view name) {
  if (validSheetName(name) != name) {
    state_.error = "'" + std::string(name) + "' is no valid sheet name";
    return nullptr;
  }
  for (const auto& sheet : sheets_)
    if (equalsIgnoringCase(sheet->name(), name)) {
      state_.error = "the book already has a sheet named '" + sheet->name() + "'";
      return nullptr;
    }
  if (package_) package_->addSheet(std::string(name));
  sheets_.push_back(std::make_unique<XlsxSheet>(std::string(name), state_, false));
  return sheets_.back().get();
}

FormatId XlsxBook::addFormat(NumberFormat numberFormat) {
  const bool date = numberFormat == NumberFormat::Date;
  const uint32_t xf = package_ ? package_->addCellFormat(static_cast<int>(numberFormat))
                               : date ? kNewDateXf : kNewIntegerXf;
  state_.formats.push_back({xf, date});
  return static_cast<FormatId>(state_.formats.size() - 1);
}

Result XlsxBook::save(const std::string& path) {
  // A workbook needs a sheet to open.
  if (sheets_.empty()) addSheet("Sheet1");
  for (const auto& sheet : sheets_)
    if (sheet->refusedCells() > 0)
      return fail(Result::failure(std::to_string(sheet->refusedCells()) + " cell(s) were not written: " +
                                  state_.error));
  std::vector<XlsxSheetPart> parts(sheets_.size());
  for (size_t i = 0; i < sheets_.size(); ++i)
    if (!sheets_[i]->kept())
      if (Result finished = sheets_[i]->finish(parts[i]); !finished) return fail(finished);
  if (package_) {
    std::vector<const XlsxSheetPart*> written(sheets_.size(), nullptr);
    for (size_t i = 0; i < sheets_.size(); ++i)
      if (!sheets_[i]->kept()) written[i] = &parts[i];
    if (Result saved = package_->save(path, written); !saved) return fail(saved);
    return {};
  }
  if (Result saved = saveNew(path, parts); !saved) return fail(saved);
  return {};
}

Result XlsxBook::saveNew(const std::string& path, std::vector<XlsxSheetPart>& parts) {
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
  std::string workbook =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<bookViews><workbookView/></bookViews><sheets>";
  std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::vector<std::string> names;
  for (size_t i = 0; i < sheets_.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    names.push_back("xl/worksheets/sheet" + number + ".xml");
    types += "<Override PartName=\"/" + names.back() +
             "\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    workbook += "<sheet name=\"";
    appendAttributeText(workbook, sheets_[i]->name());
    workbook += "\" sheetId=\"" + number + "\" r:id=\"rId" + number + "\"/>";
    rels += "<Relationship Id=\"rId" + number +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
            "Target=\"worksheets/sheet" + number + ".xml\"/>";
  }
  const std::string stylesId = std::to_string(sheets_.size() + 1);
  rels += "<Relationship Id=\"rId" + stylesId +
          "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
          "Target=\"styles.xml\"/></Relationships>";
  types += "</Types>";
  workbook += "</sheets></workbook>";

  ZipWriter zip;
  if (Result created = zip.create(path); !created) return created;
  Result added = zip.addBytes("[Content_Types].xml", types);
  if (added) added = zip.addBytes("_rels/.rels", kRootRels);
  if (added) added = zip.addBytes("xl/workbook.xml", workbook);
  if (added) added = zip.addBytes("xl/_rels/workbook.xml.rels", rels);
  if (added) added = zip.addBytes("xl/styles.xml", kStyles);
  for (size_t i = 0; added && i < parts.size(); ++i)
    added = zip.addPieces(names[i], parts[i].head, parts[i].rows, parts[i].rowBytes, parts[i].tail);
  if (!added) return added;
  return zip.close();
}

}  // namespace

std::unique_ptr<Book> makeXlsxBook() { return std::make_unique<XlsxBook>(); }

}  // namespace tabrix::xl
