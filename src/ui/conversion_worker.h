#pragma once
// Runs the wizard's conversion (one table, or every table of a folder) on a
// thread of its own, so the window keeps drawing; progress arrives by signal
// and Cancel is a flag the engine polls.
#include <QThread>
#include <atomic>
#include <string>
#include <vector>

#include "convert/conversion_options.h"

namespace tabrix {

struct ConversionJob {
  std::string source;
  std::string output;
};

struct ConversionOutcome {
  int converted = 0;
  bool cancelled = false;
  uint64_t recordsWritten = 0;         // of the last table
  std::vector<std::string> failures;   // "table: reason", one per table not converted
};

class ConversionWorker : public QThread {
  Q_OBJECT
 public:
  // options are copied: the pages may change theirs while the jobs run.
  ConversionWorker(const ConversionOptions& options, std::vector<ConversionJob> jobs, QObject* parent = nullptr);

  void requestCancel() { cancel_ = true; }
  // Complete once finished() was emitted.
  const ConversionOutcome& outcome() const { return outcome_; }

 signals:
  // Thousandths of the whole run, sent only when the number changes.
  void progressed(int permille);

 protected:
  void run() override;

 private:
  class Observer;
  ConversionOptions options_;
  std::vector<ConversionJob> jobs_;
  std::atomic<bool> cancel_{false};
  ConversionOutcome outcome_;
};

}  // namespace tabrix
