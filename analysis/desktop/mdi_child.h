// KW_MdiUsr: the child window of one open picture. It owns the analysis
// document and its view, and is the document's window hooks: refreshes from
// the interface thread redraw at once; those from a command working in the
// background wait until the command hands the document back.
#pragma once

#include <QMdiSubWindow>
#include <atomic>
#include <memory>

#include "image/pic_doc.h"

class KW_SciDoc;
class KW_SciVuw;
namespace FRONTEND {
class Frontend;
}

class KW_MdiUsr : public QMdiSubWindow, public DocumentViewHooks {
  Q_OBJECT

 public:
  // The document shows its boxes and dialogs through frontend (not owned).
  KW_MdiUsr(const QString& path, FRONTEND::Frontend& frontend, QWidget* parent = nullptr);
  ~KW_MdiUsr() override;

  KW_SciDoc& document() const { return *m_doc; }
  KW_SciVuw* view() const { return m_view; }
  QString path() const { return m_path; }
  void setPath(const QString& path);
  // The title the window shows: the picture file's name.
  QString title() const;

  // Reads the picture; false when the file is not a readable bitmap.
  bool open();

  // While a command works on the document in another thread, nothing reads
  // it here and the window cannot be closed; handing it back draws what the
  // command left.
  void setBusy(bool busy);
  bool busy() const { return m_busy; }

  void addRecentFile(const std::string& path) override;
  void refitFirstView() override;
  void refreshFirstView() override;
  void highlightArea(int left, int top, int width, int height) override;

 signals:
  void recentFileOpened(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool onInterfaceThread() const;

  std::unique_ptr<KW_SciDoc> m_doc;
  KW_SciVuw* m_view;
  QString m_path;
  bool m_busy = false;
  std::atomic<bool> m_pendingRefit{false};
  std::atomic<bool> m_pendingRefresh{false};
};
