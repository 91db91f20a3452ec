#include "select/record_sort.h"

#include <strings.h>

#include <cstring>
#include <new>

#include "dbf/date_time.h"
#include "dbf/field_decoder.h"

namespace tabrix {

namespace {

int compareFoldingCase(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint8_t x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<uint8_t>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<uint8_t>(y - 32);
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

template <size_t N>
void fieldBytes(const uint8_t* record, const Field& f, uint8_t (&out)[N]) {
  std::memset(out, 0, N);
  std::memcpy(out, record + f.offset, std::min<size_t>(f.length, N));
}

double doubleOf(const Field& f, const uint8_t* record) {
  uint8_t b[8];
  fieldBytes(record, f, b);
  if (f.type == 'O') return decodeLevel7Double(b);
  double v;
  std::memcpy(&v, b, 8);
  return v;
}

int32_t integerOf(const DbfTable& table, const Field& f, const uint8_t* record) {
  uint8_t b[4];
  fieldBytes(record, f, b);
  if (table.isLevel7()) return decodeLevel7Integer(b);
  int32_t v;
  std::memcpy(&v, b, 4);
  return v;
}

int64_t currencyOf(const Field& f, const uint8_t* record) {
  uint8_t b[8];
  fieldBytes(record, f, b);
  int64_t v;
  std::memcpy(&v, b, 8);
  return v;
}

}  // namespace

int resolveSortField(const DbfTable& table, const std::string& name) {
  for (int i = 0; i < table.fieldCount(); ++i)
    if (::strcasecmp(table.field(i).name.c_str(), name.c_str()) == 0) return i;
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

bool SortedRecords::load(DbfTable& table, const SortOrder& order, std::string& error) {
  const uint64_t count = table.recordCount();
  recordLength_ = table.recordLength();
  if (count > UINT32_MAX || count > SIZE_MAX / recordLength_) {
    error = "the table has too many records to sort";
    return false;
  }
  block_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(count * recordLength_) + DbfTable::kRecordSlack]);
  if (!block_) {
    error = "the table does not fit in memory for sorting (" + std::to_string(count * recordLength_ / 1048576) + " MB)";
    return false;
  }
  positions_.resize(static_cast<size_t>(count));
  table.rewind();
  for (uint64_t n = 0; n < count; ++n) {
    const uint8_t* record = table.readNextRecord();
    if (!record) {
      error = "the table could not be read to its end";
      return false;
    }
    std::memcpy(block_.get() + n * recordLength_, record, recordLength_);
    positions_[static_cast<size_t>(n)] = static_cast<uint32_t>(n);
  }
  if (order.field < 0 || order.field >= table.fieldCount()) return true;

  const Field& f = table.field(order.field);
  const bool ascending = order.ascending;
  auto recordAt = [&](uint32_t position) { return block_.get() + uint64_t{position} * recordLength_; };
  // r > 0: a belongs after b. Doubles and integers give 1 or 0 only; the
  // quicksort asks no more of them.
  auto compare = [&](uint32_t pa, uint32_t pb) -> int {
    const uint8_t* a = recordAt(pa);
    const uint8_t* b = recordAt(pb);
    int r;
    switch (f.type) {
      case 'C':
        r = order.ignoreCase ? compareFoldingCase(a + f.offset, b + f.offset, f.length)
                             : std::memcmp(a + f.offset, b + f.offset, f.length);
        break;
      case 'N':
      case 'F':
        r = compareNumericText(a + f.offset, b + f.offset, f.length);
        break;
      case 'B':
      case 'O': {
        const double x = doubleOf(f, a), y = doubleOf(f, b);
        return ascending ? x > y : x < y;
      }
      case 'I':
      case '+': {
        const int32_t x = integerOf(table, f, a), y = integerOf(table, f, b);
        return ascending ? x > y : x < y;
      }
      case 'T':
      case '@': {
        const int64_t x = dateTimeKey(table, order.field, a), y = dateTimeKey(table, order.field, b);
        r = x > y ? 1 : x < y ? -1 : 0;
        break;
      }
      case 'Y': {
        const int64_t x = currencyOf(f, a), y = currencyOf(f, b);
        r = x > y ? 1 : x < y ? -1 : 0;
        break;
      }
      default:
        // D as its yyyymmdd text; every other type by its stored bytes.
        r = std::memcmp(a + f.offset, b + f.offset, f.length);
        break;
    }
    return ascending ? r : -r;
  };
  quickSortPositions(positions_, compare);
  return true;
}

}  // namespace tabrix
