#pragma once
// Records in the order of one field. All records are read into one block of
// memory and an array of positions is sorted, so memory stays close to the
// table's size and record bytes never move.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf_table.h"
#include "util/result.h"

namespace tabrix {

// The index of the field named name (whole, any case), or -1.
int resolveSortField(const DbfTable& table, const std::string& name);

struct SortOrder {
  int field = -1;
  bool ascending = true;
  bool ignoreCase = false;
  int codePage = 1252;  // the page the field's bytes are in, whose letters ignoreCase folds
};

class SortedRecords {
 public:
  // Reads every record of table and sorts them; a failure when the records do
  // not fit in memory or cannot be read.
  Result load(DbfTable& table, const SortOrder& order);
  uint64_t size() const { return positions_.size(); }
  // The record at place i of the order; kRecordSlack readable bytes follow it
  // as they follow the table's own records.
  const uint8_t* record(uint64_t i) const { return block_.get() + uint64_t{positions_[i]} * recordLength_; }

 private:
  std::unique_ptr<uint8_t[]> block_;
  std::vector<uint32_t> positions_;
  uint32_t recordLength_ = 0;
};

// Compares right-aligned numeric field texts of length n as stored.
int compareNumericText(const uint8_t* left, const uint8_t* right, size_t n);

// The iterative quicksort whose order of equal keys is part of the output:
// compare(p, q) > 0 means the entry at p belongs after the one at q.
template <typename Compare>
void quickSortPositions(std::vector<uint32_t>& entries, Compare compare);

}  // namespace tabrix

#include "select/record_sort_internal.h"
