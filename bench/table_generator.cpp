#include "table_generator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace tabrix::bench {

namespace {

struct FieldSpec {
  const char* name;
  char type;
  uint8_t length;
  uint8_t decimals;
};

// Each list adds up to 119 bytes, 120 with the deletion flag.
constexpr std::array<FieldSpec, 7> kDBase3Fields = {{
    {"NAME", 'C', 40, 0}, {"CITY", 'C', 20, 0}, {"ID", 'N', 10, 0}, {"AMOUNT", 'N', 12, 2},
    {"BORN", 'D', 8, 0}, {"ACTIVE", 'L', 1, 0}, {"NOTE", 'C', 28, 0},
}};
constexpr std::array<FieldSpec, 11> kVisualFoxProFields = {{
    {"NAME", 'C', 40, 0}, {"CITY", 'C', 12, 0}, {"ID", 'N', 10, 0}, {"AMOUNT", 'N', 12, 2},
    {"BORN", 'D', 8, 0}, {"ACTIVE", 'L', 1, 0}, {"COUNT", 'I', 4, 0}, {"PRICE", 'Y', 8, 4},
    {"RATIO", 'B', 8, 2}, {"STAMP", 'T', 8, 0}, {"CODE", 'C', 8, 0},
}};

constexpr std::array<std::string_view, 12> kFirstNames = {"Anna", "Boris", "Chloe", "Dmitri", "Elena", "Farid",
                                                          "Greta", "Hugo", "Irina", "Jonas", "Katja", "Luis"};
constexpr std::array<std::string_view, 12> kSurnames = {"Novak", "Schmidt", "Okafor", "Lindqvist", "Moreau", "Tanaka",
                                                        "Kowalski", "Haddad", "Petrov", "Silva", "O'Brien", "Weber"};
constexpr std::array<std::string_view, 10> kCities = {"Berlin", "Lisbon", "Riga", "Osaka", "Quito",
                                                      "Tallinn", "Lyon", "Krakow", "Accra", "Perth"};
constexpr std::array<std::string_view, 10> kWords = {"paid", "late", "call", "back", "new",
                                                     "vip", "moved", "check", "ok", "hold"};

// splitmix64: tiny, fast and the same on every platform, unlike the
// standard distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }

 private:
  uint64_t state_;
};

void putLe(char* at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<char>(v >> (8 * i));
}

// Left-aligned text padded with blanks, as character fields store it.
void putText(char* at, size_t width, std::string_view text) {
  const size_t n = std::min(width, text.size());
  std::memcpy(at, text.data(), n);
  std::memset(at + n, ' ', width - n);
}

// Right-aligned decimal text, as numeric fields store it; scaled counts units
// of the last decimal (decimals 0 or 2).
void putNumber(char* at, size_t width, int64_t scaled, int decimals) {
  char text[32];
  int n;
  if (decimals == 0) {
    n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(scaled));
  } else {
    const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    n = std::snprintf(text, sizeof text, "%s%llu.%02llu", scaled < 0 ? "-" : "",
                      static_cast<unsigned long long>(magnitude / 100), static_cast<unsigned long long>(magnitude % 100));
  }
  const size_t len = std::min(width, static_cast<size_t>(n));
  std::memset(at, ' ', width - len);
  std::memcpy(at + width - len, text, len);
}

void putDate(char* at, Random& random) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u%02u%02u", 1950 + random.below(70), 1 + random.below(12), 1 + random.below(28));
  std::memcpy(at, text, 8);
}

void fillRecord(char* record, uint64_t index, TableDialect dialect, Random& random) {
  const bool foxPro = dialect == TableDialect::VisualFoxPro;
  record[0] = random.below(50) == 0 ? '*' : ' ';
  char* at = record + 1;
  char text[48];
  const std::string_view surname = kSurnames[random.below(kSurnames.size())];
  const std::string_view firstName = kFirstNames[random.below(kFirstNames.size())];
  int n = std::snprintf(text, sizeof text, "%.*s, %.*s #%u", static_cast<int>(surname.size()), surname.data(),
                        static_cast<int>(firstName.size()), firstName.data(), random.below(100000));
  putText(at, 40, {text, static_cast<size_t>(n)});
  at += 40;
  const size_t cityWidth = foxPro ? 12 : 20;
  putText(at, cityWidth, kCities[random.below(kCities.size())]);
  at += cityWidth;
  putNumber(at, 10, static_cast<int64_t>(index + 1), 0);
  at += 10;
  putNumber(at, 12, static_cast<int64_t>(random.below(200'000'000)) - 100'000'000, 2);
  at += 12;
  putDate(at, random);
  at += 8;
  *at++ = random.below(2) ? 'T' : 'F';
  if (!foxPro) {
    std::string note;
    for (uint32_t words = random.below(5); words > 0; --words) {
      if (!note.empty()) note += ' ';
      note += kWords[random.below(kWords.size())];
    }
    putText(at, 28, note);
    return;
  }
  putLe(at, static_cast<uint32_t>(random.next()), 4);
  at += 4;
  putLe(at, static_cast<uint64_t>(static_cast<int64_t>(random.next() % 20'000'000'000'000u) - 10'000'000'000'000), 8);
  at += 8;
  const double ratio = static_cast<double>(random.next() >> 11) * 0x1p-53 * 2e6 - 1e6;
  uint64_t bits;
  std::memcpy(&bits, &ratio, sizeof bits);
  putLe(at, bits, 8);
  at += 8;
  // Julian days of 2000 to 2024, and milliseconds of the day.
  putLe(at, 2451545 + random.below(9000), 4);
  putLe(at + 4, random.below(86'400'000), 4);
  at += 8;
  n = std::snprintf(text, sizeof text, "C%u", random.below(10'000'000));
  putText(at, 8, {text, static_cast<size_t>(n)});
}

template <size_t N>
std::vector<char> header(const std::array<FieldSpec, N>& fields, uint64_t recordCount, TableDialect dialect) {
  const bool foxPro = dialect == TableDialect::VisualFoxPro;
  // Visual FoxPro adds the 263-byte backlink area after the terminator.
  const size_t length = 32 + 32 * N + 1 + (foxPro ? 263 : 0);
  std::vector<char> h(length, 0);
  h[0] = static_cast<char>(foxPro ? 0x30 : 0x03);
  h[1] = 124;  // last update 2024-01-01
  h[2] = 1;
  h[3] = 1;
  putLe(&h[4], recordCount, 4);
  putLe(&h[8], length, 2);
  putLe(&h[10], kBenchRecordLength, 2);
  h[29] = 0x03;  // Windows 1252
  uint32_t offset = 1;
  for (size_t i = 0; i < N; ++i) {
    char* d = &h[32 + 32 * i];
    std::memcpy(d, fields[i].name, std::strlen(fields[i].name));
    d[11] = fields[i].type;
    if (foxPro) putLe(d + 12, offset, 4);
    d[16] = static_cast<char>(fields[i].length);
    d[17] = static_cast<char>(fields[i].decimals);
    offset += fields[i].length;
  }
  h[32 + 32 * N] = 0x0D;
  return h;
}

}  // namespace

bool parseDialect(const std::string& text, TableDialect& out) {
  if (text == "dbase3") out = TableDialect::DBase3;
  else if (text == "vfp") out = TableDialect::VisualFoxPro;
  else return false;
  return true;
}

bool writeBenchTable(const std::string& path, uint64_t recordCount, TableDialect dialect, std::string& error) {
  if (recordCount > UINT32_MAX) {
    error = "a DBF header holds at most 4294967295 records";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const auto fail = [&] {
    error = path + ": " + std::strerror(errno);
    std::fclose(file);
    return false;
  };
  const std::vector<char> head = dialect == TableDialect::DBase3 ? header(kDBase3Fields, recordCount, dialect)
                                                                  : header(kVisualFoxProFields, recordCount, dialect);
  if (std::fwrite(head.data(), 1, head.size(), file) != head.size()) return fail();

  Random random(0x7AB21C5EEDu);
  constexpr uint64_t kBatch = 8192;
  std::vector<char> batch(kBatch * kBenchRecordLength);
  for (uint64_t first = 0; first < recordCount; first += kBatch) {
    const uint64_t count = std::min(kBatch, recordCount - first);
    for (uint64_t i = 0; i < count; ++i) fillRecord(&batch[i * kBenchRecordLength], first + i, dialect, random);
    const size_t bytes = count * kBenchRecordLength;
    if (std::fwrite(batch.data(), 1, bytes, file) != bytes) return fail();
  }
  if (std::fputc(0x1A, file) == EOF) return fail();
  if (std::fclose(file) != 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tabrix::bench
