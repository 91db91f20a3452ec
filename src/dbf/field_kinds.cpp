#include "dbf/field_kinds.h"

#include <cstring>

#include "util/ascii.h"

namespace tabrix {

namespace {

FieldKind kind(const char* name, ValueClass valueClass, Storage storage, uint8_t textWidth = 0) {
  FieldKind k;
  k.typeName = name;
  k.valueClass = valueClass;
  k.storage = storage;
  k.textWidth = textWidth;
  return k;
}

FieldKind memoKind(const char* name, ValueClass valueClass, const char* label, uint8_t ownMemoIn) {
  FieldKind k = kind(name, valueClass, Storage::MemoBlock);
  k.inMemoFile = true;
  k.memoLabel = label;
  k.ownMemoIn = ownMemoIn;
  return k;
}

}  // namespace

FieldKind fieldKindOf(char letter, uint16_t length, bool level7) {
  using C = ValueClass;
  using S = Storage;
  switch (letter) {
    case 'C': {
      FieldKind k = kind("Character", C::Text, S::Text);
      k.characterText = true;
      return k;
    }
    case 'V': return kind("Varchar", C::Text, S::Varchar);
    case 'N': return kind("Numeric", C::Number, S::NumberText);
    case 'F': {
      FieldKind k = kind("Float", C::Number, S::NumberText);
      k.floatingPoint = true;
      return k;
    }
    case 'D': return kind("Date", C::Date, S::Date);
    case 'L': return kind("Logical", C::Logical, S::Logical);
    case 'Y': return kind("Currency", C::Currency, S::Currency, 20);
    case 'O': return kind("Double", C::Double, S::Level7Double, 21);
    // In dBase IV and level 7 tables B is a binary memo, stored as a block number.
    case 'B':
      return length == 8 ? kind("Double", C::Double, S::Double, 21)
                         : memoKind("Double", C::Binary, "Memo", kDBaseFamily | kLevel7Family);
    case 'I':
    case '+': {
      FieldKind k = kind(letter == 'I' ? "Integer" : "Autoincrement", C::Integer,
                         level7 ? S::Level7Integer : S::Integer, 10);
      k.autoIncrement = letter == '+';
      return k;
    }
    case 'T':
      if (length == 14 && !level7) return kind("DateTime", C::DateTime, S::DateTimeText, 19);
      return kind("DateTime", C::DateTime, level7 ? S::Level7Stamp : S::FoxProDateTime, 19);
    case '@': return kind("Timestamp", C::DateTime, S::Level7Stamp, 19);
    case 'M':
      return memoKind("Memo", C::Memo, "Memo", kDBase3Family | kDBaseFamily | kVisualFoxProFamily | kLevel7Family);
    case 'G': return memoKind("General", C::Binary, "Gen", kDBaseFamily | kVisualFoxProFamily | kLevel7Family);
    // Pictures and blobs keep their block number as text.
    case 'P': {
      FieldKind k = kind("Picture", C::Binary, S::Text);
      k.inMemoFile = true;
      return k;
    }
    case 'W': {
      FieldKind k = kind("Unknown", C::Binary, S::Text);
      k.inMemoFile = true;
      k.ownMemoIn = kVisualFoxProFamily;
      return k;
    }
    case 'Q': return kind("VARBINARY", C::Binary, S::Varbinary);
    case '0': return kind("Unknown", C::NullFlags, S::Text);
    default: return kind("Unknown", C::Text, S::Text);
  }
}

bool isKnownTypeLetter(char letter) {
  return letter != '\0' && std::strchr("YCNFT@IMBO+DLPGQVW", letter) != nullptr;
}

// Real Visual FoxPro tables spell it "_NullFlags", so case does not matter.
bool isNullFlagsName(const char* name) { return equalsIgnoringCase(name, "_NULLFLAGS"); }

}  // namespace tabrix
