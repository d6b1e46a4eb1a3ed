// The sizing rules of the picture views: a window is fitted to its picture
// once, at its first refresh after an open, and every draw shrinks the
// picture to the window but never enlarges it beyond one screen pixel per
// picture pixel. Each rule appends its figures to the zoom log.
#pragma once

namespace FRONTEND {
class Frontend;
}

struct ViewSize {
  int width = 0;
  int height = 0;
};

// The view size that fits a width x height picture into a clientWidth x
// clientHeight client area: both sides scaled by the smaller of the two
// ratios, rounded. A picture without pixels keeps the client size.
ViewSize FitViewSize(int clientWidth, int clientHeight, int width, int height);

// The destination size of the picture part a x b (right minus left, top minus
// bottom) drawn into the client area: scaled to fit, never larger than a x b.
ViewSize DrawSize(int clientWidth, int clientHeight, int a, int b);

// The zoom log of one view: the records of a fit, a draw and a size change.
// Every paint writes a record, so the log stops after kMaxRecords with one
// line saying so; opening a picture empties the file and restart() begins
// the count again.
class ZoomLog {
 public:
  static constexpr int kMaxRecords = 2000;

  // frontend (not owned) shows "Path was not found." for the view's thread.
  explicit ZoomLog(FRONTEND::Frontend& frontend) : m_frontend(&frontend) {}

  void restart() { m_records = 0; }
  void autozoom(int clientHeight, int clientWidth, int height, int width, bool fitted, bool redraw);
  void onDraw(int clientHeight, int clientWidth, int a, int b, int width, int height, ViewSize dest);
  void onSize(bool redraw);
  int records() const { return m_records; }

 private:
  bool take();
  FRONTEND::Frontend* m_frontend;
  int m_records = 0;
};
