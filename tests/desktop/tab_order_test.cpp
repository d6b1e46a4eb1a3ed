// Tab walks the controls of the dialogs in the order of their forms.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QTest>

#include "desktop/analysis_dialogs.h"
#include "desktop/options_dialog.h"
#include "roots/analysis_dialog_models.h"
#include "support/scripted_frontend.h"
#include "ui_test_util.h"

namespace {

template <typename T>
T* child(QWidget* parent, const char* name) {
  T* w = parent->findChild<T*>(name);
  if (w == nullptr) qFatal("no control named %s", name);
  return w;
}

// The control that has the focus, by name: a spin box or a list rather than its edit.
QString focusName() {
  QWidget* w = QApplication::focusWidget();
  if (w == nullptr) return "(none)";
  while (w->parentWidget() != nullptr &&
         (qobject_cast<QAbstractSpinBox*>(w->parentWidget()) || qobject_cast<QComboBox*>(w->parentWidget())))
    w = w->parentWidget();
  return w->objectName();
}

// The names of the controls Tab walks through, from first until it comes back.
QStringList tabWalk(QWidget* dialog, const char* first) {
  dialog->show();
  QApplication::setActiveWindow(dialog);
  if (!QTest::qWaitForWindowActive(dialog)) return {"(not active)"};
  dialog->findChild<QWidget*>(first)->setFocus(Qt::TabFocusReason);
  QStringList names{focusName()};
  for (int i = 0; i < 30; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    if (focusName() == names.front()) break;
    names << focusName();
  }
  return names;
}

}  // namespace

class TabOrderTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    uitest::FreshHome();
    script = std::make_unique<FRONTEND::ScriptedFrontend>();
  }

  void tabOrderFollowsTheForm() {
    MyBoxInfoGeneral info;
    InfoGeneralDialog infoBox(info, *script);
    QCOMPARE(tabWalk(&infoBox, "user"), QStringList({"user", "experiment", "box", "genotype", "media", "age",
                                                     "resolution", "ok", "cancel"}));
    OptionsDialog options(AnalysisSettings{});
    QCOMPARE(tabWalk(&options, "lengths").mid(0, 2), QStringList({"lengths", "minLateral"}));
    // The plate controls are the adaptive pipeline's: enabled, they join the walk in place.
    child<QComboBox>(&options, "pipeline")->setCurrentIndex(1);
    QCOMPARE(tabWalk(&options, "lengths"), QStringList({"lengths", "minLateral", "background", "pipeline",
                                                        "plate", "plateHeight", "scale", "ok", "cancel"}));
    ResultFileExistBox exist("plate1");
    ResultFileExistDialog existBox(exist);
    QCOMPARE(tabWalk(&existBox, "name"), QStringList({"name", "ok", "overwrite", "cancel"}));
  }

 private:
  std::unique_ptr<FRONTEND::ScriptedFrontend> script;
};

QTEST_MAIN(TabOrderTest)
#include "tab_order_test.moc"
