// The Fields, Filter and Command Line dialogs under the offscreen platform,
// and the property that counts: the script the Command Line dialog saves,
// run by /bin/sh, writes the same bytes as the wizard's Finish.
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QScrollArea>
#include <QScrollBar>
#include <QProcess>
#include <functional>

#include "tests/ui/wizard_harness.h"
#include "ui/command_line_dialog.h"
#include "ui/fields_dialog.h"
#include "ui/filter_dialog.h"

namespace tabrix::test {
namespace {

const QString kCorpus = QStringLiteral(TABRIX_TEST_CORPUS);
const QString kTabrix = QStringLiteral(TABRIX_EXECUTABLE);
// Every field type of Visual FoxPro, the null flags field among them.
const QString kEveryType = kCorpus + "/sheetjs-test_files/dbf/vfp3.dbf";

QByteArray descriptor(const char* name, char type, uint8_t length, uint8_t decimals = 0) {
  QByteArray d(32, '\0');
  d.replace(0, static_cast<int>(strlen(name)), name);
  d[11] = type;
  d[16] = static_cast<char>(length);
  d[17] = static_cast<char>(decimals);
  return d;
}

// A dBase III table: NAME C(12), PRICE N(8,2), BORN D, PAID L, QTY N(4);
// the fourth record deleted, the sixth blank. byte ^ salt varies the names.
void writeSample(const QString& path, char salt = 0) {
  const char* rows[][5] = {
      {"John", "12.50", "19900115", "T", "3"},  {"Joanna", "9.99", "19851231", "F", "12"},
      {"Paris", "20.00", "20000229", "T", "1"}, {"London", "15.25", "19990101", "F", "7"},
      {"Jahnke", "100.00", "20101010", "?", "40"}, {"", "", "        ", " ", ""},
      {"Ann-Marie", "10.00", "19750704", "T", "5"}, {"zed", "-3.10", "20200101", "F", "99"},
  };
  const int count = 8;
  QByteArray fields = descriptor("NAME", 'C', 12) + descriptor("PRICE", 'N', 8, 2) + descriptor("BORN", 'D', 8) +
                      descriptor("PAID", 'L', 1) + descriptor("QTY", 'N', 4);
  QByteArray header(32, '\0');
  header[0] = 0x03;
  header[1] = 124;
  header[2] = 5;
  header[3] = 6;
  header[4] = count;
  const int headerLength = 32 + fields.size() + 1, recordLength = 1 + 12 + 8 + 8 + 1 + 4;
  header[8] = static_cast<char>(headerLength & 0xFF);
  header[9] = static_cast<char>(headerLength >> 8);
  header[10] = static_cast<char>(recordLength);
  QByteArray records;
  for (int r = 0; r < count; ++r) {
    QByteArray name(rows[r][0]);
    if (salt && !name.isEmpty()) name[0] = static_cast<char>(name[0] ^ salt);
    records += (r == 3 ? "*" : " ") + name.leftJustified(12, ' ') + QByteArray(rows[r][1]).rightJustified(8, ' ') +
               QByteArray(rows[r][2]) + rows[r][3] + QByteArray(rows[r][4]).rightJustified(4, ' ');
  }
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(header + fields + "\r" + records + "\x1a");
}

// Every file below folder by its path relative to it, with its bytes.
QMap<QString, QByteArray> filesBelow(const QString& folder) {
  QMap<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) files[QDir(folder).relativeFilePath(path)] = file.readAll();
  }
  return files;
}

// Whether two workbooks hold the same parts with the same bytes (read by
// Python's zipfile): their zip entries carry the time they were written.
bool sameParts(const QString& a, const QString& b) {
  const char* compare =
      "import sys, zipfile\n"
      "a, b = (zipfile.ZipFile(p) for p in sys.argv[1:])\n"
      "sys.exit(a.namelist() != b.namelist() or any(a.read(n) != b.read(n) for n in a.namelist()))\n";
  return QProcess::execute("python3", {"-c", compare, a, b}) == 0;
}

// Runs program over the settings file given, in the C locale that the
// wizard here reads dates and code pages in; what it said on a failure.
QByteArray run(const QString& program, const QStringList& args, const QString& settings) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TABRIX_SETTINGS", settings);
  env.insert("LC_ALL", "C");
  env.remove("TABRIX_ANSI_CP");
  env.remove("TABRIX_OEM_CP");
  process.setProcessEnvironment(env);
  process.start(program, args);
  if (!process.waitForFinished(60000)) return "did not finish";
  return process.exitCode() == 0 ? QByteArray() : "failed: " + process.readAllStandardError();
}

// Answers the page's next dialog of type D with what act does to it, then OK.
template <typename D>
void answerNextDialog(WizardHarness& h, std::function<void(D&)> act, int result = QDialog::Accepted) {
  h.commonPage().runDialog = [act, result](QDialog& dialog) {
    act(static_cast<D&>(dialog));
    return result;
  };
}

void untick(WizardHarness& h, std::initializer_list<int> rows) {
  answerNextDialog<FieldsDialog>(h, [rows](FieldsDialog& d) {
    for (int r : rows) d.list()->topLevelItem(r)->setCheckState(0, Qt::Unchecked);
  });
  h.commonPage().columnsButton()->click();
}

// Fills the Filter dialog's rows of the sample table: row index, first and second text.
void filter(WizardHarness& h, std::function<void(const std::vector<FilterDialog::Row>&)> fill) {
  answerNextDialog<FilterDialog>(h, [fill](FilterDialog& d) { fill(d.rows()); });
  h.commonPage().filterButton()->click();
}

void pickDates(const FilterDialog::Row& row, QDate first, QDate second = {}) {
  for (int k = 0; k < 2; ++k) {
    const QDate date = k == 0 ? first : second;
    row.dateOn[k]->setChecked(date.isValid());
    if (date.isValid()) row.date[k]->setDate(date);
  }
}

enum SampleField { Name, Price, Born, Paid, Qty };

QByteArray unexpressedOf(const ComposedCommand& command) {
  QByteArray text;
  for (const std::string& choice : command.unexpressed) text += QByteArray::fromStdString(choice) + "; ";
  return text;
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

  QTemporaryDir temp_;

  // One wizard run and its script: the choices are made on page 2 (and on
  // page 3 or 4 when lastPage is given), the script is saved, Finish
  // converts, and the script run over the same settings must write the same
  // files (workbooks: the same parts). Paths hold spaces, quotes, '$', a backslash and non-ASCII letters.
  void scriptConvertsAsFinish(const QString& name, const QString& output, std::function<void(WizardHarness&)> page2,
                              std::function<void(WizardHarness&)> lastPage = {}, int pickedType = 0,
                              bool folder = false, std::function<void(const QString& outFolder)> before = {},
                              const QString& table = {}) {
    if (QTest::currentTestFailed()) return;  // a failed test's waits end at once
    const QString base = temp_.filePath(name + " d'é\"$x\\");
    QVERIFY(QDir().mkpath(base + "/in tåbles/sub"));
    const QString source = base + "/in tåbles/tåble 'one'.dbf";
    if (table.isEmpty()) writeSample(source);
    else QVERIFY(QFile::copy(table, source) && QFile::copy(table.chopped(3) + "FPT", source.chopped(3) + "FPT"));
    if (folder) writeSample(base + "/in tåbles/sub/Two.DBF", 0x20);
    const QString outFolder = base + "/out ü";
    QVERIFY(QDir().mkpath(outFolder));
    if (before) before(outFolder);

    WizardHarness h;
    h.wizard->state().program = kTabrix.toStdString();
    if (folder) {
      h.sourcePage().enterFolderMode(base + "/in tåbles");
      if (pickedType) h.sourcePage().chooseOutputFile(outFolder + "/" + output, pickedType);
      else h.sourcePage().chooseOutputFolder(outFolder);
      if (!pickedType) h.sourcePage().exportToBox()->setCurrentIndex(output.toInt() - 1);
      h.wizard->next();
    } else if (pickedType) {
      h.sourcePage().sourceBox()->setEditText(source);
      h.sourcePage().chooseOutputFile(outFolder + "/" + output, pickedType);
      h.wizard->next();
    } else {
      h.enterPair(source, outFolder + "/" + output);
    }
    QCOMPARE(h.wizard->currentId(), int(Wizard::CommonPageId));
    page2(h);
    OptionPage* page = &h.commonPage();
    if (lastPage) {
      h.wizard->next();
      page = static_cast<OptionPage*>(h.wizard->currentPage());
      lastPage(h);
    }
    const ComposedCommand command = page->composedCommand();
    QVERIFY2(command.unexpressed.empty(), unexpressedOf(command).constData());
    CommandLineDialog dialog(command);
    const QString script = dialog.saveScript(base + "/run");
    QCOMPARE(script, base + "/run.sh");

    QVERIFY(h.finish());
    QCOMPARE(h.messages, QStringList({"Conversion done"}));
    const QString settings = base + "/settings.reg";
    QVERIFY(h.save(settings));
    const QMap<QString, QByteArray> fromWizard = filesBelow(outFolder);
    QVERIFY(!fromWizard.isEmpty());
    QVERIFY(QDir(outFolder).removeRecursively() && QDir().mkpath(outFolder));
    if (before) before(outFolder);

    const QByteArray failure = run("/bin/sh", {script}, settings);
    QVERIFY2(failure.isEmpty(), failure.constData());
    const QMap<QString, QByteArray> fromScript = filesBelow(outFolder);
    QCOMPARE(fromScript.keys(), fromWizard.keys());
    for (auto it = fromWizard.begin(); it != fromWizard.end(); ++it) {
      bool same = fromScript[it.key()] == it.value();
      if (!same && it.key().endsWith(".xlsx")) {
        QFile wizardCopy(base + "/wizard.xlsx");
        QVERIFY(wizardCopy.open(QIODevice::WriteOnly) && wizardCopy.write(it.value()) == it.value().size());
        wizardCopy.close();
        same = sameParts(wizardCopy.fileName(), outFolder + "/" + it.key());
      }
      QVERIFY2(same, qPrintable(name + ": " + it.key() + " differs after\n" + QString::fromStdString(shellScript(command))));
    }
  }

 private slots:
  void init() { QVERIFY(temp_.isValid()); }

  // A Visual FoxPro table of every type: a row per field but the null flags,
  // the choice of ticks, and the page keeping it across openings.
  void fieldsDialog() {
    DbfTable table;
    QVERIFY(table.open(kEveryType.toStdString(), {}));
    FieldsDialog d(table, {});
    QCOMPARE(d.list()->topLevelItemCount(), table.fieldCount() - 1);
    QCOMPARE(d.statusBar()->currentMessage(), QString("Fields %1").arg(table.fieldCount()));
    QVERIFY(!d.anyExcluded());
    QTreeWidgetItem* second = d.list()->topLevelItem(1);
    QCOMPARE(second->text(1), QString::fromUtf8(table.field(1).kind.typeName));
    QCOMPARE(second->text(2), QString::number(table.field(1).length));
    d.list()->setCurrentItem(second);
    QCOMPARE(d.statusBar()->currentMessage(), QString("Field 2/%1").arg(table.fieldCount()));
    second->setCheckState(0, Qt::Unchecked);
    d.list()->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
    const ColumnChoice kept = d.choice();
    QCOMPARE(kept.names.size(), size_t(table.fieldCount() - 3));
    QVERIFY(!kept.exclude);
    FieldsDialog again(table, kept);
    for (int r = 0; r < again.list()->topLevelItemCount(); ++r)
      QCOMPARE(again.list()->topLevelItem(r)->checkState(0) == Qt::Checked, r != 1 && r != 3);
    again.setAllTicked(false);
    const ColumnChoice none = again.choice();
    QVERIFY(none.exclude);
    QCOMPARE(none.names.size(), size_t(table.fieldCount() - 1));
    QVERIFY(planColumns(table, none).empty());

    // On page 2: Cancel changes nothing, OK hides the columns, ticking all again keeps "/columns:".
    const QString source = temp_.filePath("fields.dbf");
    writeSample(source);
    WizardHarness h;
    h.enterPair(source, temp_.filePath("fields.json"));
    answerNextDialog<FieldsDialog>(h, [](FieldsDialog& f) { f.setAllTicked(false); }, QDialog::Rejected);
    h.commonPage().columnsButton()->click();
    QCOMPARE(h.commonPage().model()->columnCount(), 5);
    untick(h, {Name, Born});
    QCOMPARE(h.commonPage().model()->columnCount(), 3);
    answerNextDialog<FieldsDialog>(h, [](FieldsDialog& f) {
      QCOMPARE(f.list()->topLevelItem(Born)->checkState(0), Qt::Unchecked);
      f.setAllTicked(true);
    });
    h.commonPage().columnsButton()->click();
    QCOMPARE(h.commonPage().model()->columnCount(), 5);
    const std::vector<std::string> words = h.commonPage().composedCommand().words;
    QVERIFY(std::count(words.begin(), words.end(), "/columns:NAME,PRICE,BORN,PAID,QTY") == 1);
    untick(h, {Name, Price, Born, Paid, Qty});
    QCOMPARE(h.commonPage().model()->columnCount(), 0);
    QCOMPARE(unexpressedOf(h.commonPage().composedCommand()), QByteArray("no columns at all; "));
  }

  // Editors by type, the texts OK gives (dates in the user's order and
  // separator, numbers trimmed, a range after a ','), and the prefill.
  void filterDialog() {
    DbfTable table;
    QVERIFY(table.open(kEveryType.toStdString(), {}));
    FilterDialog every(table, {}, {'0', '.'});
    QCOMPARE(int(every.rows().size()), table.fieldCount() - 1);
    for (const FilterDialog::Row& row : every.rows()) {
      const char type = table.field(row.field).type;
      const auto editor = row.editor;
      using E = FilterDialog::Editor;
      const E expected = QByteArray("NFIOB").contains(type) && table.field(row.field).kind.valueClass != ValueClass::Binary
                             ? E::Number
                         : QByteArray("DT@").contains(type) ? E::Date
                         : type == 'L'                      ? E::Logical
                                                            : E::Text;
      QVERIFY2(editor == expected, QByteArray(1, type).constData());
      QCOMPARE(row.text[1] != nullptr, editor == E::Number);
    }

    // A memo row has no range end: its condition keeps its ','.
    const auto memoRow = std::find_if(every.rows().begin(), every.rows().end(),
                                      [&](const FilterDialog::Row& row) { return table.field(row.field).type == 'M'; });
    QVERIFY(memoRow != every.rows().end());
    FilterDialog memo(table, {{memoRow->name, "a,b"}}, {'0', '.'});
    QCOMPARE(memo.conditions().front().condition, std::string("a,b"));

    // A wide table scrolls its rows; OK and Cancel stay in view.
    DbfTable wide;
    QVERIFY(wide.open((kCorpus + "/infused-dbf/dbase_03.dbf").toStdString(), {}));
    FilterDialog scrolling(wide, {}, {'0', '/'});
    scrolling.show();
    QVERIFY(scrolling.findChild<QScrollArea*>()->verticalScrollBar()->isVisible());
    QVERIFY(scrolling.findChild<QDialogButtonBox*>()->geometry().bottom() <= scrolling.height());

    const QString source = temp_.filePath("filter.dbf");
    writeSample(source);
    QVERIFY(table.open(source.toStdString(), {}));
    FilterDialog d(table, {}, {'0', '.'});
    const auto& rows = d.rows();
    rows[Name].text[0]->setText("Paris or London");
    rows[Price].text[0]->setText(" 10 ");
    rows[Price].text[1]->setText("20 ");
    pickDates(rows[Born], QDate(2021, 3, 5), QDate(2021, 12, 31));
    rows[Paid].logical->setEditText("T");
    rows[Qty].text[1]->setText("9");  // a range end alone is no condition
    const std::vector<ConditionPair> pairs = d.conditions();
    QCOMPARE(int(pairs.size()), 4);
    QCOMPARE(QString::fromStdString(pairs[0].condition), QString("Paris or London"));
    QCOMPARE(QString::fromStdString(pairs[1].condition), QString("10,20"));
    QCOMPARE(QString::fromStdString(pairs[2].condition), QString("03.05.2021,12.31.2021"));
    QCOMPARE(QString::fromStdString(pairs[3].field + ":" + pairs[3].condition), QString("PAID:T"));

    FilterDialog again(table, pairs, {'1', '-'});
    QCOMPARE(again.rows()[Name].text[0]->selectedText(), QString("Paris or London"));
    QCOMPARE(again.rows()[Price].text[1]->text(), QString("20"));
    QVERIFY(!again.rows()[Born].dateOn[0]->isChecked());  // written in another order: not a date here
    FilterDialog same(table, pairs, {'0', '.'});
    QCOMPARE(same.rows()[Born].date[1]->date(), QDate(2021, 12, 31));
    QCOMPARE(same.conditions().size(), pairs.size());
  }

  // The composed line's order and forms that a user reads and copies.
  void composedWords() {
    ConversionOptions o;
    o.outputFormat = OutputFormat::Sql;
    o.outputPath = "/out/a.sql";
    o.sqlDialect = SqlDialect::MySql;
    o.sqlAddGo = true;
    o.sqlGoEvery = 100;
    o.exportFieldNames = true;
    o.skipDeleted = true;
    o.quoteChar = '\'';
    CommandChoices c{"/usr/bin/tabrix", false, "/My Data/a.dbf", "/out/a.sql", false};
    std::vector<std::string> w = composeCommand(c, o).words;
    QCOMPARE(shellLine(w), std::string("/usr/bin/tabrix '/My Data/a.dbf' /out/a.sql /skipd /mysql /go:100 /hdr"));
    o.sqlDialect = SqlDialect::Ansi;
    QCOMPARE(composeCommand(c, o).unexpressed.size(), size_t(1));

    o = {};
    o.outputFormat = OutputFormat::Csv;
    o.outputPath = "/out/a.txt";
    o.delimiter = "tab";
    c.output = o.outputPath;
    w = composeCommand(c, o).words;
    QVERIFY(std::count(w.begin(), w.end(), "/SEPTAB") == 1);
    QCOMPARE(unexpressedOf(composeCommand(c, o)), QByteArray("the output type .csv for a file whose name gives another type; "));
    o.outputPath = c.output = "/out/a.csv";
    o.delimiter = ";";
    w = composeCommand(c, o).words;
    QVERIFY(std::count(w.begin(), w.end(), "/SEP;") == 1);
    QVERIFY(composeCommand(c, o).unexpressed.empty());

    o = {};
    o.outputFormat = OutputFormat::Html;
    o.outputPath = c.output = "/out/a.htm";
    auto colours = [&] {
      std::string line = shellLine(composeCommand(c, o).words);
      return QString::fromStdString(line.substr(line.find("/EXPORTALL")));
    };
    QCOMPARE(colours(), QString("/EXPORTALL"));
    o.htmlTextRgb = 0x0000FF;
    o.htmlBorder = 3;
    const std::string line = shellLine(composeCommand(c, o).words);
    QVERIFY(line.find("/COLOR=#ff0000") != std::string::npos && line.find("/BACKGROUND") == std::string::npos);
    QVERIFY(line.find("/BORDER=3") != std::string::npos);

    for (const char* folder : {"/data", "/data/", "/data/*.DBF"}) {
      CommandChoices f{"tabrix", true, folder, "/out", false};
      ConversionOptions csv;
      csv.outputFormat = OutputFormat::Csv;
      csv.outputPath = "/out";
      w = composeCommand(f, csv).words;
      QCOMPARE(w[1], std::string(folder).find(".DBF") != std::string::npos ? std::string(folder) : "/data/*.dbf");
      QCOMPARE(w[3], std::string("/tocsv"));
      QCOMPARE(w.back(), std::string("/recurse"));  // after the switches the wizard's line always has
    }
  }

  // The shell reads every quoted word back as it was.
  void shellQuoting() {
    const std::vector<std::string> words = {"plain/path.dbf", "a b", "it's", "$HOME", "back\\slash", "\"q\"",
                                            "tåble é", "*.dbf", "/TITLE=x;y&z", "`id`"};
    QProcess sh;
    sh.start("/bin/sh", {"-c", QString::fromStdString("printf '%s\\n' " + shellLine(words))});
    QVERIFY(sh.waitForFinished());
    QList<QByteArray> lines = sh.readAllStandardOutput().split('\n');
    lines.removeLast();
    QCOMPARE(lines.size(), int(words.size()));
    for (size_t i = 0; i < words.size(); ++i) QCOMPARE(lines[int(i)].toStdString(), words[i]);
    QCOMPARE(shellQuoted("/skipd"), std::string("/skipd"));
  }

  // ".sh" is added unless the name ends so; the script is runnable; a failure is said.
  void savingScripts() {
    ComposedCommand command;
    command.words = {"tabrix", "a.dbf", "a.csv"};
    CommandLineDialog d(command);
    QStringList messages;
    d.showMessage = [&](const QString& text) { messages << text; };
    d.lineBox()->setText("edited");  // edits in the box are not saved
    QCOMPARE(d.saveScript(temp_.filePath("run")), temp_.filePath("run.sh"));
    QCOMPARE(d.saveScript(temp_.filePath("RUN.SH")), temp_.filePath("RUN.SH"));
    QFile saved(temp_.filePath("run.sh"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("#!/bin/sh\ntabrix a.dbf a.csv\n"));
    QVERIFY(saved.permissions() & QFileDevice::ExeOwner);
    QVERIFY(d.saveScript(temp_.filePath("missing/run")).isEmpty());
    QCOMPARE(messages.size(), 1);
    QVERIFY(!d.notesLabel()->isVisibleTo(&d));
  }

  void scriptOfDelimitedText() {
    scriptConvertsAsFinish(
        "csv", "out.csv",
        [](WizardHarness& h) {
          untick(h, {Price});
          h.commonPage().sortBox()->setChecked(true);
          h.commonPage().sortFieldBox()->setCurrentIndex(Qty);
          filter(h, [](auto& rows) { rows[Name].text[0]->setText("J"); });
        },
        [](WizardHarness& h) {
          h.textPage().delimiterBox()->setEditText(";");
          h.textPage().doubleQuoteButton()->setChecked(true);
          h.textPage().rowDelimiterBox()->setCurrentIndex(1);  // LF
        });
    scriptConvertsAsFinish(
        "txt", "out.txt",
        [](WizardHarness& h) {
          h.commonPage().exportAllButton()->setChecked(true);
          h.commonPage().reverseBox()->setChecked(true);
          filter(h, [](auto& rows) {
            rows[Price].text[0]->setText(" 10 ");
            rows[Price].text[1]->setText("20");
            rows[Paid].logical->setEditText("T");
          });
        },
        [](WizardHarness& h) {
          h.textPage().delimiterBox()->setEditText("tab");
          h.textPage().quoteAllBox()->setChecked(true);
          h.textPage().utf8Box()->setChecked(true);
        });
    scriptConvertsAsFinish(
        "tsv", "out.tsv",
        [](WizardHarness& h) {
          h.commonPage().onlyDeletedButton()->setChecked(false);
          filter(h, [](auto& rows) {
            pickDates(rows[Born], QDate(1985, 12, 31), QDate(2000, 2, 29));
            rows[Qty].text[0]->setText(">=3");
          });
        },
        [](WizardHarness& h) {
          h.textPage().fieldNamesBox()->setChecked(false);
          h.textPage().singleQuoteButton()->setChecked(true);
        });
  }

  void scriptOfSql() {
    for (int dialect : {1, 2, 3, 4})
      scriptConvertsAsFinish(
          QString("sql%1").arg(dialect), "out.sql",
          [dialect](WizardHarness& h) {
            if (dialect == 2) filter(h, [](auto& rows) { rows[Name].text[0]->setText("*o"); });
            if (dialect == 4) untick(h, {Born, Paid});
          },
          [dialect](WizardHarness& h) {
            TextPage& t = h.textPage();
            t.dialectBox()->setCurrentIndex(dialect);
            t.goBox()->setChecked(dialect % 2 == 1);
            t.goEveryEdit()->setText("2");
            t.fullInsertBox()->setChecked(dialect >= 3);
            t.fieldNamesBox()->setChecked(dialect != 3);
          });
  }

  void scriptOfHtml() {
    scriptConvertsAsFinish(
        "html", "out.htm", [](WizardHarness&) {},
        [](WizardHarness& h) {
          HtmlPage& p = h.htmlPage();
          p.formButton()->setChecked(true);
          p.recordNumberBox()->setChecked(true);
          p.pagingBox()->setChecked(true);
          p.perPageBox()->setValue(3);
          p.borderBox()->setValue(4);
          p.titleEdit()->setText("My \"report\" $HOME 'é'");
          p.setTextColour(0x0000FF);
          p.setBackgroundColour(0xC0C0C0);
        });
    scriptConvertsAsFinish("html2", "out.html", [](WizardHarness& h) { untick(h, {Name}); }, [](WizardHarness&) {});
  }

  // Conditions on integer, currency, date-time, memo and logical fields of a Visual FoxPro table.
  void scriptWithVisualFoxProConditions() {
    const QString reports = kCorpus + "/valentin-kaiser-go-dbase/test_data/database/expense reports.dbf";
    enum { Report, Submitted = 5, Advance, Paid = 8, Notes = 4 };
    scriptConvertsAsFinish(
        "vfp1", "out.csv",
        [](WizardHarness& h) {
          filter(h, [](auto& rows) {
            rows[Report].text[0]->setText("1");
            rows[Report].text[1]->setText("2");
            pickDates(rows[Submitted], QDate(1995, 1, 31), QDate(1995, 3, 1));
            rows[Paid].logical->setEditText("F");
          });
        },
        [](WizardHarness&) {}, 0, false, {}, reports);
    scriptConvertsAsFinish(
        "vfp2", "out.json",
        [](WizardHarness& h) {
          filter(h, [](auto& rows) {
            rows[Advance].text[0]->setText(">=45");
            rows[Notes].text[0]->setText("expenses");
          });
        },
        {}, 0, false, {}, reports);
  }

  // Formats that page 2 finishes, and the four DBF levels.
  void scriptOfOtherFormats() {
    const char* outputs[] = {"out.xml", "out.json", "out.rtf", "out.prg", "out.sdf", "out.xls", "out.xlsx"};
    for (const char* output : outputs)
      scriptConvertsAsFinish(output, output, [](WizardHarness& h) {
        h.commonPage().sortBox()->setChecked(true);
        h.commonPage().sortFieldBox()->setCurrentIndex(Name);
        filter(h, [](auto& rows) { rows[Price].text[0]->setText("<20"); });
      });
    scriptConvertsAsFinish("xml2003", "out.xls", [](WizardHarness& h) {
      h.commonPage().excelXmlBox()->setChecked(true);
      h.commonPage().skipEmptyBox()->setChecked(true);
    });
    // A sheet added to a workbook that is there before each run.
    for (const char* output : {"out.xls", "out.xlsx"})
      scriptConvertsAsFinish(
          QString("add ") + output, output, [](WizardHarness& h) { h.commonPage().addSheetBox()->setChecked(true); }, {},
          0, false, [output](const QString& outFolder) {
            writeSample(outFolder + "/../seed.dbf", 0x20);
            QCOMPARE(run(kTabrix, {outFolder + "/../seed.dbf", outFolder + "/" + output}, outFolder + "/../seed.reg"),
                     QByteArray());
          });
    scriptConvertsAsFinish("structure", "out.json", [](WizardHarness& h) { h.commonPage().onlyStructureBox()->setChecked(true); });
    const OutputFormat levels[] = {OutputFormat::DBase3, OutputFormat::DBase4, OutputFormat::VisualFoxPro, OutputFormat::DBase7};
    for (OutputFormat level : levels)
      scriptConvertsAsFinish(QString("dbf%1").arg(int(level)), "out", [](WizardHarness& h) {
        h.commonPage().onlyDeletedButton()->setChecked(true);
        h.commonPage().oemBox()->setChecked(true);
      }, {}, int(level));
  }

  // A folder of tables: one file per table below the output folder, or all in one picked file.
  void scriptOfFolder() {
    scriptConvertsAsFinish(
        "folder", QString::number(int(OutputFormat::Csv)),
        [](WizardHarness& h) {
          untick(h, {Born});
          filter(h, [](auto& rows) { rows[Qty].text[0]->setText("<10"); });
        },
        [](WizardHarness&) {}, 0, true);
    scriptConvertsAsFinish("folder-one-file", "all", [](WizardHarness&) {}, [](WizardHarness&) {},
                           int(OutputFormat::Csv), true);

    // A table without the field a condition names is reported, not converted unfiltered.
    const QString in = temp_.filePath("mixed");
    QVERIFY(QDir().mkpath(in));
    writeSample(in + "/a.dbf");
    QVERIFY(QFile::copy(kCorpus + "/infused-dbf/dbase_03.dbf", in + "/b.dbf"));
    WizardHarness h;
    h.sourcePage().enterFolderMode(in);
    h.sourcePage().chooseOutputFolder(temp_.filePath("mixed out"));
    h.sourcePage().exportToBox()->setCurrentIndex(int(OutputFormat::Json) - 1);
    h.wizard->next();
    filter(h, [](auto& rows) { rows[Qty].text[0]->setText("<10"); });
    QVERIFY(h.finish());
    QCOMPARE(h.messages.size(), 1);
    QVERIFY2(h.messages[0].endsWith(in + "/b.dbf: the filter names no field QTY; the table is not converted"),
             qPrintable(h.messages[0]));
    QVERIFY(QFile::exists(temp_.filePath("mixed out/a.json")));
  }
};

}  // namespace tabrix::test

QTEST_MAIN(tabrix::test::DialogsTest)
#include "dialogs_test.moc"
