// File > Analyse folder: the run of the desktop program writes what
// morvane-batch analyze writes for the same folder, Cancel stops after the
// picture being analysed with every file whole, and a row of the table
// opens its picture with its overlay.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "batch/analyze_command.h"
#include "desktop/folder_run_window.h"
#include "desktop/main_window.h"
#include "desktop/mdi_child.h"
#include "desktop/pic_view.h"
#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "synth/synth_plate.h"
#include "ui_test_util.h"

namespace {

// A folder of plates of different seeds and, with broken, a file that is
// no bitmap; returns the folder.
QString WritePlates(const QString& folder, int count, bool broken) {
  QDir().mkpath(folder);
  for (int i = 1; i <= count; ++i) {
    synth::PlateOptions options;
    options.dpi = 150;
    options.plants = 3;
    options.seed = static_cast<std::uint32_t>(10 + i);
    const synth::Plate plate = synth::MakePlate(options);
    uitest::WriteBitmap(
        QDir(folder).filePath(QString("plate%1.bmp").arg(i)), plate.width, plate.height,
        [&plate](int c, int r) {
          return plate.pixels[static_cast<std::size_t>(c) +
                              static_cast<std::size_t>(r) * static_cast<std::size_t>(plate.width)];
        });
  }
  if (broken) {
    QFile file(QDir(folder).filePath("broken.bmp"));
    if (!file.open(QIODevice::WriteOnly) || file.write("BM not a picture") < 0) return {};
  }
  return folder;
}

// Every file below folder by its path inside it, with its bytes. The RSML
// files' time of writing is the one part two runs cannot share.
QMap<QString, QByteArray> FilesBelow(const QString& folder) {
  QMap<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    QFile file(it.next());
    if (!file.open(QIODevice::ReadOnly)) continue;
    QByteArray bytes = file.readAll();
    if (file.fileName().endsWith(".rsml"))
      bytes = QString::fromUtf8(bytes)
                  .replace(QRegularExpression("<last-modified>[^<]*</last-modified>"), "<last-modified/>")
                  .toUtf8();
    files.insert(QDir(folder).relativeFilePath(file.fileName()), bytes);
  }
  return files;
}

// Starts File > Analyse folder on pictures into results with the sample
// fields and exports of the command line below; returns the run's window.
FolderRunWindow* AnalyseFolder(KW_MdiFrm& w, const QString& pictures, const QString& results, int jobs) {
  uitest::OnNextModal([&](QWidget* dialog) {
    const auto set = [dialog](const char* name, const QString& text) {
      dialog->findChild<QLineEdit*>(name)->setText(text);
    };
    set("folder", pictures);
    set("results", results);
    set("user", "ana");
    set("experiment", "light, dark");
    set("box", "b7");
    set("genotype", "Col-0");
    set("media", "MS");
    set("age", "9");
    set("resolution", "150");
    for (const char* box : {"rsml", "overlay", "traits"})
      dialog->findChild<QCheckBox*>(box)->setChecked(true);
    dialog->findChild<QSpinBox*>("jobs")->setValue(jobs);
    dialog->findChild<QPushButton*>("ok")->click();
  });
  w.action("actionAnalyseFolder")->trigger();
  return w.findChild<FolderRunWindow*>();
}

int AnalyzeOnCommandLine(const QString& pictures, const QString& results, int jobs) {
  std::vector<std::string> args = {pictures.toStdString(),
                                   "--results",
                                   results.toStdString(),
                                   "--user",
                                   "ana",
                                   "--experiment",
                                   "light, dark",
                                   "--box",
                                   "b7",
                                   "--genotype",
                                   "Col-0",
                                   "--media",
                                   "MS",
                                   "--age",
                                   "9",
                                   "--resolution",
                                   "150",
                                   "--lengths",
                                   "true",
                                   "--min-lateral",
                                   "0.1",
                                   "--jobs",
                                   std::to_string(jobs)};
  for (const char* what : {"rsml", "overlay"})
    args.insert(args.end(), {std::string("--") + what, QDir(results).filePath(what).toStdString()});
  args.insert(args.end(), {"--traits", QDir(results).filePath("traits.csv").toStdString()});
  return RunAnalyzeCommand(args);
}

// True lengths and a least lateral root, so that the run must take the
// window's analysis options.
void MeasureAsTheLab(KW_MdiFrm& w) {
  AnalysisSettings options = w.analysisOptions();
  options.lengths = LengthMode::True;
  options.minLateralCm = 0.1;
  w.setAnalysisOptions(options);
}

}  // namespace

class FolderAnalysisTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_home = uitest::FreshHome();
    m_script = std::make_unique<FRONTEND::ScriptedFrontend>();
  }

  void writesWhatTheCommandWritesAndOpensARow() {
    const QString pictures = WritePlates(m_home + "/plates", 3, true);
    KW_MdiFrm w(*m_script);
    MeasureAsTheLab(w);
    w.show();
    FolderRunWindow* run = AnalyseFolder(w, pictures, m_home + "/desktop", 2);
    QVERIFY(run != nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!run->running() && run->findChild<QPushButton*>("close")->isVisible(), 120000);
    const FolderAnalysisSummary s = run->summary();
    QCOMPARE(s.done, std::size_t{4});
    QCOMPARE(s.saved, 3);
    QCOMPARE(s.failed, 1);
    QVERIFY(!s.cancelled);

    QCOMPARE(AnalyzeOnCommandLine(pictures, m_home + "/command", 2), 1);  // the broken picture fails
    const auto desktop = FilesBelow(m_home + "/desktop");
    const auto command = FilesBelow(m_home + "/command");
    QCOMPARE(desktop.keys(), command.keys());
    QVERIFY(desktop.contains("traits.csv") && desktop.contains("overlay/plate2.png") &&
            desktop.contains("rsml/plate3.rsml") && desktop.contains("plate1.txt"));
    for (auto it = desktop.begin(); it != desktop.end(); ++it)
      QVERIFY2(it.value() == command[it.key()], qPrintable(it.key()));

    // A row per plant in the order of the pictures, and the broken picture with its reason.
    QTableWidget* table = run->table();
    QCOMPARE(table->rowCount(), s.plants + 1);
    QCOMPARE(table->item(0, FolderRunWindow::kPicture)->text(), QString("broken.bmp"));
    QVERIFY(table->item(0, FolderRunWindow::kFlags)->text().startsWith("failed: cannot be read"));
    QCOMPARE(table->item(1, FolderRunWindow::kPicture)->text(), QString("plate1.bmp"));
    QCOMPARE(table->item(1, FolderRunWindow::kPlant)->text(), QString("1"));
    QVERIFY(table->item(1, FolderRunWindow::kMainRoot)->text().toDouble() > 1.0);
    const QString lastPicture = table->item(table->rowCount() - 1, FolderRunWindow::kPicture)->text();
    QCOMPARE(lastPicture, QString("plate3.bmp"));

    // Double-clicking a row opens its picture with the overlay the run wrote.
    const int row = table->rowCount() - 1;
    table->scrollToItem(table->item(row, FolderRunWindow::kPlant));
    const QRect cell = table->visualItemRect(table->item(row, FolderRunWindow::kPlant));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    KW_MdiUsr* child = w.activeChild();
    QVERIFY(child != nullptr);
    QCOMPARE(child->path(), QDir(pictures).filePath("plate3.bmp"));
    QVERIFY(child->view()->overlayShown());
    const QImage written(m_home + "/desktop/overlay/plate3.png");
    QCOMPARE(child->view()->overlay().convertToFormat(QImage::Format_RGB32),
             written.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(child->view()->overlay().size(), QSize(child->document().width, child->document().height));
  }

  void cancelStopsAfterThePictureBeingAnalysed() {
    const QString pictures = WritePlates(m_home + "/plates", 4, false);
    KW_MdiFrm w(*m_script);
    MeasureAsTheLab(w);
    w.show();
    FolderRunWindow* run = AnalyseFolder(w, pictures, m_home + "/desktop", 1);
    QVERIFY(run != nullptr);
    // The run waits for the first picture's rows before it starts another.
    connect(run, &FolderRunWindow::pictureFinished, run, [run](int done) {
      if (done == 1) run->findChild<QPushButton*>("cancel")->click();
    });
    QTRY_VERIFY_WITH_TIMEOUT(!run->running() && run->findChild<QPushButton*>("close")->isVisible(), 120000);
    QVERIFY(run->summary().cancelled);
    QCOMPARE(run->summary().done, std::size_t{1});
    QVERIFY(run->findChild<QLabel*>("state")->text().startsWith("Cancelled: 1 of 4 pictures done"));

    // What was kept is what a run of the first picture alone writes, whole.
    const QString first = m_home + "/first";
    QVERIFY(QDir().mkpath(first));
    QVERIFY(QFile::copy(QDir(pictures).filePath("plate1.bmp"), QDir(first).filePath("plate1.bmp")));
    QCOMPARE(AnalyzeOnCommandLine(first, m_home + "/command", 1), 0);
    const auto desktop = FilesBelow(m_home + "/desktop");
    QCOMPARE(desktop.keys(),
             QStringList({"overlay/plate1.png", "plate1.txt", "rsml/plate1.rsml", "traits.csv"}));
    QCOMPARE(desktop, FilesBelow(m_home + "/command"));
  }

 private:
  QString m_home;
  std::unique_ptr<FRONTEND::ScriptedFrontend> m_script;
};

QTEST_MAIN(FolderAnalysisTest)
#include "folder_analysis_test.moc"
