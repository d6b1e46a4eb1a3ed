#include "desktop/query_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "database/query_pages.h"

namespace {

QString text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

}  // namespace

QueryPageWidget::QueryPageWidget(KW_PrpPag& page, QWidget* parent)
    : QWidget(parent), m_page(page), m_selectAll(new QCheckBox("Select all", this)) {
  setObjectName(text(page.title()));
  m_selectAll->setObjectName("selectAll");
  auto* grid = new QGridLayout;
  grid->addWidget(m_selectAll, 0, 0);
  if (page.hasCriteria()) {
    grid->addWidget(new QLabel("Operator", this), 0, 1);
    grid->addWidget(new QLabel("Value", this), 0, 2);
    grid->addWidget(new QLabel("Second value", this), 0, 3);
  }
  const auto* digits = new QRegularExpressionValidator(QRegularExpression("-?[0-9]*\\.?[0-9]*"), this);
  for (std::size_t r = 0; r < page.rowCount(); ++r) {
    const int row = static_cast<int>(r) + 1;
    auto* tick = new QCheckBox(text(page.row(r).display), this);
    tick->setObjectName(QString("tick%1").arg(r));
    grid->addWidget(tick, row, 0);
    m_ticks << tick;
    connect(tick, &QCheckBox::clicked, this, [this, r](bool on) {
      m_page.setTicked(r, on);
      sync();
    });
    if (!page.hasCriteria()) continue;
    auto* oper = new QComboBox(this);
    oper->setObjectName(QString("operator%1").arg(r));
    oper->setMinimumWidth(110);
    auto* v1 = new QLineEdit(this);
    v1->setObjectName(QString("value1_%1").arg(r));
    auto* v2 = new QLineEdit(this);
    v2->setObjectName(QString("value2_%1").arg(r));
    for (QLineEdit* e : {v1, v2}) {
      e->setMaxLength(4095);
      if (page.row(r).digitsOnly) e->setValidator(digits);
    }
    v2->setVisible(false);
    grid->addWidget(oper, row, 1);
    grid->addWidget(v1, row, 2);
    grid->addWidget(v2, row, 3);
    m_operators << oper;
    m_value1 << v1;
    m_value2 << v2;
    connect(oper, &QComboBox::activated, this, [this, r](int index) {
      m_page.selectOperator(r, index);
      sync();
    });
    connect(v1, &QLineEdit::textEdited, this, [this, r, v1](const QString& t) {
      if (!m_page.typeValue1(r, t.toStdString())) v1->setText(QString::fromStdString(m_page.value1(r)));
    });
    connect(v2, &QLineEdit::textEdited, this, [this, r, v2](const QString& t) {
      if (!m_page.typeValue2(r, t.toStdString())) v2->setText(QString::fromStdString(m_page.value2(r)));
    });
  }
  grid->setColumnStretch(2, 1);
  grid->setColumnStretch(3, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch();
  connect(m_selectAll, &QCheckBox::clicked, this, [this](bool on) {
    m_page.setSelectAll(on);
    sync();
  });
  sync();
}

void QueryPageWidget::opened() {
  const bool first = !m_page.isOpen();
  m_page.open();
  if (first) {
    for (QComboBox* oper : m_operators) {
      oper->clear();
      for (std::string_view o : KW_PrpPag::operators()) oper->addItem(text(o));
    }
  }
  sync();
}

void QueryPageWidget::sync() {
  const QSignalBlocker block(m_selectAll);
  m_selectAll->setChecked(m_page.selectAll());
  for (int r = 0; r < m_ticks.size(); ++r) {
    const auto row = static_cast<std::size_t>(r);
    m_ticks[r]->setChecked(m_page.isTicked(row));
    if (r < m_operators.size()) {
      if (m_page.isOpen()) m_operators[r]->setCurrentIndex(m_page.selectedOperator(row));
      m_value2[r]->setVisible(m_page.secondValueVisible(row));
    }
  }
}

QuerySheetDialog::QuerySheetDialog(BoxQueryPRS& sheet, QWidget* parent)
    : QDialog(parent), m_tabs(new QTabWidget(this)) {
  setObjectName("BoxQueryPRS");
  setWindowTitle(text(BoxQueryPRS::kCaption));
  m_tabs->setObjectName("pages");
  for (std::size_t i = 0; i < sheet.pageCount(); ++i) {
    KW_PrpPag& page = sheet.page(i);
    m_tabs->addTab(new QueryPageWidget(page, m_tabs), text(page.title()));
  }
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("cancel");
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs, 1);
  layout->addLayout(row);
  resize(640, 420);
  connect(m_tabs, &QTabWidget::currentChanged, this, [this](int i) {
    if (QueryPageWidget* w = pageWidget(i)) w->opened();
  });
  if (QueryPageWidget* first = pageWidget(0)) first->opened();
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QueryPageWidget* QuerySheetDialog::pageWidget(int i) const {
  return qobject_cast<QueryPageWidget*>(m_tabs->widget(i));
}
