// The wizard under the offscreen platform: navigation by format, the first
// page's checks and messages, options stored and restored through the
// settings file, a folder batch, Cancel during a long conversion, the record
// preview against the command line's CSV, and a start without a display.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QIdentityProxyModel>
#include <QSet>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include "tests/ui/wizard_harness.h"

namespace tabrix::test {
namespace {

const QString kCorpus = QStringLiteral(TABRIX_TEST_CORPUS);
const QString kTabrix = QStringLiteral(TABRIX_EXECUTABLE);

QString corpusTable(const char* name) { return kCorpus + "/" + name; }

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A dBase III table without a code-page mark of count records: NAME C(20)
// holding name and AMOUNT N(8) the record's number, written byte by byte.
void writeTable(const QString& path, uint32_t count, const QByteArray& name = "record") {
  QByteArray header(32, '\0');
  header[0] = 0x03;
  header[1] = 126;
  header[2] = 1;
  header[3] = 1;
  for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
  const uint16_t headerLength = 32 + 2 * 32 + 1;
  const uint16_t recordLength = 1 + 20 + 8;
  header[8] = static_cast<char>(headerLength & 0xFF);
  header[9] = static_cast<char>(headerLength >> 8);
  header[10] = static_cast<char>(recordLength & 0xFF);
  header[11] = static_cast<char>(recordLength >> 8);
  auto descriptor = [](const char* name, char type, uint8_t length) {
    QByteArray d(32, '\0');
    d.replace(0, static_cast<int>(strlen(name)), name);
    d[11] = type;
    d[16] = static_cast<char>(length);
    return d;
  };
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(header + descriptor("NAME", 'C', 20) + descriptor("AMOUNT", 'N', 8) + "\r");
  QByteArray chunk;
  for (uint32_t r = 0; r < count; ++r) {
    chunk += ' ' + name.leftJustified(20, ' ') + QByteArray::number(r % 99999999).rightJustified(8, ' ');
    if (chunk.size() > (1 << 20)) {
      file.write(chunk);
      chunk.clear();
    }
  }
  file.write(chunk + "\x1a");
}

// Notes every row the view asks a value of.
class RowsAskedFor : public QIdentityProxyModel {
 public:
  QVariant data(const QModelIndex& index, int role) const override {
    rows.insert(index.row());
    return QIdentityProxyModel::data(index, role);
  }
  mutable QSet<int> rows;
};

}  // namespace

class WizardTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QVERIFY(temp_.isValid()); }

  // Which page follows the second one, and which buttons the second offers.
  void navigationByFormat() {
    const QString source = corpusTable("infused-dbf/dbase_03.dbf");
    struct Case { const char* output; int next; QRadioButton* (CommonPage::*deleted)() const; };
    const Case cases[] = {
        {"result.CSV", Wizard::TextPageId, &CommonPage::skipDeletedButton},
        {"result.sql", Wizard::TextPageId, &CommonPage::skipDeletedButton},
        {"result.tsv", Wizard::TextPageId, &CommonPage::skipDeletedButton},
        {"result.htm", Wizard::HtmlPageId, &CommonPage::skipDeletedButton},
        {"result.dbf", -1, &CommonPage::exportAllButton},
        {"result.json", -1, &CommonPage::skipDeletedButton},
    };
    for (const Case& c : cases) {
      WizardHarness h;
      h.enterPair(source, temp_.filePath(c.output));
      QCOMPARE(h.wizard->currentId(), int(Wizard::CommonPageId));
      QVERIFY2((h.commonPage().*c.deleted)()->isChecked(), c.output);
      QCOMPARE(h.commonPage().nextId(), c.next);
      QCOMPARE(h.commonPage().viewAfter()->isVisibleTo(h.wizard.get()), c.next == -1);
      QCOMPARE(h.wizard->button(QWizard::FinishButton)->isVisible(), c.next == -1);
      if (c.next == -1) continue;
      h.wizard->next();
      QCOMPARE(h.wizard->currentId(), c.next);
      QVERIFY2(!h.wizard->button(QWizard::BackButton)->isEnabled() || !h.wizard->button(QWizard::BackButton)->isVisible(),
               "pages 3 and 4 offer no way back");
    }
    // ".dbf" is dBase III, the first format with that extension; a spreadsheet shows its own boxes.
    WizardHarness dbf;
    dbf.enterPair(source, temp_.filePath("result.dbf"));
    QCOMPARE(dbf.options.outputFormat, OutputFormat::DBase3);
    QVERIFY(!dbf.commonPage().excelXmlBox()->isVisibleTo(dbf.wizard.get()));
    WizardHarness xlsx;
    xlsx.enterPair(source, temp_.filePath("result.xlsx"));
    QVERIFY(xlsx.commonPage().excelXmlBox()->isVisibleTo(xlsx.wizard.get()));
    QVERIFY(xlsx.commonPage().addSheetBox()->isVisibleTo(xlsx.wizard.get()));

    // The save dialog's file type adds its extension unless the name holds it as written.
    WizardHarness picked;
    picked.sourcePage().chooseOutputFile(temp_.filePath("report"), static_cast<int>(OutputFormat::Csv));
    QCOMPARE(picked.sourcePage().outputBox()->currentText(), temp_.filePath("report.csv"));
    picked.sourcePage().chooseOutputFile(temp_.filePath("report.CSV"), static_cast<int>(OutputFormat::Csv));
    QCOMPARE(picked.sourcePage().outputBox()->currentText(), temp_.filePath("report.CSV.csv"));
    QCOMPARE(picked.shell.lastExportType, int16_t(OutputFormat::Csv));
    picked.sourcePage().outputBox()->setEditText(temp_.filePath("report.txt"));  // the picked type still holds
    picked.sourcePage().sourceBox()->setEditText(source);
    picked.wizard->next();
    QCOMPARE(picked.options.outputFormat, OutputFormat::Csv);

    // Back forgets the table and the format; Next finds them again from the name.
    WizardHarness back;
    back.enterPair(source, temp_.filePath("result.csv"));
    back.wizard->back();
    QCOMPARE(back.wizard->currentId(), int(Wizard::SourcePageId));
    QVERIFY(!back.wizard->state().table);
    back.sourcePage().outputBox()->setEditText(temp_.filePath("result.html"));
    back.wizard->next();
    QCOMPARE(back.commonPage().nextId(), int(Wizard::HtmlPageId));
  }

  void firstPageChecksAndMessages() {
    const QString source = corpusTable("infused-dbf/dbase_03.dbf");
    struct Case { QString source, output, message; };
    const QString notTable = temp_.filePath("not-a-table.dbf");
    QFile(notTable).open(QIODevice::WriteOnly);
    const Case cases[] = {
        {"", temp_.filePath("a.csv"), "Please select the dbf file"},
        {notTable, temp_.filePath("a.csv"), "Not valid DBF file !"},
        {source, "", "Please, select the output file"},
        {source, temp_.filePath("result"), "Please, select the output file"},
        {source, source, "The output file is the source table itself: please choose another output file"},
    };
    for (const Case& c : cases) {
      WizardHarness h;
      h.enterPair(c.source, c.output);
      QCOMPARE(h.wizard->currentId(), int(Wizard::SourcePageId));
      QCOMPARE(h.messages.size(), 1);
      QVERIFY2(h.messages[0].startsWith(c.message), qPrintable(h.messages[0]));
    }

    // Folder mode: an output folder is needed, and the folder must hold tables.
    QDir(temp_.path()).mkdir("empty");
    WizardHarness folder;
    folder.sourcePage().enterFolderMode(temp_.filePath("empty"));
    QCOMPARE(folder.sourcePage().sourceLabel()->text(), QString("Source folder"));
    QVERIFY(folder.sourcePage().exportToBox()->isVisibleTo(folder.wizard.get()));
    folder.sourcePage().outputBox()->setEditText("");
    folder.wizard->next();
    folder.sourcePage().outputBox()->setEditText(temp_.path());
    folder.wizard->next();
    QCOMPARE(folder.messages,
             QStringList({"Please select the output folder", temp_.filePath("empty") + ": not found dbf files "}));
    QCOMPARE(folder.wizard->currentId(), int(Wizard::SourcePageId));
  }

  // The history fills both lists; picking a source picks its output; Clear history asks, then empties all.
  void historyLists() {
    WizardHarness h;
    h.history.addRecent({"/old/a.dbf", "/old/a.csv"});
    h.history.addRecent({"/new/b.dbf", "/new/b.sql"});
    h.shell.lastSource = "/new/b.dbf";
    h.wizard->restart();
    QComboBox* sources = h.sourcePage().sourceBox();
    QCOMPARE(sources->count(), 2);
    QCOMPARE(sources->currentText(), QString("/new/b.dbf"));
    QVERIFY(h.sourcePage().clearHistoryButton()->isVisibleTo(h.wizard.get()));
    sources->setCurrentIndex(1);
    emit sources->activated(1);
    QCOMPARE(h.sourcePage().outputBox()->currentText(), QString("/old/a.csv"));
    h.sourcePage().clearHistoryButton()->click();
    QCOMPARE(h.messages, QStringList({"Would you like to clear history list?"}));
    QVERIFY(h.history.empty());
    QCOMPARE(sources->count(), 0);
    QVERIFY(h.shell.lastSource.empty());
  }

  // What pages 1 to 3 store comes back in the next run through the settings file.
  void optionsStoredAndRestored() {
    const QString settings = temp_.filePath("settings.reg");
    const QString source = corpusTable("infused-dbf/dbase_03.dbf");
    {
      WizardHarness sql(settings);
      sql.sourcePage().keepDateBox()->setChecked(true);
      sql.enterPair(source, temp_.filePath("out.sql"));
      sql.wizard->next();
      TextPage& page = sql.textPage();
      QVERIFY(page.singleQuoteButton()->isChecked());
      QCOMPARE(page.fieldNamesBox()->text(), QString("CREATE TABLE"));
      QCOMPARE(page.dialectBox()->currentText(), QString("MySQL"));  // a first run's dialect
      page.dialectBox()->setCurrentIndex(4);
      page.fullInsertBox()->setChecked(true);
      page.utf8Box()->setChecked(true);
      page.quoteAllBox()->setChecked(true);
      QVERIFY(page.singleQuoteButton()->isChecked());  // SQL keeps its quote
      page.viewAfter()->setChecked(false);
      QVERIFY(sql.finish());
      QCOMPARE(sql.messages, QStringList({"Conversion done"}));
      const QByteArray script = readAll(temp_.filePath("out.sql")).toLower();
      QCOMPARE(script.count("insert into dbase_03 ("), 14);  // PostgreSQL names, full statements
      QVERIFY(sql.save(settings));
    }
    {
      WizardHarness csv(settings);
      QVERIFY(csv.sourcePage().keepDateBox()->isChecked());
      QCOMPARE(csv.sourcePage().sourceBox()->currentText(), source);
      QCOMPARE(csv.sourcePage().sourceBox()->count(), 1);  // the accepted pair went into the history
      csv.enterPair(source, temp_.filePath("out.csv"));
      csv.wizard->next();
      TextPage& page = csv.textPage();
      QVERIFY(page.utf8Box()->isChecked());
      QVERIFY(page.quoteAllBox()->isChecked());
      QVERIFY(!page.fullInsertBox()->isVisibleTo(csv.wizard.get()));
      QVERIFY(!page.viewAfter()->isChecked());
      QCOMPARE(page.delimiterBox()->currentText(), QString(","));
      page.delimiterBox()->setEditText(";");
      page.quoteAllBox()->setChecked(false);
      page.quoteAllBox()->setChecked(true);
      QVERIFY(page.doubleQuoteButton()->isChecked());  // quoting every field takes double quotes
      QVERIFY(csv.finish());
      QVERIFY(csv.save(settings));
    }
    WizardHarness again(settings);
    QCOMPARE(again.options.sqlDialect, SqlDialect::PostgreSql);  // the CSV run left the dialect alone
    QVERIFY(again.options.insertWithColumnNames == false);     // hidden for CSV, so stored clear
    QCOMPARE(again.options.delimiter, std::string(";"));
    again.enterPair(source, temp_.filePath("out.tsv"));
    again.wizard->next();
    QCOMPARE(again.textPage().delimiterBox()->currentText(), QString("tab"));  // TSV opens on tab
  }

  void htmlPageStoresItsOptions() {
    WizardHarness h;
    h.enterPair(corpusTable("infused-dbf/dbase_03.dbf"), temp_.filePath("out.html"));
    h.wizard->next();
    HtmlPage& page = h.htmlPage();
    QCOMPARE(page.titleEdit()->text(), QString("dbase_03.dbf"));
    QCOMPARE(page.perPageBox()->value(), 50);
    page.formButton()->setChecked(true);
    page.pagingBox()->setChecked(true);
    page.perPageBox()->setValue(5);
    page.borderBox()->setValue(3);
    page.setBackgroundColour(0xCCFFFF);  // blue, green, red from the high byte down
    page.titleEdit()->setText("Stations & towns");
    page.viewAfter()->setChecked(true);
    QVERIFY(h.finish());
    QVERIFY(h.options.htmlAsForm && h.options.htmlPaging);
    QCOMPARE(h.options.htmlMaxPerPage, 5);
    QCOMPARE(h.options.htmlBorder, 3);
    QCOMPARE(h.options.htmlBackgroundRgb, 0xCCFFFFu);
    QCOMPARE(h.opened, QStringList({temp_.filePath("out.html")}));  // "view out" opens the result
    const QByteArray html = readAll(temp_.filePath("out.html"));
    QVERIFY(html.contains("Stations &amp; towns"));
    QVERIFY(html.toLower().contains("bgcolor=\"#ffffcc\""));
  }

  // a.dbf and sub/b.DBF into TSV files below the output folder, the tree kept.
  void folderBatch() {
    QDir(temp_.path()).mkpath("in/sub");
    QFile::copy(corpusTable("infused-dbf/dbase_03.dbf"), temp_.filePath("in/a.dbf"));
    QFile::copy(corpusTable("exavera-ndbfreader/DeletedRows.dbf"), temp_.filePath("in/sub/b.DBF"));
    WizardHarness h;
    h.sourcePage().enterFolderMode(temp_.filePath("in"));
    h.sourcePage().chooseOutputFolder(temp_.filePath("out"));
    h.sourcePage().exportToBox()->setCurrentIndex(static_cast<int>(OutputFormat::Tsv) - 1);
    h.wizard->next();
    QCOMPARE(h.commonPage().model()->rowCount(), 2);  // the preview lists the tables
    h.wizard->back();
    h.wizard->next();
    QCOMPARE(h.commonPage().model()->rowCount(), 2);  // collected once, not twice
    QCOMPARE(h.commonPage().sourceLabel()->text(), temp_.filePath("in"));
    h.wizard->next();
    QVERIFY(h.finish());
    QCOMPARE(h.messages, QStringList({"Conversion done"}));
    QVERIFY(h.opened.isEmpty());
    const QByteArray a = readAll(temp_.filePath("out/a.tsv"));
    const QByteArray b = readAll(temp_.filePath("out/sub/b.tsv"));
    QVERIFY(a.contains('\t'));
    QCOMPARE(a.trimmed().split('\n').size(), 15);  // field names and 14 records
    QCOMPARE(b.trimmed().split('\n').size(), 2);   // field names and the one live record
    QCOMPARE(h.wizard->state().accepted.source, temp_.filePath("in").toStdString());

    // A file picked as the output receives every table, in the type it was picked as.
    WizardHarness one;
    one.sourcePage().enterFolderMode(temp_.filePath("in"));
    one.sourcePage().chooseOutputFile(temp_.filePath("all"), static_cast<int>(OutputFormat::Csv));
    one.wizard->next();
    one.wizard->next();
    QVERIFY(one.finish());
    QCOMPARE(one.messages, QStringList({"Conversion done"}));
    const QByteArray all = readAll(temp_.filePath("all.csv"));
    const QByteArray firstOfA = a.split('\n')[1].split('\t')[0].trimmed();
    const QByteArray firstOfB = b.split('\n')[1].split('\t')[0].trimmed();
    QVERIFY(!firstOfA.isEmpty() && !firstOfB.isEmpty());
    QVERIFY(all.contains(firstOfA) && all.contains(firstOfB));
  }

  // A failed conversion shows the engine's reason, never "Conversion done".
  void failureShowsTheReason() {
    WizardHarness h;
    h.enterPair(corpusTable("infused-dbf/dbase_03.dbf"), temp_.filePath("missing-folder/out.json"));
    QVERIFY(h.finish());
    QCOMPARE(h.messages.size(), 1);
    QVERIFY2(h.messages[0].startsWith("The conversion failed:\n"), qPrintable(h.messages[0]));
    QVERIFY(h.messages[0].contains("dbase_03.dbf: "));
    QVERIFY(h.messages[0].size() > QString("The conversion failed:\n").size() + 40);
  }

  // A million records: page 2 opens at once, the window keeps drawing during
  // the conversion, and Cancel stops it with the output closed properly.
  void cancelDuringALargeConversion() {
    const QString big = temp_.filePath("big.dbf");
    writeTable(big, 1'000'000);
    WizardHarness h;
    QElapsedTimer clock;
    clock.start();
    h.enterPair(big, temp_.filePath("big.json"));
    qInfo("page 2 shown for 1,000,000 records after %lld ms", static_cast<long long>(clock.elapsed()));
    QCOMPARE(h.commonPage().model()->rowCount(), 1'000'000);
    h.commonPage().preview()->scrollToBottom();
    QCOMPARE(h.commonPage().model()->index(999'999, 1).data().toString().trimmed(), QString("999999"));
    {
      // Drawing the end of the table asks for the rows on screen only.
      RowsAskedFor asked;
      asked.setSourceModel(h.commonPage().model());
      QTableView* view = h.commonPage().preview();
      view->setModel(&asked);
      QTest::qWait(20);  // the view lays out its new model first
      view->scrollToBottom();
      QTest::qWait(20);
      view->viewport()->repaint();
      QVERIFY(asked.rows.contains(999'999));
      QVERIFY2(asked.rows.size() < 100, qPrintable(QString::number(asked.rows.size())));
      view->setModel(h.commonPage().model());
    }

    QSignalSpy done(h.wizard.get(), &Wizard::conversionFinished);
    h.wizard->button(QWizard::FinishButton)->click();
    QVERIFY(h.wizard->converting());
    QProgressBar* bar = h.commonPage().progressBar();
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 20000);  // progress reached the page while the GUI ran
    h.wizard->button(QWizard::CancelButton)->click();
    QVERIFY(done.count() > 0 || done.wait(20000));
    QCOMPARE(h.messages.size(), 1);
    QVERIFY2(h.messages[0].startsWith("Conversion cancelled: "), qPrintable(h.messages[0]));
    const QJsonDocument json = QJsonDocument::fromJson(readAll(temp_.filePath("big.json")));
    QVERIFY2(!json.isNull(), "the cancelled output still ends with its footer");
  }

  // The preview shows what the command line writes to CSV, and marks deleted records.
  void previewOfCorpusTables() {
    const QString source = corpusTable("infused-dbf/dbase_03.dbf");
    const QString csv = temp_.filePath("cli.csv");
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TABRIX_SETTINGS", temp_.filePath("cli.reg"));
    cli.setProcessEnvironment(env);
    cli.start(kTabrix, {source, csv});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    // Python's csv module reads the command line's output.
    QProcess reader;
    reader.start("python3", {"-c",
                             "import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', "
                             "encoding='latin-1')))))",
                             csv});
    QVERIFY(reader.waitForFinished(30000));
    const QJsonArray rows = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 14);

    WizardHarness h;
    h.enterPair(source, temp_.filePath("out.csv"));
    RecordModel* model = h.commonPage().model();
    QCOMPARE(model->rowCount(), 14);
    QCOMPARE(model->columnCount(), rows[0].toArray().size());
    for (int r = 0; r < 14; ++r)
      for (int c = 0; c < model->columnCount(); ++c)
        QCOMPARE(model->index(r, c).data().toString().trimmed(), rows[r].toArray()[c].toString().trimmed());

    WizardHarness deleted;
    deleted.enterPair(corpusTable("exavera-ndbfreader/DeletedRows.dbf"), temp_.filePath("d.csv"));
    RecordModel* marks = deleted.commonPage().model();
    QCOMPARE(marks->rowCount(), 3);
    int marked = 0;
    for (int r = 0; r < 3; ++r) marked += marks->index(r, 0).data(Qt::DecorationRole).isNull() ? 0 : 1;
    QCOMPARE(marked, 2);

    // "OEM charset" reads the same bytes in the DOS page: 0x82 is a low quote in 1252, é in 437.
    const QString dos = temp_.filePath("dos.dbf");
    writeTable(dos, 1, "caf\x82");
    WizardHarness oem;
    oem.options.ansiCodePage = 1252;
    oem.options.oemCodePage = 437;
    oem.enterPair(dos, temp_.filePath("dos.csv"));
    QCOMPARE(oem.commonPage().model()->index(0, 0).data().toString().trimmed(), QString::fromUtf8("caf\u201a"));
    oem.commonPage().oemBox()->setChecked(true);
    QCOMPARE(oem.commonPage().model()->index(0, 0).data().toString().trimmed(), QString::fromUtf8("caf\u00e9"));
    QVERIFY(oem.options.sourceIsOem);
  }

  // Without a display tabrix says so and exits 2 instead of crashing.
  void startWithoutDisplay() {
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("TABRIX_SETTINGS", temp_.filePath("none.reg"));
    run.setProcessEnvironment(env);
    run.start(kTabrix, {});
    QVERIFY(run.waitForFinished(30000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 2);
    QVERIFY(run.readAllStandardError().contains("no display"));
  }

 private:
  QTemporaryDir temp_;
};

}  // namespace tabrix::test

QTEST_MAIN(tabrix::test::WizardTest)
#include "wizard_test.moc"
