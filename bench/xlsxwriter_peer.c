/* The peer of the workbook benchmark: writes the cells Tabrix writes for a
 * dBase III table of C, N, D and L fields (a header row frozen, text without
 * trailing blanks, numbers with format 1 where the field has no decimals,
 * dates with format 14, booleans for T and F) with libxlsxwriter in its
 * constant-memory mode.
 *
 *   xlsxwriter_peer TABLE.dbf OUTPUT.xlsx
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <xlsxwriter.h>

enum { kMaxFields = 255 };

struct field {
  char name[12];
  char type;
  unsigned length, decimals, offset;
};

static unsigned le16(const unsigned char* p) { return p[0] | (unsigned)p[1] << 8; }
static uint32_t le32(const unsigned char* p) { return le16(p) | (uint32_t)le16(p + 2) << 16; }

/* Days since 1899-12-30 of a date from March 1900 on: the spreadsheet day number. */
static double day_number(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = (unsigned)(y - era * 400);
  const unsigned doy = (153 * (unsigned)(m + (m > 2 ? -3 : 9)) + 2) / 5 + (unsigned)d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097.0 + doe - 719468 + 25569;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s TABLE.dbf OUTPUT.xlsx\n", argv[0]);
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  unsigned char header[32];
  if (!in || fread(header, 1, 32, in) != 32) {
    fprintf(stderr, "%s: cannot read the header\n", argv[1]);
    return 1;
  }
  const uint32_t records = le32(header + 4);
  const unsigned header_length = le16(header + 8), record_length = le16(header + 10);
  struct field fields[kMaxFields];
  unsigned count = 0, offset = 1;
  unsigned char d[32];
  while (count < kMaxFields && 32 + 32 * (count + 1) < header_length && fread(d, 1, 32, in) == 32 && d[0] != 0x0D) {
    struct field* f = &fields[count++];
    memcpy(f->name, d, 11);
    f->name[11] = 0;
    f->type = (char)d[11];
    f->length = d[16];
    f->decimals = d[17];
    f->offset = offset;
    offset += f->length;
  }
  if (offset > record_length || fseek(in, header_length, SEEK_SET) != 0) {
    fprintf(stderr, "%s: fields do not fit the record\n", argv[1]);
    return 1;
  }

  lxw_workbook_options options = {.constant_memory = LXW_TRUE, .tmpdir = NULL};
  lxw_workbook* book = workbook_new_opt(argv[2], &options);
  lxw_worksheet* sheet = workbook_add_worksheet(book, NULL);
  lxw_format* date = workbook_add_format(book);
  format_set_num_format_index(date, 14);
  lxw_format* integer = workbook_add_format(book);
  format_set_num_format_index(integer, 1);
  for (unsigned c = 0; c < count; ++c) {
    worksheet_write_string(sheet, 0, (lxw_col_t)c, fields[c].name, NULL);
    worksheet_set_column(sheet, (lxw_col_t)c, (lxw_col_t)c, fields[c].length + 2.0, NULL);
  }
  worksheet_freeze_panes(sheet, 1, 0);

  unsigned char* record = malloc(record_length);
  char text[256];
  for (uint32_t r = 0; r < records && fread(record, 1, record_length, in) == record_length; ++r) {
    const lxw_row_t row = r + 1;
    for (unsigned c = 0; c < count; ++c) {
      const struct field* f = &fields[c];
      const char* v = (const char*)record + f->offset;
      unsigned n = f->length;
      if (f->type == 'L') {
        if (*v == 'T' || *v == 'F') worksheet_write_boolean(sheet, row, (lxw_col_t)c, *v == 'T', NULL);
        continue;
      }
      while (n > 0 && v[n - 1] == ' ') --n;
      if (f->type == 'N') {
        while (n > 0 && *v == ' ') ++v, --n;
      }
      if (n == 0) continue;
      memcpy(text, v, n);
      text[n] = 0;
      if (f->type == 'N') {
        worksheet_write_number(sheet, row, (lxw_col_t)c, strtod(text, NULL), f->decimals ? NULL : integer);
      } else if (f->type == 'D' && n == 8) {
        const int y = (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + text[3] - '0';
        const int m = (text[4] - '0') * 10 + text[5] - '0', day = (text[6] - '0') * 10 + text[7] - '0';
        worksheet_write_number(sheet, row, (lxw_col_t)c, day_number(y, m, day), date);
      } else {
        worksheet_write_string(sheet, row, (lxw_col_t)c, text, NULL);
      }
    }
  }
  free(record);
  fclose(in);
  const lxw_error error = workbook_close(book);
  if (error != LXW_NO_ERROR) {
    fprintf(stderr, "%s: %s\n", argv[2], lxw_strerror(error));
    return 1;
  }
  return 0;
}
