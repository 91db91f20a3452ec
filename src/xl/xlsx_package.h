#pragma once
// An existing XLSX package opened to add or refill sheets. Saving copies
// every part unchanged but the workbook, its relationships, the content
// types and the styles, which are edited in place (new sheets, two cell
// formats), and the worksheets written anew.
#include <memory>
#include <string>
#include <vector>

#include "util/result.h"
#include "xl/xlsx_sheet.h"
#include "xl/zip_archive.h"

namespace tabrix::xl {

class XlsxPackage {
 public:
  struct SheetEntry {
    std::string name;
    std::string part;  // the worksheet part's name in the archive
    std::string relationship;
  };

  XlsxPackage();
  ~XlsxPackage();
  // Reads the package's parts that saving edits. Fails with the reason when
  // path is no readable XLSX workbook.
  Result open(const std::string& path);
  const std::vector<SheetEntry>& sheets() const { return sheets_; }
  bool date1904() const { return date1904_; }

  // The cellXfs index a cell format of the built-in number format will have.
  uint32_t addCellFormat(int numberFormat);
  // A new last sheet, its part named at saving.
  void addSheet(const std::string& name);

  // Writes the package to path; written[i] holds the new part of sheet i,
  // null for a sheet kept as loaded.
  Result save(const std::string& path, const std::vector<const XlsxSheetPart*>& written);

 private:
  struct Parts;
  ZipReader zip_;
  std::unique_ptr<Parts> parts_;
  std::vector<SheetEntry> sheets_;
  size_t loadedSheets_ = 0;
  bool date1904_ = false;
  uint32_t xfBase_ = 0;  // cellXfs held before the added ones
  std::vector<int> addedFormats_;
};

}  // namespace tabrix::xl
