#pragma once
// The text form of every field type. Decoding writes into the caller's buffer
// and allocates nothing, so the record walk can decode millions of values.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "dbf/date_time.h"
#include "dbf/dbf_table.h"
#include "platform/locale_info.h"

namespace tabrix {

struct DecodeOptions {
  DateFormat dateFormat;
  bool skipSeconds = false;           // date-times without seconds
  bool dropDecimals = false;          // N and F cut at their first '.'
  bool csvDoublePrecision = false;    // B and O with 11 decimals instead of 6
  // Applied to character fields of tables read as OEM text.
  const std::array<uint8_t, 256>* oemToAnsi = nullptr;
};

// Bytes a buffer for decodeFieldText of this field must hold.
inline size_t decodedTextCapacity(const Field& field) { return 2 * size_t{field.length} + 352; }

// Writes the text form of field i of record into out and returns its length.
// The text ends at the first zero byte of a stored value.
size_t decodeFieldText(const DbfTable& table, int i, const uint8_t* record, const DecodeOptions& options,
                       char* out);
// decodeFieldText for one field's storage, to be chosen once and called per value.
using FieldTextDecoder = size_t (*)(const DbfTable& table, int i, const uint8_t* record,
                                    const DecodeOptions& options, char* out);
FieldTextDecoder textDecoderOf(const Field& field);

// Where a field's null flag stands in the record: a Visual FoxPro field is
// NULL when this bit of the _NullFlags field is set. mask 0: never NULL.
struct NullBit {
  uint32_t offset = 0;  // of the flag's byte in the record
  uint8_t mask = 0;
};
// The null bit of field i, found once per column. Every nullable field takes
// the next bit in field order; a varchar or varbinary field (V, Q) first takes
// one for "shorter than the field". Fields beyond the flags' bits never read NULL.
NullBit nullBitOf(const DbfTable& table, int i);
inline bool isNull(NullBit bit, const uint8_t* record) { return (record[bit.offset] & bit.mask) != 0; }

// The bytes a varbinary (Q) field holds in the record, without its filler.
std::string_view storedVarbinary(const Field& field, const uint8_t* record);

// The date-time of a T or @ field; empty when the value is empty.
std::optional<DateTimeParts> decodeDateTime(const DbfTable& table, int i, const uint8_t* record);

struct MemoRef {
  uint32_t block = 0;
  uint32_t length = 0;   // SMT tables only
  bool present = false;  // the field is neither blank nor zero: it points at a memo
};
// Where the memo of an M (or G, or dBase binary B) field starts.
MemoRef memoBlockOf(const DbfTable& table, int i, const uint8_t* record);

// The memo of field i of record, valid until the next memo read; empty and
// whole when the field points at no memo. A memo the field points at but the
// memo file does not hold whole (no memo file, a block outside it, a damaged
// block or header) counts in table.lostMemos(); the text is then the part the
// file holds, if any.
MemoRead readFieldMemo(DbfTable& table, int i, const uint8_t* record);

// The binary numbers of Y, B, O, I and + fields, whatever the dialect stores.
int64_t currencyAmount(const Field& field, const uint8_t* record);  // ten-thousandths
double doubleValue(const Field& field, const uint8_t* record);
int32_t integerValue(const Field& field, const uint8_t* record);

// The 64-bit currency amount formatted with 4 decimals or rounded to 2.
size_t formatCurrency(int64_t amountTimes10000, int decimals, char* out);

}  // namespace tabrix
