#pragma once
// A plain-text look at a table: its header facts, fields and first records.
#include <cstdio>
#include <string>

namespace tabrix {

// Prints the summary of the table at path to out; returns 0, or 1 when the
// table cannot be opened (the reason then goes to err).
int printTableSummary(const std::string& path, int maxRecords, std::FILE* out, std::FILE* err);

}  // namespace tabrix
