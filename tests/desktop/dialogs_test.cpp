// The image-step dialogs, the message boxes, the folder chooser and the
// small dialogs of the Options menu and the database, driven through their
// widgets as a user would.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include "database/kw_sql.h"
#include "database/password_sql.h"
#include "database/query_pages.h"
#include "desktop/analysis_dialogs.h"
#include "desktop/message_boxes.h"
#include "desktop/options_dialog.h"
#include "desktop/password_box.h"
#include "desktop/query_sheet.h"
#include "desktop/step_dialogs.h"
#include "image/binarise.h"
#include "image/calib_param_model.h"
#include "image/ima_ana.h"
#include "image/retouch_model.h"
#include "image/step_dialog_models.h"
#include "roots/analysis_dialog_models.h"
#include "roots/sci_doc.h"
#include "support/scripted_frontend.h"
#include "ui_test_util.h"

namespace {

std::vector<std::uint32_t> binarised(const std::vector<std::uint32_t>& source, int w, int h, int t) {
  std::vector<std::uint32_t> out(source.size());
  Binarise(source.data(), out.data(), w, h, t);
  return out;
}

template <typename T>
T* child(QWidget* parent, const char* name) {
  T* w = parent->findChild<T*>(name);
  if (w == nullptr) qFatal("no control named %s", name);
  return w;
}

void typeInto(QLineEdit* edit, const QString& text) {
  edit->clear();
  QTest::keyClicks(edit, text);
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    uitest::FreshHome();
    script = std::make_unique<FRONTEND::ScriptedFrontend>();
  }

  void thresholdClampsButKeepsTheTypedText() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    uitest::LoadGreys(doc, 40, 20);
    const auto start = doc.pixels;
    ThresholdModel model(doc);
    MyBWTBBox box(model);
    box.show();
    auto* edit = child<QLineEdit>(&box, "threshold");
    auto* slider = child<QSlider>(&box, "thresholdSlider");
    QCOMPARE(edit->text(), QString("90"));
    QCOMPARE(slider->minimum(), 40);
    QCOMPARE(slider->maximum(), 120);
    QCOMPARE(slider->tickInterval(), 2);
    QVERIFY(doc.pixels == binarised(start, 40, 20, 90));

    typeInto(edit, "200");
    QCOMPARE(slider->value(), 120);
    QCOMPARE(edit->text(), QString("200"));
    QVERIFY(doc.pixels == binarised(start, 40, 20, 120));

    typeInto(edit, "7");
    QCOMPARE(slider->value(), 40);
    QVERIFY(doc.pixels == binarised(start, 40, 20, 40));

    // Dragging the slider types its position into the box.
    slider->setSliderDown(true);
    slider->setSliderPosition(64);
    slider->setSliderDown(false);
    QCOMPARE(edit->text(), QString("64"));
    QCOMPARE(model.threshold(), 64);
    QVERIFY(doc.pixels == binarised(start, 40, 20, 64));

    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QCOMPARE(model.accept(), 64);
  }

  void thresholdCancelAndEscapeRestoreThePicture() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    uitest::LoadGreys(doc, 40, 20);
    const auto start = doc.pixels;
    {
      ThresholdModel model(doc);
      MyBWTBBox box(model);
      box.show();
      typeInto(child<QLineEdit>(&box, "threshold"), "100");
      QVERIFY(doc.pixels != start);
      QTest::mouseClick(child<QPushButton>(&box, "cancel"), Qt::LeftButton);
      QCOMPARE(box.result(), int(QDialog::Rejected));
      QVERIFY(doc.pixels == start);
    }
    ThresholdModel model(doc);
    MyBWTBBox box(model);
    box.show();
    QVERIFY(doc.pixels != start);
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(doc.pixels == start);
  }

  void erosionOriginalWithOkLeavesThePictureUnfiltered() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    uitest::LoadGreys(doc, 40, 20);
    for (auto& p : doc.pixels) p = (p & 0xFFU) > 128 ? 0xFFFFFFU : 0U;
    const auto start = doc.pixels;
    ErosionMethodModel model(doc);
    CleaningBox box(model);
    box.show();
    auto* list = child<QComboBox>(&box, "method");
    QCOMPARE(list->count(), 7);
    QCOMPARE(list->currentText(), QString("Gaussian2"));
    QVERIFY(doc.pixels != start);  // the opening filter is previewed
    list->setCurrentIndex(list->findText("Original"));
    QVERIFY(doc.pixels == start);
    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QCOMPARE(model.accept(), std::string("Original"));
    QVERIFY(doc.pixels == start);
  }

  void retouchOffsetsAndMagnification() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    uitest::LoadGreys(doc, 1000, 300);
    RetouchModel model(doc);
    MyBoxDrawLine box(model, 1920, 1080);
    box.show();
    QVERIFY(child<QRadioButton>(&box, "x1")->isChecked());
    QCOMPARE(child<QRadioButton>(&box, "x1")->text(), QString("Magnification:  x1"));
    QTest::mouseClick(child<QRadioButton>(&box, "x4"), Qt::LeftButton);
    QCOMPARE(model.magnification(), 4);
    auto* right = child<QPushButton>(&box, "right");
    for (int i = 0; i < 100; ++i) QTest::mouseClick(right, Qt::LeftButton);
    QCOMPARE(model.xOffset(), 750);
    QTest::mouseClick(child<QPushButton>(&box, "left"), Qt::LeftButton);
    QCOMPARE(model.xOffset(), 740);
    QTest::mouseClick(child<QPushButton>(&box, "left"), Qt::LeftButton, Qt::ControlModifier);
    QCOMPARE(model.xOffset(), 640);
    QTest::mouseClick(child<QPushButton>(&box, "down"), Qt::LeftButton);
    QCOMPARE(model.yOffset(), 10);
    QTest::mouseClick(child<QRadioButton>(&box, "x1"), Qt::LeftButton);
    QCOMPARE(model.xOffset(), 0);
    QCOMPARE(model.yOffset(), 0);
  }

  void retouchDialogSize() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    uitest::LoadGreys(doc, 500, 200);
    RetouchModel model(doc);
    MyBoxDrawLine box(model, 1920, 1080);
    box.show();
    QCOMPARE(box.width(), 700);
    QCOMPARE(box.height(), 300);
    QCOMPARE(box.picture()->size(), QSize(500, 200));
    // A picture larger than the desktop is shown at the desktop's ratio.
    const RetouchGeometry g = ComputeRetouchGeometry(2000, 1000, 1050, 2000);
    QCOMPARE(g.dialogWidth, 1040);
    QCOMPARE(g.dialogHeight, 541);
    QCOMPARE(g.pictureWidth, 985);
    QCOMPARE(g.pictureHeight, 492);
  }

  void retouchPaintsWhiteAndBlackAndOkWritesBack() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    doc.width = 100;
    doc.height = 80;
    doc.pixels.assign(std::size_t{100} * 80U, 0x808080U);
    RetouchModel model(doc);
    MyBoxDrawLine box(model, 1920, 1080);
    box.show();
    RetouchPicture* picture = box.picture();
    QCOMPARE(picture->size(), QSize(100, 80));
    // A left click at (20, 10) whitens columns 15..19 and rows 5..9 from the top.
    QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(20, 10));
    const auto& copy = model.picture();
    QCOMPARE(copy[15 + 5 * 100], 0xFFFFFFU);
    QCOMPARE(copy[19 + 9 * 100], 0xFFFFFFU);
    QCOMPARE(copy[20 + 10 * 100], 0x808080U);
    QCOMPARE(copy[14 + 5 * 100], 0x808080U);
    QTest::mouseClick(picture, Qt::RightButton, {}, QPoint(60, 40));
    QCOMPARE(copy[55 + 35 * 100], 0U);
    // Nothing reaches the document before OK.
    QCOMPARE(doc.At(15, 80 - 1 - 5), 0x808080U);
    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    model.accept(doc);
    QCOMPARE(doc.At(15, 80 - 1 - 5), 0xFFFFFFU);
    QCOMPARE(doc.At(55, 80 - 1 - 35), 0U);
  }

  void retouchCommandMarksAndKeepsPictureOnCancel() {
    KW_ImaAna doc;
    doc.setFrontend(script.get());
    uitest::LoadGreys(doc, 30, 20);
    const auto start = doc.pixels;
    script->retouchScripts.push_back([](RetouchModel& m) {
      m.PaintSquare(4, 4, 5, 255, 255, 255);
      return false;
    });
    Retouch(doc);
    QVERIFY(doc.marks.isChecked(StepMark::Retouch));
    QVERIFY(doc.pixels == start);
    script->retouchScripts.push_back([](RetouchModel& m) {
      m.PaintSquare(4, 4, 5, 255, 255, 255);
      return true;
    });
    const int refreshes = doc.refreshCount();
    Retouch(doc);
    QCOMPARE(doc.At(0, 19), 0xFFFFFFU);
    QCOMPARE(doc.refreshCount(), refreshes + 1);
  }

  void calibrationDisplay() {
    ReadLastCalibParams(*script);
    QCOMPARE(script->messages().size(), size_t(1));
    QCOMPARE(script->messages().front(), std::string(kCalibFileNotFound));
    const QString log = QDir(qEnvironmentVariable("MORVANE_HOME")).filePath("Log");
    QDir().mkpath(log);
    QFile f(log + "/LOG_calib.param");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("Threshold : 85 \tErosion Method : Gaussian2 ");
    f.close();
    const LastCalibParams p = ReadLastCalibParams(*script);
    QCOMPARE(p.threshold, 85);
    QCOMPARE(p.method, std::string("Gaussian2"));
    CalibParamBox box(p);
    QCOMPARE(child<QLabel>(&box, "threshold")->text(), QString("85"));
    QCOMPARE(child<QLabel>(&box, "method")->text(), QString("Gaussian2"));
    QCOMPARE(ParseLastCalibLine("Threshold : 70 \tErosion Method : ").method, std::string("Original"));
    QCOMPARE(ParseLastCalibLine("Threshold : 70 \tErosion Method : Gaussian ").method,
             std::string("Gaussian"));
  }

  void messageBoxesCutTextAndAnswer() {
    const QString longText(1500, QChar('a'));
    QMesajBOX message("Morvane", longText);
    QCOMPARE(message.text().size(), 1023);
    QCOMPARE(message.windowTitle(), QString("Morvane"));
    QVERIFY(message.findChild<QPushButton*>("ok") != nullptr);
    QVERIFY(message.findChild<QPushButton*>("cancel") == nullptr);

    QYNcanBOX three("Morvane", "Save?");
    three.show();
    QTest::mouseClick(child<QPushButton>(&three, "no"), Qt::LeftButton);
    QCOMPARE(three.result(), KW_MsgBox::kNo);

    QtFrontend frontend;
    uitest::OnNextModal(
        [](QWidget* w) { QTest::mouseClick(child<QPushButton>(w, "cancel"), Qt::LeftButton); });
    QVERIFY(!frontend.askOkCancel("Morvane", "Go on?"));
    uitest::OnNextModal([](QWidget* w) { QTest::mouseClick(child<QPushButton>(w, "yes"), Qt::LeftButton); });
    QVERIFY(frontend.askYesNo("Morvane", "Really?"));
    uitest::OnNextModal(
        [](QWidget* w) { QTest::mouseClick(child<QPushButton>(w, "cancel"), Qt::LeftButton); });
    QCOMPARE(frontend.askYesNoCancel("Morvane", "Which?"), FRONTEND::Answer::Cancel);
    QVERIFY(QString::fromStdString(FRONTEND::SystemErrorText(2)).contains("No such file"));
  }

  void folderChooserShowsPathAndAnswers() {
    const QString home = qEnvironmentVariable("MORVANE_HOME");
    QDir(home).mkpath("results/plates");
    const QString start = QDir(home).filePath("results");
    QtFrontend frontend;
    uitest::OnNextModal([](QWidget* w) {
      QCOMPARE(w->windowTitle(), QString("Choose the result folder"));
      QVERIFY(child<QLabel>(w, "path")->text().endsWith("/results"));
      QTest::mouseClick(child<QPushButton>(w, "ok"), Qt::LeftButton);
    });
    FRONTEND::FolderChoice chosen = frontend.chooseFolder("Choose the result folder", start.toStdString());
    QCOMPARE(chosen.status, 1);
    QCOMPARE(QString::fromStdString(chosen.path), QDir(start).canonicalPath());
    uitest::OnNextModal(
        [](QWidget* w) { QTest::mouseClick(child<QPushButton>(w, "cancel"), Qt::LeftButton); });
    chosen = frontend.chooseFolder("Choose", start.toStdString());
    QCOMPARE(chosen.status, -1);
  }

  void passwordIsMasked() {
    PasswordSQL model;
    PasswordBox box(model);
    box.show();
    auto* field = child<QLineEdit>(&box, "password");
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QTest::keyClicks(field, "s3cret");
    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(model.password(), std::string("s3cret"));
    QCOMPARE(box.windowTitle(), QString("Mysql Administrator Permission"));
  }

  void resultFolderShowsAndChanges() {
    const QString home = qEnvironmentVariable("MORVANE_HOME");
    QDir(home).mkpath("first");
    QDir(home).mkpath("second");
    script->folders.push_back({1, QDir(home).filePath("first").toStdString()});
    ResultBox model;
    ResultFolderDialog box(model, *script);
    QVERIFY(QString::fromStdString(model.folder()).endsWith("first/Results"));
    auto* path = child<QLineEdit>(&box, "path");
    QVERIFY(path->isReadOnly());
    QVERIFY(path->fontMetrics().horizontalAdvance(path->text()) <= 240);
    script->folders.push_back({1, QDir(home).filePath("second").toStdString()});
    QTest::mouseClick(child<QPushButton>(&box, "change"), Qt::LeftButton);
    QVERIFY(QString::fromStdString(model.folder()).endsWith("second/Results"));
    QVERIFY(path->toolTip().endsWith("second/Results"));
  }

  void isARootDialogSizeAndAnswers() {
    std::vector<std::uint32_t> plant(std::size_t{150} * 400U, 0xFFFFFFU);
    MyBoxIsARoot model(plant, 150, 400);
    model.index = 2;
    model.count = 5;
    IsARootDialog box(model);
    box.show();
    QCOMPARE(box.size(), QSize(360, 500));
    QCOMPARE(box.windowTitle(), QString("Is this a root?"));
    QCOMPARE(child<QLabel>(&box, "progress")->text(), QString("plant 2 of 5"));
    // No button takes a held Enter or Space: the dialog stays open, unanswered.
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
      QTest::keyClick(QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &box, key);
    QVERIFY(box.isVisible());
    QCOMPARE(box.answer(), FRONTEND::Answer::Cancel);
    for (QPushButton* b : box.findChildren<QPushButton*>()) QVERIFY(!b->isDefault() && !b->autoDefault());
    QTest::mouseClick(child<QPushButton>(&box, "no"), Qt::LeftButton);
    QCOMPARE(box.answer(), FRONTEND::Answer::No);
    QCOMPARE(model.rest, MyBoxIsARoot::Rest::AskNext);
    MyBoxIsARoot wideModel(std::vector<std::uint32_t>(std::size_t{400} * 100U, 0U), 400, 100);
    IsARootDialog wide(wideModel);
    QCOMPARE(wide.size(), QSize(420, 200));
    wide.show();
    QTest::mouseClick(child<QPushButton>(&wide, "yesToAll"), Qt::LeftButton);
    QCOMPARE(wide.answer(), FRONTEND::Answer::Yes);
    QCOMPARE(wideModel.rest, MyBoxIsARoot::Rest::AllYes);
    IsARootDialog stopped(model);
    stopped.show();
    QTest::mouseClick(child<QPushButton>(&stopped, "stop"), Qt::LeftButton);
    QCOMPARE(stopped.answer(), FRONTEND::Answer::Cancel);
    QCOMPARE(model.rest, MyBoxIsARoot::Rest::Stop);
    IsARootDialog closed(model);
    closed.show();
    closed.close();
    QCOMPARE(closed.answer(), FRONTEND::Answer::Cancel);
  }

  // Tab from the first control walks the controls in the order they are read.
  void thresholdBoxFollowsKeysAndShowsTheAppliedValue() {
    KW_SciDoc doc;
    uitest::LoadGreys(doc, 40, 30);
    ThresholdModel model(doc);
    MyBWTBBox box(model);
    box.show();
    auto* slider = child<QSlider>(&box, "thresholdSlider");
    auto* edit = child<QLineEdit>(&box, "threshold");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    QCOMPARE(edit->text(), QString("91"));
    QTest::keyClick(slider, Qt::Key_Left);
    QTest::keyClick(slider, Qt::Key_Left);
    QCOMPARE(edit->text(), QString("89"));
    QCOMPARE(model.threshold(), 89);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "200");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(model.threshold(), ThresholdModel::kMaximum);
    QCOMPARE(edit->text(), QString("120"));
  }

  void resultFileExistsOverwriteOrEditedName() {
    {
      ResultFileExistBox model("plate1");
      ResultFileExistDialog box(model);
      box.show();
      auto* name = child<QLineEdit>(&box, "name");
      QCOMPARE(name->text(), QString("plate1"));
      typeInto(name, "plate1b");
      QTest::mouseClick(child<QPushButton>(&box, "overwrite"), Qt::LeftButton);
      QCOMPARE(box.answer(), FRONTEND::Answer::Yes);
      QCOMPARE(model.resultName(), std::string("plate1"));
    }
    ResultFileExistBox model("plate1");
    ResultFileExistDialog box(model);
    box.show();
    typeInto(child<QLineEdit>(&box, "name"), "plate1b");
    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(box.answer(), FRONTEND::Answer::Yes);
    QCOMPARE(model.resultName(), std::string("plate1b"));
  }

  void imageInformationTakesDigitsOnly() {
    MyBoxInfoGeneral model;
    InfoGeneralDialog box(model, *script);
    box.show();
    QTest::keyClicks(child<QLineEdit>(&box, "user"), "Ana");
    QTest::keyClicks(child<QLineEdit>(&box, "age"), "1a2");
    QCOMPARE(child<QLineEdit>(&box, "age")->text(), QString("12"));
    QTest::keyClicks(child<QLineEdit>(&box, "resolution"), "3x00");
    child<QComboBox>(&box, "genotype")->setEditText("Col-0");
    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QCOMPARE(model.user, std::string("Ana"));
    QCOMPARE(model.age, std::string("12"));
    QCOMPARE(model.resolution, std::string("300"));
    QCOMPARE(model.genotype, std::string("Col-0"));
    QVERIFY(model.complete);
  }

  void querySheetPages() {
    BoxQueryPRS sheet;
    QuerySheetDialog box(sheet);
    box.show();
    QCOMPARE(box.windowTitle(), QString("Query"));
    QTabWidget* tabs = box.tabs();
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(0), QString("General data"));
    QCOMPARE(tabs->tabText(3), QString("More parameters"));
    QueryPageWidget* general = box.pageWidget(0);
    QVERIFY(sheet.picturePage().isOpen());
    QVERIFY(!sheet.mainRootPage().isOpen());
    // Operators, hidden second value.
    const int age = sheet.picturePage().findRow("Age");
    auto* oper = child<QComboBox>(general, qPrintable(QString("operator%1").arg(age)));
    QCOMPARE(oper->count(), 7);
    QCOMPARE(oper->currentIndex(), -1);
    auto* second = child<QLineEdit>(general, qPrintable(QString("value2_%1").arg(age)));
    QVERIFY(!second->isVisible());
    oper->setCurrentIndex(5);
    emit oper->activated(5);
    QVERIFY(second->isVisible());
    // Age takes digits only; a name takes any text.
    auto* first = child<QLineEdit>(general, qPrintable(QString("value1_%1").arg(age)));
    QTest::keyClicks(first, "5x");
    QCOMPARE(first->text(), QString("5"));
    QTest::keyClicks(second, "9");
    const int genotype = sheet.picturePage().findRow("Genotype");
    QTest::keyClicks(child<QLineEdit>(general, qPrintable(QString("value1_%1").arg(genotype))), "Col");
    auto* equals = child<QComboBox>(general, qPrintable(QString("operator%1").arg(genotype)));
    equals->setCurrentIndex(1);
    emit equals->activated(1);
    // Select all ticks every box; unticking one unticks Select all.
    auto* all = child<QCheckBox>(general, "selectAll");
    QTest::mouseClick(all, Qt::LeftButton);
    for (int r = 0; r < 8; ++r)
      QVERIFY(child<QCheckBox>(general, qPrintable(QString("tick%1").arg(r)))->isChecked());
    QTest::mouseClick(child<QCheckBox>(general, "tick3"), Qt::LeftButton);
    QVERIFY(!all->isChecked());
    QTest::mouseClick(child<QCheckBox>(general, "tick3"), Qt::LeftButton);
    QVERIFY(all->isChecked());
    // Opening a page opens its model.
    tabs->setCurrentIndex(2);
    QVERIFY(sheet.lateralPage().isOpen());
    QTest::mouseClick(child<QPushButton>(&box, "ok"), Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    sheet.pressOk();
    QVERIFY(sheet.picturesTicked());
    QVERIFY(!sheet.mainRootsTicked());
    const QString statement = QString::fromStdString(sheet.Build_Picture_Query(KW_SQL::kPictureNames));
    QCOMPARE(statement, QString("select * from `Picture` where `Picture`.`Age` between '5' and '9' and "
                                "`Picture`.`Genotype` = 'Col'"));
  }

 private:
  std::unique_ptr<FRONTEND::ScriptedFrontend> script;
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
