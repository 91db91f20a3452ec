#include "select/record_sort.h"

#include <cstring>
#include <new>

#include "dbf/date_time.h"
#include "dbf/field_decoder.h"
#include "platform/code_pages.h"
#include "util/ascii.h"

namespace tabrix {

namespace {

// Letters compare as their capitals in the field's page. In a double-byte
// page the second byte of a character is no letter of its own, even where it
// has an ASCII letter's value, so a character both texts begin alike at
// compares its second bytes as they are.
int compareFoldingCase(const uint8_t* a, const uint8_t* b, size_t n, const std::array<uint8_t, 256>& upper,
                       const CharacterBytes& characters) {
  for (size_t i = 0; i < n; ++i) {
    if (characters.doubleByte && a[i] == b[i] && characters.lead[a[i]] && i + 1 < n &&
        characters.trail[a[i + 1]] && characters.trail[b[i + 1]]) {
      ++i;
      if (a[i] != b[i]) return a[i] - b[i];
      continue;
    }
    const uint8_t x = upper[a[i]];
    const uint8_t y = upper[b[i]];
    if (x != y) return x - y;
    if (x == 0) return 0;
  }
  return 0;
}

// A date-time as one number: seconds since year 1, empty values first.
int64_t dateTimeKey(const DbfTable& table, int field, const uint8_t* record) {
  const auto parts = decodeDateTime(table, field, record);
  if (!parts) return INT64_MIN;
  const int64_t days = daysFromCivil(parts->year, parts->month, parts->day);
  return days * 86400 + parts->hour * 3600 + parts->minute * 60 + parts->second;
}

}  // namespace

int resolveSortField(const DbfTable& table, const std::string& name) {
  for (int i = 0; i < table.fieldCount(); ++i)
    if (equalsIgnoringCase(table.field(i).name, name)) return i;
  return -1;
}

int compareNumericText(const uint8_t* left, const uint8_t* right, size_t n) {
  if (n == 0) return 0;
  size_t i = 0;
  bool minusSkipped = false;
  while (i < n - 1 && left[i] == right[i]) {
    minusSkipped = minusSkipped || left[i] == '-';
    ++i;
  }
  if (minusSkipped) return right[i] - left[i];
  if (left[i] == ' ' && right[i] == '-') return 1;
  if (left[i] == '-' && right[i] == ' ') return -1;
  return left[i] - right[i];
}

Result SortedRecords::load(DbfTable& table, const SortOrder& order) {
  const uint64_t count = table.recordCount();
  recordLength_ = table.recordLength();
  if (count > UINT32_MAX || count > SIZE_MAX / recordLength_)
    return Result::failure("the table has too many records to sort");
  block_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(count * recordLength_) + DbfTable::kRecordSlack]);
  if (!block_)
    return Result::failure("the table does not fit in memory for sorting (" +
                           std::to_string(count * recordLength_ / 1048576) + " MB)");
  positions_.resize(static_cast<size_t>(count));
  table.rewind();
  for (uint64_t n = 0; n < count; ++n) {
    const uint8_t* record = table.readNextRecord();
    if (!record) return Result::failure("the table could not be read to its end");
    std::memcpy(block_.get() + n * recordLength_, record, recordLength_);
    positions_[static_cast<size_t>(n)] = static_cast<uint32_t>(n);
  }
  if (order.field < 0 || order.field >= table.fieldCount()) return {};

  const Field& f = table.field(order.field);
  const bool ascending = order.ascending;
  std::array<uint8_t, 256> upper{};
  CharacterBytes characters;
  if (order.ignoreCase) {
    upper = upperCaseTable(order.codePage);
    characters = characterBytes(order.codePage);
  }
  auto recordAt = [&](uint32_t position) { return block_.get() + uint64_t{position} * recordLength_; };
  // r > 0: a belongs after b. Doubles and integers give 1 or 0 only; the
  // quicksort asks no more of them.
  auto compare = [&](uint32_t pa, uint32_t pb) -> int {
    const uint8_t* a = recordAt(pa);
    const uint8_t* b = recordAt(pb);
    int r;
    switch (f.kind.valueClass) {
      case ValueClass::Number:
        r = compareNumericText(a + f.offset, b + f.offset, f.length);
        break;
      case ValueClass::Double: {
        const double x = doubleValue(f, a), y = doubleValue(f, b);
        return ascending ? x > y : x < y;
      }
      case ValueClass::Integer: {
        const int32_t x = integerValue(f, a), y = integerValue(f, b);
        return ascending ? x > y : x < y;
      }
      case ValueClass::DateTime: {
        const int64_t x = dateTimeKey(table, order.field, a), y = dateTimeKey(table, order.field, b);
        r = x > y ? 1 : x < y ? -1 : 0;
        break;
      }
      case ValueClass::Currency: {
        const int64_t x = currencyAmount(f, a), y = currencyAmount(f, b);
        r = x > y ? 1 : x < y ? -1 : 0;
        break;
      }
      default:
        // Dates as their yyyymmdd text; character text folded when asked;
        // every other type by its stored bytes.
        r = order.ignoreCase && f.kind.characterText ? compareFoldingCase(a + f.offset, b + f.offset, f.length, upper, characters)
                                                     : std::memcmp(a + f.offset, b + f.offset, f.length);
        break;
    }
    return ascending ? r : -r;
  };
  quickSortPositions(positions_, compare);
  return {};
}

}  // namespace tabrix
