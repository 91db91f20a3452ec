#include "ui/conversion_worker.h"

#include <fmt/format.h>

#include "convert/conversion.h"
#include "convert/progress_steps.h"
#include "select/record_sort.h"
#include "ui/wizard_state.h"
#include "util/ascii.h"

namespace tabrix {

TableOpenOptions tableOpenOptions(const ConversionOptions& options) {
  TableOpenOptions open;
  open.sourceIsOem = options.sourceIsOem;
  open.sourceIsAnsi = options.sourceIsAnsi;
  open.codePage = options.codePage;
  open.userPages = {options.ansiCodePage, options.oemCodePage};
  return open;
}

namespace {

// The first field a condition names that the table lacks; empty when there is none.
std::string unnamedConditionField(const DbfTable& table, const std::vector<ConditionPair>& conditions) {
  for (const ConditionPair& c : conditions) {
    bool found = false;
    for (int i = 0; i < table.fieldCount() && !found; ++i) found = equalsIgnoringCase(table.field(i).name, c.field);
    if (!found) return c.field;
  }
  return {};
}

}  // namespace

// Maps each table's walk onto the whole run's thousandths.
class ConversionWorker::Observer : public ConversionObserver {
 public:
  Observer(ConversionWorker& worker, size_t job, size_t jobs) : worker_(worker), job_(job), jobs_(jobs) {}

  void progress(uint64_t current, uint64_t total) override {
    uint64_t inJob = 1000;
    if (total != 0) {
      if (!thousandths_.advanced(current, total)) return;
      inJob = thousandths_.step();
    }
    const int permille = static_cast<int>((job_ * 1000 + inJob) / jobs_);
    if (permille == last_) return;
    last_ = permille;
    emit worker_.progressed(permille);
  }
  bool cancelRequested() override { return worker_.cancel_; }

 private:
  ConversionWorker& worker_;
  size_t job_;
  size_t jobs_;
  ProgressSteps thousandths_{1000};
  int last_ = -1;
};

ConversionWorker::ConversionWorker(const ConversionOptions& options, std::vector<ConversionJob> jobs, QObject* parent)
    : QThread(parent), options_(options), jobs_(std::move(jobs)) {}

void ConversionWorker::run() {
  ConversionOptions o = options_;
  o.firstAppendedJob = o.appendToOutput;
  for (size_t i = 0; i < jobs_.size() && !cancel_; ++i) {
    const ConversionJob& job = jobs_[i];
    DbfTable table;
    if (const Result opened = table.open(job.source, tableOpenOptions(o)); !opened) {
      outcome_.failures.push_back(fmt::format("{}: {}", job.source, opened.reason()));
      continue;
    }
    // Conditions and the sort field are chosen by name: in a folder each table has its own field list.
    if (const std::string missing = unnamedConditionField(table, o.fieldConditions); !missing.empty()) {
      outcome_.failures.push_back(fmt::format("{}: the filter names no field {}; the table is not converted", job.source, missing));
      continue;
    }
    if (o.sortEnabled) {
      o.sortField = resolveSortField(table, o.sortFieldName);
      if (o.sortField < 0) {
        outcome_.failures.push_back(fmt::format("{}: no field {} to sort by", job.source, o.sortFieldName));
        continue;
      }
    }
    o.outputPath = job.output;
    Observer observer(*this, i, jobs_.size());
    const ConversionResult result = runConversion(o, table, &observer);
    table.close();
    outcome_.recordsWritten = result.recordsWritten;
    if (result.cancelled) outcome_.cancelled = true;
    if (result.ok) ++outcome_.converted;
    else outcome_.failures.push_back(fmt::format("{}: {}", job.source, result.error));
    o.firstAppendedJob = false;
    if (o.appendToOutput) o.addToExisting = true;
  }
}

}  // namespace tabrix
