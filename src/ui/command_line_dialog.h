#pragma once
// "Command Line": the command that repeats the wizard's conversion, in one
// line, the choices no switch can carry, and a button that saves the line as
// an executable shell script.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "ui/command_text.h"

namespace tabrix {

class CommandLineDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CommandLineDialog(const ComposedCommand& command, QWidget* parent = nullptr);

  QLineEdit* lineBox() const { return line_; }
  QLabel* notesLabel() const { return notes_; }
  QPushButton* saveButton() const { return save_; }

  // The desktop around the dialog; tests replace these to run without a user.
  std::function<QString()> askScriptPath;                // a save dialog; empty when cancelled
  std::function<void(const QString& text)> showMessage;  // an information box, caption "Tabrix"

  // Writes the script to path, ".sh" added unless the name ends so (any
  // case), readable and runnable; the name written, or empty after a
  // message saying why it could not be.
  QString saveScript(QString path);

 private:
  std::string script_;  // saved as composed: edits in the box are not saved
  QLineEdit* line_;
  QLabel* notes_;  // the conditions file and the choices no switch can carry
  QPushButton* save_;
};

}  // namespace tabrix
