#include "xl/biff_records.h"

#include <cstring>

#include "platform/output_file.h"
#include "util/utf8.h"

namespace tabrix::xl::biff {

void putDouble(Bytes& out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  put32(out, static_cast<uint32_t>(bits));
  put32(out, static_cast<uint32_t>(bits >> 32));
}

double getDouble(const uint8_t* p) {
  const uint64_t bits = get32(p) | uint64_t{get32(p + 4)} << 32;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

void StreamOut::write(std::span<const uint8_t> bytes) {
  if (!bytes.empty()) file.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  written += bytes.size();
}

size_t beginRecord(Bytes& out, uint16_t type) {
  const size_t start = out.size();
  put16(out, type);
  put16(out, 0);
  return start;
}

void endRecord(Bytes& out, size_t start) {
  const size_t len = out.size() - start - 4;
  out[start + 2] = static_cast<uint8_t>(len);
  out[start + 3] = static_cast<uint8_t>(len >> 8);
}

void putRecord(Bytes& out, uint16_t type, std::span<const uint8_t> data) {
  put16(out, type);
  put16(out, static_cast<unsigned>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
}

void putBof(Bytes& out, uint16_t kind) {
  const size_t start = beginRecord(out, kBof);
  put16(out, 0x0600);  // BIFF8
  put16(out, kind);
  put16(out, 0x0DBB);  // build and year of the application, as Excel 97 gives them
  put16(out, 0x07CC);
  put32(out, 0x00000041);
  put32(out, 0x00000006);  // the earliest version that can read the file
  endRecord(out, start);
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (c >= 0xD800 && c <= 0xDFFF)
      c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void utf8ToUtf16(std::string_view text, size_t maxUnits, std::u16string& out) {
  out.clear();
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    char32_t c = nextCodePoint(p, end);
    if (c == kNoCodePoint) c = 0xFFFD;
    if (c >= 0x10000) {
      if (out.size() + 2 > maxUnits) break;
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      if (out.size() + 1 > maxUnits) break;
      out.push_back(static_cast<char16_t>(c));
    }
  }
}

bool fitsCompressed(std::u16string_view text) {
  for (const char16_t c : text)
    if (c > 0xFF) return false;
  return true;
}

void putChars(Bytes& out, std::u16string_view text, bool compressed) {
  for (const char16_t c : text) {
    if (compressed) put8(out, c);
    else put16(out, c);
  }
}

void putString(Bytes& out, std::u16string_view text, int lengthBytes) {
  if (lengthBytes == 1) put8(out, static_cast<unsigned>(text.size()));
  else put16(out, static_cast<unsigned>(text.size()));
  const bool compressed = fitsCompressed(text);
  put8(out, compressed ? 0 : 1);
  putChars(out, text, compressed);
}

bool RecordReader::next(Record& record) {
  if (damaged_ || pos_ >= stream_.size()) return false;
  if (stream_.size() - pos_ < 4) {
    damaged_ = true;
    return false;
  }
  const uint8_t* p = stream_.data() + pos_;
  const uint16_t len = get16(p + 2);
  if (stream_.size() - pos_ - 4 < len) {
    damaged_ = true;
    return false;
  }
  record = {get16(p), stream_.subspan(pos_ + 4, len), pos_};
  pos_ += 4 + size_t{len};
  return true;
}

}  // namespace tabrix::xl::biff
