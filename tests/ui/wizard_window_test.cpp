// The real window on an X server (Xvfb): typed paths and clicked buttons
// convert a corpus table to CSV, and the file equals the command line's
// output byte for byte. With TABRIX_SCREENSHOTS naming a folder, each page is
// saved there as the X server shows it (the pictures of docs/wizard.md).
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include "tests/ui/wizard_harness.h"
#include "ui/command_line_dialog.h"
#include "ui/fields_dialog.h"
#include "ui/filter_dialog.h"

namespace tabrix::test {

class WizardWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(temp_.isValid());
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
  }

  void convertsLikeTheCommandLine() {
    const QString source = QStringLiteral(TABRIX_TEST_CORPUS "/infused-dbf/dbase_03.dbf");
    const QString fromWizard = temp_.filePath("wizard.csv");
    WizardHarness h({}, /*realMessages=*/true);
    QVERIFY(QTest::qWaitForWindowExposed(h.wizard.get()));
    QTest::keyClicks(h.sourcePage().sourceBox()->lineEdit(), source);
    QTest::keyClicks(h.sourcePage().outputBox()->lineEdit(), fromWizard);
    shoot(*h.wizard, "wizard-source.png");
    QTest::mouseClick(h.wizard->button(QWizard::NextButton), Qt::LeftButton);
    QCOMPARE(h.wizard->currentId(), int(Wizard::CommonPageId));
    QTest::qWait(200);
    shoot(*h.wizard, "wizard-common.png");
    QTest::mouseClick(h.wizard->button(QWizard::CommitButton), Qt::LeftButton);
    QCOMPARE(h.wizard->currentId(), int(Wizard::TextPageId));
    if (h.textPage().viewAfter()->isChecked()) QTest::mouseClick(h.textPage().viewAfter(), Qt::LeftButton);
    QVERIFY(!h.textPage().viewAfter()->isChecked());
    shoot(*h.wizard, "wizard-text.png");

    // The closing message is a real message box: read, pictured, then OK pressed.
    QString closing;
    QTimer::singleShot(100, this, [&] { closeMessageBox(closing); });
    QSignalSpy done(h.wizard.get(), &Wizard::conversionFinished);
    QTest::mouseClick(h.wizard->button(QWizard::FinishButton), Qt::LeftButton);
    QVERIFY(done.count() > 0 || done.wait(60000));
    QCOMPARE(closing, QString("Conversion done"));
    QVERIFY(h.opened.isEmpty());

    const QString fromCommandLine = temp_.filePath("cli.csv");
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TABRIX_SETTINGS", temp_.filePath("cli.reg"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(TABRIX_EXECUTABLE), {source, fromCommandLine, "/HDR"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    const QByteArray expected = readAll(fromCommandLine);
    QCOMPARE(expected.trimmed().split('\n').size(), 15);
    QCOMPARE(readAll(fromWizard), expected);
  }

  // The HTML page as a user sees it, after a folder was chosen on the first page.
  void htmlAndFolderPages() {
    WizardHarness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.wizard.get()));
    h.sourcePage().enterFolderMode(QStringLiteral(TABRIX_TEST_CORPUS "/exavera-ndbfreader"));
    h.sourcePage().chooseOutputFolder(temp_.filePath("html"));
    h.sourcePage().exportToBox()->setCurrentIndex(static_cast<int>(OutputFormat::Html) - 1);
    shoot(*h.wizard, "wizard-folder.png");
    QTest::mouseClick(h.wizard->button(QWizard::NextButton), Qt::LeftButton);
    QTest::mouseClick(h.wizard->button(QWizard::CommitButton), Qt::LeftButton);
    QCOMPARE(h.wizard->currentId(), int(Wizard::HtmlPageId));
    shoot(*h.wizard, "wizard-html.png");
    QTest::mouseClick(h.wizard->button(QWizard::CancelButton), Qt::LeftButton);
    QVERIFY(!h.wizard->isVisible());
  }

  // The three dialogs of page 2 as a user sees them, some choices made.
  void dialogsOnScreen() {
    WizardHarness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.wizard.get()));
    h.enterPair(QStringLiteral(TABRIX_TEST_CORPUS "/infused-dbf/dbase_03.dbf"), temp_.filePath("my data/out.json"));
    QCOMPARE(h.wizard->currentId(), int(Wizard::CommonPageId));
    h.commonPage().runDialog = [this](QDialog& dialog) {
      if (auto* fields = qobject_cast<FieldsDialog*>(&dialog)) {
        fields->list()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        fields->list()->setCurrentItem(fields->list()->topLevelItem(2));
      }
      if (auto* filter = qobject_cast<FilterDialog*>(&dialog)) {
        filter->rows()[0].text[0]->setText("Pat*");
        for (const FilterDialog::Row& row : filter->rows())
          if (row.date[0]) row.dateOn[0]->setChecked(true);
      }
      dialog.show();
      if (!QTest::qWaitForWindowExposed(&dialog)) return int(QDialog::Rejected);
      shoot(dialog, qobject_cast<FieldsDialog*>(&dialog) ? "wizard-fields.png" : "wizard-filter.png");
      dialog.hide();
      return int(QDialog::Accepted);
    };
    QTest::mouseClick(h.commonPage().columnsButton(), Qt::LeftButton);
    QTest::mouseClick(h.commonPage().filterButton(), Qt::LeftButton);
    QVERIFY(!h.options.fieldConditions.empty());
    h.wizard->state().program = "/usr/bin/tabrix";
    CommandLineDialog line(h.commonPage().composedCommand(), h.wizard.get());
    line.show();
    QVERIFY(QTest::qWaitForWindowExposed(&line));
    QVERIFY(line.lineBox()->text().contains("/columns:"));
    shoot(line, "wizard-command-line.png");
  }

 private:
  static QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // The window's pixels as the X server holds them.
  void shoot(QWidget& window, const QString& name) {
    const QString folder = qEnvironmentVariable("TABRIX_SCREENSHOTS");
    if (folder.isEmpty()) return;
    QTest::qWait(150);
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    QVERIFY(!shot.isNull());
    QVERIFY(shot.save(folder + "/" + name));
  }

  void closeMessageBox(QString& text) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      QTimer::singleShot(100, this, [this, &text] { closeMessageBox(text); });
      return;
    }
    text = box->text();
    shoot(*box, "wizard-done.png");
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  }

  QTemporaryDir temp_;
};

}  // namespace tabrix::test

QTEST_MAIN(tabrix::test::WizardWindowTest)
#include "wizard_window_test.moc"
