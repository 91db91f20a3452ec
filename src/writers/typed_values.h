#pragma once
// Values as typed outputs (JSON lines, typed JSON, SQLite) read them: whether
// a date holds a day, a logical's truth, the bytes of a binary value.
#include <cstdint>
#include <optional>
#include <string_view>

#include "convert/record_writer.h"
#include "util/text_buffer.h"

namespace tabrix {

// Whether a date or date-time column holds a calendar day: blank, zero and
// damaged dates hold none.
bool holdsDate(const JobContext& job, const PlannedColumn& column, const uint8_t* record);

// T, t, Y, y are true; F, f, N, n false; anything else ('?', blank) none.
std::optional<bool> logicalValue(const Field& field, const uint8_t* record);

// Bytes as text: two lowercase hex digits a byte; base64 with padding.
void appendHex(TextBuffer& out, std::string_view bytes);
void appendBase64(TextBuffer& out, std::string_view bytes);

// The bytes of a binary column (a memo of G, P, W or binary B, or a Q field),
// valid until the next memo read.
std::string_view binaryValue(DbfTable& table, const PlannedColumn& column, const uint8_t* record);

}  // namespace tabrix
