#pragma once
// What each field type letter means, decided in one table: the class of its
// values, how its bytes are stored, and the few traits outputs ask about.
// Everything else in the system reads a field's FieldKind, never its letter.
#include <cstdint>

namespace tabrix {

// What a value is, whatever its bytes look like.
enum class ValueClass : uint8_t {
  Text,      // C, V and letters without a meaning of their own
  Number,    // N, F: decimal text
  Integer,   // I, +
  Currency,  // Y
  Double,    // O, and B of 8 bytes
  Date,      // D
  DateTime,  // T, @
  Logical,   // L
  Memo,      // M: text in the memo file
  Binary,    // G, P, W, Q and the binary memo B of dBase
  NullFlags  // the _NullFlags system field; no output shows it
};

// How the value's bytes are laid out in the record.
enum class Storage : uint8_t {
  Text,          // bytes as they stand, up to a zero byte
  Varchar,       // text whose length may be in its last byte
  Varbinary,     // bytes whose length may be in its last byte, shown as digit pairs
  NumberText,    // decimal text
  Date,          // YYYYMMDD
  DateTimeText,  // YYYYMMDDhhmmss
  FoxProDateTime,
  Level7Stamp,
  Currency,      // 64-bit integer, ten-thousandths
  Double,        // IEEE little-endian
  Level7Double,  // IEEE with the sign flipped for sorting
  Integer,       // 32-bit little-endian
  Level7Integer, // 32-bit big-endian with the sign flipped
  Logical,
  MemoBlock      // a block number in the memo file
};

// DBF table families, as bits of FieldKind::ownMemoIn.
enum TableFamilyBit : uint8_t {
  kDBase3Family = 1,
  kDBaseFamily = 2,  // dBase IV and the other levels without a family of their own
  kVisualFoxProFamily = 4,
  kLevel7Family = 8,
};

struct FieldKind {
  const char* typeName = "Unknown";  // the type's display name
  ValueClass valueClass = ValueClass::Text;
  Storage storage = Storage::Text;
  // Width of the value's text where it differs from the field's length
  // (binary numbers and date-times); 0 when the text is as wide as the field.
  uint8_t textWidth = 0;
  bool inMemoFile = false;     // the record holds a block number (M, G, P, W, binary B)
  bool autoIncrement = false;  // +
  const char* memoLabel = "";  // what text outputs show for a memo block: "Memo", "Gen"
  // C alone (not V): conditions and the sort may compare its text ignoring
  // case, and a ',' in a condition on it is text, not a range.
  bool characterText = false;
  bool floatingPoint = false;  // F: a floating-point number kept as text (N is fixed-point)
  // For a field in the memo file: the table families (TableFamilyBit) whose
  // tables have this memo type, so a DBF output of such a family keeps it.
  uint8_t ownMemoIn = 0;
};

// The kind of a field of the given letter and length in a table; level7 for
// dBase level 7 tables, whose binary numbers and date-times differ.
FieldKind fieldKindOf(char letter, uint16_t length, bool level7);

// One of "YCNFT@IMBO+DLPGQVW".
bool isKnownTypeLetter(char letter);
// The system field of Visual FoxPro that carries the null flags.
bool isNullFlagsName(const char* name);

}  // namespace tabrix
