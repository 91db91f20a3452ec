#include "xl/xlsx_package.h"

#include <pugixml.hpp>

#include <algorithm>
#include <set>
#include <string_view>

#include "util/ascii.h"

namespace tabrix::xl {
namespace {

// The edited parts are read whole; none of a real workbook comes near this.
constexpr size_t kMaxPartBytes = size_t{32} << 20;
constexpr unsigned kParseFlags =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata | pugi::parse_comments | pugi::parse_pi;

constexpr const char* kRelationshipsNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kWorksheetType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
constexpr const char* kStylesType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
constexpr const char* kWorksheetContent = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr const char* kStylesContent = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
constexpr const char* kContentTypesPart = "[Content_Types].xml";

// Styles for a package that has none: the default format only.
constexpr const char* kEmptyStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
    "</styleSheet>";

std::string_view localName(const char* name) {
  const std::string_view text(name);
  const size_t colon = text.find(':');
  return colon == std::string_view::npos ? text : text.substr(colon + 1);
}

// The prefix of an element's name with its colon, so new children share the
// parent's namespace.
std::string prefixOf(pugi::xml_node node) {
  const std::string_view text(node.name());
  const size_t colon = text.find(':');
  return colon == std::string_view::npos ? std::string() : std::string(text.substr(0, colon + 1));
}

pugi::xml_node child(pugi::xml_node node, std::string_view local) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && localName(c.name()) == local) return c;
  return {};
}

// Relationship types are compared by their last word, so the strict
// namespaces match too.
bool typeIs(pugi::xml_node relationship, std::string_view word) {
  const std::string_view type(relationship.attribute("Type").value());
  return type.size() > word.size() && type.substr(type.size() - word.size()) == word &&
         type[type.size() - word.size() - 1] == '/';
}

std::string lower(std::string text) {
  for (char& c : text) c = asciiLower(c);
  return text;
}

std::string folderOf(const std::string& part) {
  const size_t slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::string relsPartOf(const std::string& part) {
  const size_t slash = part.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  return part.substr(0, start) + "_rels/" + part.substr(start) + ".rels";
}

// The part a relationship target names, from the folder of its source part;
// empty when it leaves the package.
std::string resolve(const std::string& folder, std::string_view target) {
  std::string path = target.empty() || target.front() != '/' ? folder + std::string(target)
                                                                 : std::string(target.substr(1));
  std::vector<std::string> segments;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment == "..") {
      if (segments.empty()) return {};
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& segment : segments) out += (out.empty() ? "" : "/") + segment;
  return out;
}

pugi::xml_node relationshipById(pugi::xml_node rels, std::string_view id) {
  for (pugi::xml_node r = rels.first_child(); r; r = r.next_sibling())
    if (r.type() == pugi::node_element && localName(r.name()) == "Relationship" && id == r.attribute("Id").value())
      return r;
  return {};
}

pugi::xml_node relationshipByType(pugi::xml_node rels, std::string_view word) {
  for (pugi::xml_node r = rels.first_child(); r; r = r.next_sibling())
    if (r.type() == pugi::node_element && localName(r.name()) == "Relationship" && typeIs(r, word)) return r;
  return {};
}

// The value of the attribute of node with local name "id" in the
// relationships namespace (r:id, whatever its prefix).
const char* relationshipId(pugi::xml_node node) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
    if (std::string_view(a.name()).find(':') != std::string_view::npos && localName(a.name()) == "id")
      return a.value();
  return "";
}

std::string serialized(const pugi::xml_document& document) {
  struct Writer : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
  } writer;
  document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  return std::move(writer.text);
}

}  // namespace

struct XlsxPackage::Parts {
  std::string workbook, workbookRels, styles, calcChain;
  bool stylesMissing = false;
  pugi::xml_document types, workbookXml, relsXml, stylesXml;
};

XlsxPackage::XlsxPackage() = default;
XlsxPackage::~XlsxPackage() = default;

namespace {

Result readXml(const ZipReader& zip, const std::string& part, pugi::xml_document& document) {
  uint64_t index = 0;
  if (!zip.find(part, index)) return Result::failure("the package has no part " + part);
  std::string bytes;
  if (Result read = zip.read(index, kMaxPartBytes, bytes); !read) return read;
  const pugi::xml_parse_result parsed = document.load_buffer(bytes.data(), bytes.size(), kParseFlags);
  if (!parsed || !document.document_element())
    return Result::failure(part + " is no well-formed XML (" + (parsed ? "no root element" : parsed.description()) +
                           " at byte " + std::to_string(parsed.offset) + ")");
  // Saved back as UTF-8 whatever it was read as.
  pugi::xml_node declaration = document.first_child();
  if (declaration.type() == pugi::node_declaration && declaration.attribute("encoding"))
    declaration.attribute("encoding").set_value("UTF-8");
  return {};
}

}  // namespace

Result XlsxPackage::open(const std::string& path) {
  sheets_.clear();
  addedFormats_.clear();
  parts_ = std::make_unique<Parts>();
  const auto refuse = [&](const std::string& reason) {
    zip_.close();
    parts_.reset();
    sheets_.clear();
    return Result::failure(path + " is no XLSX workbook that can be read: " + reason);
  };
  if (Result opened = zip_.open(path); !opened) return refuse(opened.reason());
  Parts& p = *parts_;

  pugi::xml_document rootRels;
  if (Result read = readXml(zip_, "_rels/.rels", rootRels); !read) return refuse(read.reason());
  const pugi::xml_node office = relationshipByType(rootRels.document_element(), "officeDocument");
  p.workbook = resolve("", office.attribute("Target").value());
  if (!office || p.workbook.empty()) return refuse("the package names no workbook part");
  if (Result read = readXml(zip_, kContentTypesPart, p.types); !read) return refuse(read.reason());
  if (Result read = readXml(zip_, p.workbook, p.workbookXml); !read) return refuse(read.reason());
  const pugi::xml_node workbook = p.workbookXml.document_element();
  if (localName(workbook.name()) != "workbook") return refuse(p.workbook + " holds no workbook");
  p.workbookRels = relsPartOf(p.workbook);
  if (Result read = readXml(zip_, p.workbookRels, p.relsXml); !read) return refuse(read.reason());
  const pugi::xml_node rels = p.relsXml.document_element();
  const std::string folder = folderOf(p.workbook);

  const pugi::xml_node sheets = child(workbook, "sheets");
  if (!sheets) return refuse(p.workbook + " lists no sheets");
  for (pugi::xml_node sheet = sheets.first_child(); sheet; sheet = sheet.next_sibling()) {
    if (sheet.type() != pugi::node_element || localName(sheet.name()) != "sheet") continue;
    const std::string name = sheet.attribute("name").value();
    const char* id = relationshipId(sheet);
    const std::string part = resolve(folder, relationshipById(rels, id).attribute("Target").value());
    uint64_t index = 0;
    if (part.empty() || !zip_.find(part, index)) return refuse("sheet '" + name + "' has no part in the package");
    sheets_.push_back({name, part, id});
  }
  loadedSheets_ = sheets_.size();
  const pugi::xml_node pr = child(workbook, "workbookPr");
  date1904_ = pr.attribute("date1904").as_bool();

  if (const pugi::xml_node calc = relationshipByType(rels, "calcChain"))
    p.calcChain = resolve(folder, calc.attribute("Target").value());
  if (const pugi::xml_node styles = relationshipByType(rels, "styles")) {
    p.styles = resolve(folder, styles.attribute("Target").value());
    if (Result read = readXml(zip_, p.styles, p.stylesXml); !read) return refuse(read.reason());
  } else {
    p.stylesMissing = true;
    p.stylesXml.load_string(kEmptyStyles, kParseFlags);
  }
  size_t xfs = 0;
  for (pugi::xml_node xf : child(p.stylesXml.document_element(), "cellXfs").children())
    xfs += xf.type() == pugi::node_element && localName(xf.name()) == "xf" ? 1 : 0;
  // Without any cell format, one for General goes first so unformatted cells stay General.
  xfBase_ = static_cast<uint32_t>(std::max<size_t>(xfs, 1));
  return {};
}

uint32_t XlsxPackage::addCellFormat(int numberFormat) {
  addedFormats_.push_back(numberFormat);
  return xfBase_ + static_cast<uint32_t>(addedFormats_.size() - 1);
}

void XlsxPackage::addSheet(const std::string& name) { sheets_.push_back({name, "", ""}); }

Result XlsxPackage::save(const std::string& path, const std::vector<const XlsxSheetPart*>& written) {
  Parts& p = *parts_;
  // Edits go to copies, so the book can be saved again.
  pugi::xml_document types, workbookXml, relsXml, stylesXml;
  types.reset(p.types);
  workbookXml.reset(p.workbookXml);
  relsXml.reset(p.relsXml);
  stylesXml.reset(p.stylesXml);
  pugi::xml_node typesRoot = types.document_element();
  pugi::xml_node workbook = workbookXml.document_element();
  pugi::xml_node rels = relsXml.document_element();
  const std::string folder = folderOf(p.workbook);

  std::set<std::string> used;  // part names, lower case
  for (uint64_t i = 0; i < zip_.count(); ++i) used.insert(lower(zip_.name(i)));
  std::set<std::string> dropped{lower(kContentTypesPart), lower(p.workbook), lower(p.workbookRels)};
  // The styles part is rewritten only when it gains cell formats.
  if (!p.stylesMissing && !addedFormats_.empty()) dropped.insert(lower(p.styles));

  const auto freshRelationshipId = [&] {
    for (size_t n = 1;; ++n) {
      const std::string id = "rId" + std::to_string(n);
      if (!relationshipById(rels, id)) return id;
    }
  };
  const auto addRelationship = [&](const std::string& type, const std::string& target) {
    const std::string id = freshRelationshipId();
    pugi::xml_node r = rels.append_child((prefixOf(rels) + "Relationship").c_str());
    r.append_attribute("Id") = id.c_str();
    r.append_attribute("Type") = type.c_str();
    r.append_attribute("Target") = target.c_str();
    return id;
  };
  // The content type of a part, as an Override (replacing one there is).
  const auto setContentType = [&](const std::string& part, const char* type) {
    const std::string name = "/" + part;
    for (pugi::xml_node o = typesRoot.first_child(); o; o = o.next_sibling())
      if (localName(o.name()) == "Override" && lower(o.attribute("PartName").value()) == lower(name)) {
        o.attribute("ContentType").set_value(type);
        return;
      }
    pugi::xml_node o = typesRoot.append_child((prefixOf(typesRoot) + "Override").c_str());
    o.append_attribute("PartName") = name.c_str();
    o.append_attribute("ContentType") = type;
  };
  const auto removeContentType = [&](const std::string& part) {
    const std::string name = lower("/" + part);
    for (pugi::xml_node o = typesRoot.first_child(); o;) {
      const pugi::xml_node next = o.next_sibling();
      if (localName(o.name()) == "Override" && lower(o.attribute("PartName").value()) == name)
        typesRoot.remove_child(o);
      o = next;
    }
  };

  // Refilled sheets: written anew under their part name, as worksheets; the
  // relationships of their old content are dropped with it.
  bool refilled = false;
  for (size_t i = 0; i < loadedSheets_ && i < written.size(); ++i) {
    if (!written[i]) continue;
    refilled = true;
    dropped.insert(lower(sheets_[i].part));
    dropped.insert(lower(relsPartOf(sheets_[i].part)));
    relationshipById(rels, sheets_[i].relationship).attribute("Type").set_value(kWorksheetType);
    setContentType(sheets_[i].part, kWorksheetContent);
  }
  // The calculation chain lists formula cells; a refilled sheet's are gone,
  // and spreadsheets rebuild the chain when it is missing.
  if (refilled && !p.calcChain.empty()) {
    dropped.insert(lower(p.calcChain));
    removeContentType(p.calcChain);
    while (const pugi::xml_node calc = relationshipByType(rels, "calcChain")) rels.remove_child(calc);
  }

  // Added sheets.
  std::string relationshipsPrefix;
  for (pugi::xml_attribute a = workbook.first_attribute(); a; a = a.next_attribute())
    if (std::string_view(a.name()).substr(0, 6) == "xmlns:" && std::string_view(a.value()) == kRelationshipsNs)
      relationshipsPrefix = std::string(a.name() + 6) + ":";
  if (relationshipsPrefix.empty() && sheets_.size() > loadedSheets_) {
    relationshipsPrefix = workbook.attribute("xmlns:r") ? "tabrixr:" : "r:";
    workbook.append_attribute(("xmlns:" + relationshipsPrefix.substr(0, relationshipsPrefix.size() - 1)).c_str()) =
        kRelationshipsNs;
  }
  pugi::xml_node sheetList = child(workbook, "sheets");
  uint64_t sheetId = 0;
  for (pugi::xml_node s : sheetList.children())
    sheetId = std::max<uint64_t>(sheetId, s.attribute("sheetId").as_ullong());
  std::vector<std::string> partNames(sheets_.size());
  for (size_t i = loadedSheets_; i < sheets_.size(); ++i) {
    std::string target;
    for (size_t n = i + 1;; ++n) {
      target = "worksheets/sheet" + std::to_string(n) + ".xml";
      if (!used.count(lower(folder + target))) break;
    }
    partNames[i] = folder + target;
    used.insert(lower(partNames[i]));
    const std::string id = addRelationship(kWorksheetType, target);
    setContentType(partNames[i], kWorksheetContent);
    pugi::xml_node entry = sheetList.append_child((prefixOf(sheetList) + "sheet").c_str());
    entry.append_attribute("name") = sheets_[i].name.c_str();
    entry.append_attribute("sheetId") = ++sheetId;
    entry.append_attribute((relationshipsPrefix + "id").c_str()) = id.c_str();
  }

  // The two cell formats go after the package's own.
  std::string stylesPart = p.styles;
  if (!addedFormats_.empty()) {
    pugi::xml_node sheet = stylesXml.document_element();
    pugi::xml_node xfs = child(sheet, "cellXfs");
    if (!xfs) {
      // cellXfs comes before these in a styles part.
      pugi::xml_node before;
      for (const char* name : {"cellStyles", "dxfs", "tableStyles", "colors", "extLst"})
        if (!before) before = child(sheet, name);
      xfs = before ? sheet.insert_child_before((prefixOf(sheet) + "cellXfs").c_str(), before)
                   : sheet.append_child((prefixOf(sheet) + "cellXfs").c_str());
    }
    const auto appendXf = [&](int numberFormat) {
      pugi::xml_node xf = xfs.append_child((prefixOf(sheet) + "xf").c_str());
      xf.append_attribute("numFmtId") = numberFormat;
      for (const char* zero : {"fontId", "fillId", "borderId", "xfId"}) xf.append_attribute(zero) = 0;
      if (numberFormat != 0) xf.append_attribute("applyNumberFormat") = 1;
    };
    size_t count = 0;
    for (pugi::xml_node xf : xfs.children()) count += xf.type() == pugi::node_element ? 1 : 0;
    if (count == 0) appendXf(0);
    for (const int numberFormat : addedFormats_) appendXf(numberFormat);
    if (!xfs.attribute("count")) xfs.append_attribute("count");
    xfs.attribute("count") = static_cast<unsigned long long>(xfBase_ + addedFormats_.size());
    if (p.stylesMissing) {
      std::string target = "styles.xml";
      for (size_t n = 2; used.count(lower(folder + target)); ++n) target = "styles" + std::to_string(n) + ".xml";
      stylesPart = folder + target;
      addRelationship(kStylesType, target);
      setContentType(stylesPart, kStylesContent);
    }
  }

  const std::string typesText = serialized(types), workbookText = serialized(workbookXml),
                    relsText = serialized(relsXml), stylesText = serialized(stylesXml);
  ZipWriter out;
  if (Result created = out.create(path); !created) return created;
  for (uint64_t i = 0; i < zip_.count(); ++i)
    if (!dropped.count(lower(zip_.name(i))))
      if (Result copied = out.copy(zip_, i); !copied) return copied;
  Result added = out.addBytes(kContentTypesPart, typesText);
  if (added) added = out.addBytes(p.workbook, workbookText);
  if (added) added = out.addBytes(p.workbookRels, relsText);
  if (added && !addedFormats_.empty()) added = out.addBytes(stylesPart, stylesText);
  for (size_t i = 0; added && i < sheets_.size() && i < written.size(); ++i) {
    if (!written[i]) continue;
    const std::string& part = i < loadedSheets_ ? sheets_[i].part : partNames[i];
    added = out.addPieces(part, written[i]->head, written[i]->rows, written[i]->rowBytes, written[i]->tail);
  }
  if (!added) return added;
  return out.close();
}

}  // namespace tabrix::xl
