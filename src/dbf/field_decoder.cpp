#include "dbf/field_decoder.h"

#include <fmt/format.h>

#include <cstring>

#include "platform/code_pages.h"

namespace tabrix {

namespace {

// The stored bytes up to the first zero byte: the system's texts are
// zero-terminated, so a padding zero ends a value.
size_t copyText(const uint8_t* bytes, size_t len, char* out) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(bytes, 0, len));
  const size_t n = end ? static_cast<size_t>(end - bytes) : len;
  std::memcpy(out, bytes, n);
  return n;
}

// The first n bytes of a field, zero-padded when the field is shorter, so a
// binary value never reads beyond its field.
template <size_t N>
std::array<uint8_t, N> fixedBytes(const uint8_t* bytes, size_t len) {
  std::array<uint8_t, N> b{};
  std::memcpy(b.data(), bytes, std::min(N, len));
  return b;
}

size_t formatDouble(double value, bool csv, char* out) {
  char* end = csv ? fmt::format_to(out, "{:.11f}", value) : fmt::format_to(out, "{:.6f}", value);
  return static_cast<size_t>(end - out);
}

size_t formatInt(int64_t value, char* out) { return static_cast<size_t>(fmt::format_to(out, "{}", value) - out); }

// Decimal block number, leading blanks allowed; blanks give 0.
uint32_t decimalNumber(const uint8_t* bytes, size_t len) {
  uint64_t v = 0;
  for (size_t i = 0; i < len; ++i) {
    const uint8_t c = bytes[i];
    if (c == ' ' && v == 0) continue;
    if (c < '0' || c > '9') break;
    v = v * 10 + (c - '0');
    if (v > UINT32_MAX) return 0;
  }
  return static_cast<uint32_t>(v);
}

size_t putText(const char* text, char* out) {
  const size_t n = std::strlen(text);
  std::memcpy(out, text, n);
  return n;
}

// Varchar and varbinary: the last byte holds the length when the byte before
// it is a space or the last byte is at most 0x20. Never beyond the field.
size_t varLength(const uint8_t* bytes, size_t len) {
  if (len < 2) return len;
  const uint8_t last = bytes[len - 1];
  if (bytes[len - 2] == ' ' || last <= 0x20) return std::min<size_t>(last, len - 1);
  return len;
}

}  // namespace

size_t formatCurrency(int64_t amount, int decimals, char* out) {
  // Exact decimal arithmetic on the 64-bit amount; 2 decimals round half away
  // from zero, and a negative amount keeps its sign as "%.2f" does ("-0.00").
  const bool negative = amount < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  char* p = out;
  if (decimals == 4) {
    p = fmt::format_to(p, "{}{}.{:04}", negative ? "-" : "", magnitude / 10000, magnitude % 10000);
  } else {
    const uint64_t hundredths = magnitude / 100 + (magnitude % 100 >= 50 ? 1 : 0);
    p = fmt::format_to(p, "{}{}.{:02}", negative ? "-" : "", hundredths / 100, hundredths % 100);
  }
  return static_cast<size_t>(p - out);
}

MemoRef memoBlockOf(const DbfTable& table, int i, const uint8_t* record) {
  const Field& f = table.field(i);
  const uint8_t* bytes = record + f.offset;
  MemoRef ref;
  if (isSmt(table.version())) {
    if (f.length >= 10) {
      ref.length = readLe32(bytes + 2);
      ref.block = readLe32(bytes + 6);
    }
    ref.present = ref.block != 0 || ref.length != 0;
  } else if (f.length == 4) {
    ref.block = readLe32(bytes);
    ref.present = ref.block != 0;
  } else {
    ref.block = decimalNumber(bytes, f.length);
    // Anything but blanks and zeros points somewhere, a damaged number too.
    for (size_t k = 0; k < f.length && !ref.present; ++k)
      ref.present = bytes[k] != ' ' && bytes[k] != '\0' && bytes[k] != '0';
  }
  return ref;
}

MemoRead readFieldMemo(DbfTable& table, int i, const uint8_t* record) {
  const MemoRef ref = memoBlockOf(table, i, record);
  if (!ref.present) return {{}, true};
  MemoFile* memo = table.memo();
  MemoRead read;
  if (memo) read = memo->read(ref.block, ref.length);
  if (!read.whole) table.countLostMemo();
  return read;
}

NullBit nullBitOf(const DbfTable& table, int i) {
  constexpr uint8_t kNullableFlag = 0x02;
  const Field* flags = nullptr;
  for (int k = 0; k < table.fieldCount(); ++k)
    if (table.field(k).kind.valueClass == ValueClass::NullFlags) flags = &table.field(k);
  if (flags == nullptr || i < 0 || i >= table.fieldCount()) return {};
  const auto& descriptors = table.descriptors();
  uint32_t bit = 0;
  for (int k = 0; k < i; ++k) {
    const FieldDescriptor& d = descriptors[static_cast<size_t>(k)];
    bit += (d.type() == 'V' || d.type() == 'Q') + ((d.bytes[18] & kNullableFlag) != 0);
  }
  const FieldDescriptor& own = descriptors[static_cast<size_t>(i)];
  if ((own.bytes[18] & kNullableFlag) == 0) return {};
  bit += own.type() == 'V' || own.type() == 'Q';
  if (bit / 8 >= flags->length) return {};
  return {flags->offset + bit / 8, static_cast<uint8_t>(1u << (bit % 8))};
}

std::optional<DateTimeParts> decodeDateTime(const DbfTable& table, int i, const uint8_t* record) {
  const Field& f = table.field(i);
  const auto b = fixedBytes<8>(record + f.offset, f.length);
  if (f.kind.storage == Storage::Level7Stamp) return decodeLevel7Timestamp(b.data());
  return decodeFoxProDateTime(b.data());
}

namespace {


const Field& fieldOf(const DbfTable& table, int i) { return table.field(i); }

size_t decodeText(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options, char* out) {
  const Field& f = fieldOf(table, i);
  const size_t n = copyText(record + f.offset, f.length, out);
  if (f.kind.valueClass == ValueClass::Text && table.sourceIsOem() && options.oemToAnsi)
    translateBytes(*options.oemToAnsi, out, n);
  return n;
}

size_t decodeNumberText(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options, char* out) {
  const Field& f = fieldOf(table, i);
  size_t n = copyText(record + f.offset, f.length, out);
  if (options.dropDecimals)
    if (const void* dot = std::memchr(out, '.', n)) n = static_cast<size_t>(static_cast<const char*>(dot) - out);
  return n;
}

size_t decodeDate(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options, char* out) {
  const Field& f = fieldOf(table, i);
  const uint8_t* bytes = record + f.offset;
  if (f.length < 8) return copyText(bytes, f.length, out);
  char text[10];
  formatDateLocal(bytes, options.dateFormat, text);
  return copyText(reinterpret_cast<const uint8_t*>(text), sizeof text, out);
}

size_t decodeDateTimeText(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options, char* out) {
  const uint8_t* bytes = record + fieldOf(table, i).offset;
  char text[19];
  formatDateLocal(bytes, options.dateFormat, text);
  const uint8_t* t = bytes + 8;
  const char mark = options.dateFormat.iso ? 'T' : ' ', colon = options.dateFormat.iso ? ':' : '.';
  const char time[9] = {mark, char(t[0]), char(t[1]), colon, char(t[2]), char(t[3]), colon, char(t[4]), char(t[5])};
  std::memcpy(text + 10, time, sizeof time);
  return copyText(reinterpret_cast<const uint8_t*>(text), sizeof text, out);
}

size_t decodeBinaryDateTime(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options,
                            char* out) {
  const auto parts = decodeDateTime(table, i, record);
  return parts ? formatDateTimeLocal(*parts, options.dateFormat, options.skipSeconds, out) : 0;
}

size_t decodeCurrency(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions&, char* out) {
  const Field& f = fieldOf(table, i);
  return formatCurrency(currencyAmount(f, record), f.decimals == 4 ? 4 : 2, out);
}

size_t decodeDouble(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options, char* out) {
  return formatDouble(doubleValue(fieldOf(table, i), record), options.csvDoublePrecision, out);
}

size_t decodeInteger(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions&, char* out) {
  return formatInt(integerValue(fieldOf(table, i), record), out);
}

size_t decodeLogical(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions&, char* out) {
  const Field& f = fieldOf(table, i);
  return copyText(record + f.offset, std::min<size_t>(f.length, 1), out);
}

size_t decodeMemoBlock(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions&, char* out) {
  return memoBlockOf(table, i, record).block ? putText(fieldOf(table, i).kind.memoLabel, out) : 0;
}

size_t decodeVarchar(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions&, char* out) {
  const Field& f = fieldOf(table, i);
  const uint8_t* bytes = record + f.offset;
  return copyText(bytes, varLength(bytes, f.length), out);
}

size_t decodeVarbinary(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions&, char* out) {
  const Field& f = fieldOf(table, i);
  const uint8_t* bytes = record + f.offset;
  const size_t n = varLength(bytes, f.length);
  for (size_t k = 0; k < n; ++k) {
    out[2 * k] = static_cast<char>('0' + (bytes[k] >> 4));
    out[2 * k + 1] = static_cast<char>('0' + (bytes[k] & 15));
  }
  return 2 * n;
}

// Indexed by Storage: the decoder is chosen once per field, not per value.
constexpr FieldTextDecoder kDecoders[] = {
    decodeText,         // Text
    decodeVarchar,      // Varchar
    decodeVarbinary,    // Varbinary
    decodeNumberText,   // NumberText
    decodeDate,         // Date
    decodeDateTimeText, // DateTimeText
    decodeBinaryDateTime,  // FoxProDateTime
    decodeBinaryDateTime,  // Level7Stamp
    decodeCurrency,     // Currency
    decodeDouble,       // Double
    decodeDouble,       // Level7Double
    decodeInteger,      // Integer
    decodeInteger,      // Level7Integer
    decodeLogical,      // Logical
    decodeMemoBlock,    // MemoBlock
};
static_assert(std::size(kDecoders) == static_cast<size_t>(Storage::MemoBlock) + 1);

}  // namespace

int64_t currencyAmount(const Field& f, const uint8_t* record) {
  const auto b = fixedBytes<8>(record + f.offset, f.length);
  int64_t amount;
  std::memcpy(&amount, b.data(), sizeof amount);
  return amount;
}

double doubleValue(const Field& f, const uint8_t* record) {
  const auto b = fixedBytes<8>(record + f.offset, f.length);
  if (f.kind.storage == Storage::Level7Double) return decodeLevel7Double(b.data());
  double value;
  std::memcpy(&value, b.data(), sizeof value);
  return value;
}

int32_t integerValue(const Field& f, const uint8_t* record) {
  const auto b = fixedBytes<4>(record + f.offset, f.length);
  if (f.kind.storage == Storage::Level7Integer) return decodeLevel7Integer(b.data());
  int32_t value;
  std::memcpy(&value, b.data(), sizeof value);
  return value;
}

std::string_view storedVarbinary(const Field& f, const uint8_t* record) {
  const uint8_t* bytes = record + f.offset;
  return {reinterpret_cast<const char*>(bytes), varLength(bytes, f.length)};
}

FieldTextDecoder textDecoderOf(const Field& field) { return kDecoders[static_cast<size_t>(field.kind.storage)]; }

size_t decodeFieldText(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options,
                       char* out) {
  return textDecoderOf(table.field(i))(table, i, record, options, out);
}

}  // namespace tabrix
