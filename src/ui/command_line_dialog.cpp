#include "ui/command_line_dialog.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QSaveFile>
#include <QVBoxLayout>

namespace tabrix {

CommandLineDialog::CommandLineDialog(const ComposedCommand& command, QWidget* parent)
    : QDialog(parent),
      script_(shellScript(command)),
      line_(new QLineEdit(QString::fromStdString(shellLine(command.words)), this)),
      notes_(new QLabel(this)),
      save_(new QPushButton(tr("Save as shell script"), this)) {
  setWindowTitle(tr("Command Line"));
  line_->setCursorPosition(0);
  QString notes;
  if (!command.conditionLines.empty()) {
    notes = tr("The script writes these conditions to a temporary file for /FILTER:");
    for (const std::string& line : command.conditionLines) notes += "\n    " + QString::fromStdString(line);
  }
  if (!command.unexpressed.empty()) {
    notes += QString(notes.isEmpty() ? "" : "\n") + tr("The command line cannot say:");
    for (const std::string& choice : command.unexpressed) notes += "\n- " + QString::fromStdString(choice);
  }
  notes_->setText(notes);
  notes_->setVisible(!notes.isEmpty());
  notes_->setWordWrap(true);
  auto* close = new QPushButton(tr("Close"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(save_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(line_);
  layout->addWidget(notes_);
  layout->addLayout(buttons);
  resize(760, sizeHint().height());
  save_->setDefault(true);
  save_->setFocus();

  askScriptPath = [this] {
    return QFileDialog::getSaveFileName(this, tr("Save as shell script"), QString(), tr("Shell scripts (*.sh)"));
  };
  showMessage = [](const QString& text) { QMessageBox::information(nullptr, tr("Tabrix"), text); };
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(save_, &QPushButton::clicked, this, [this] {
    if (const QString path = askScriptPath(); !path.isEmpty()) saveScript(path);
  });
}

QString CommandLineDialog::saveScript(QString path) {
  if (!path.endsWith(QLatin1String(".sh"), Qt::CaseInsensitive)) path += QLatin1String(".sh");
  QSaveFile file(path);
  const bool saved = file.open(QIODevice::WriteOnly) &&
                     file.write(script_.data(), static_cast<qint64>(script_.size())) == static_cast<qint64>(script_.size()) &&
                     file.commit();
  if (!saved) {
    showMessage(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return {};
  }
  // Runnable by whoever may read it.
  QFileDevice::Permissions p = QFile::permissions(path);
  if (p & QFileDevice::ReadOwner) p |= QFileDevice::ExeOwner;
  if (p & QFileDevice::ReadGroup) p |= QFileDevice::ExeGroup;
  if (p & QFileDevice::ReadOther) p |= QFileDevice::ExeOther;
  QFile::setPermissions(path, p);
  return path;
}

}  // namespace tabrix
