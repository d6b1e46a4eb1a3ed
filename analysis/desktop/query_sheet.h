// The "Query" sheet of Inquire: four pages ("General data", "Main root",
// "Secondary root", "More parameters") bound to the sheet model. On a page,
// row i has the tick box "tick<i>", the operator list "operator<i>" and the
// value fields "value1_<i>" and "value2_<i>" (the second shown for "between"
// and "not between"); "selectAll" ticks every box of its page.
#pragma once

#include <QDialog>
#include <QList>

class BoxQueryPRS;
class KW_PrpPag;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;

class QueryPageWidget : public QWidget {
  Q_OBJECT

 public:
  QueryPageWidget(KW_PrpPag& page, QWidget* parent = nullptr);
  // The page is shown: the model opens it (once) and the lists are filled.
  void opened();
  KW_PrpPag& page() const { return m_page; }

 private:
  void sync();

  KW_PrpPag& m_page;
  QCheckBox* m_selectAll;
  QList<QCheckBox*> m_ticks;
  QList<QComboBox*> m_operators;
  QList<QLineEdit*> m_value1;
  QList<QLineEdit*> m_value2;
};

// OK closes the sheet accepted; the caller reads the pages.
class QuerySheetDialog : public QDialog {
  Q_OBJECT

 public:
  explicit QuerySheetDialog(BoxQueryPRS& sheet, QWidget* parent = nullptr);
  QTabWidget* tabs() const { return m_tabs; }
  QueryPageWidget* pageWidget(int i) const;

 private:
  QTabWidget* m_tabs;
};
