#include "image/view_fit.h"

#include <algorithm>
#include <cmath>

#include "base/kw_log.h"

ViewSize FitViewSize(int clientWidth, int clientHeight, int width, int height) {
  if (width <= 0 || height <= 0) return {clientWidth, clientHeight};
  const double f =
      std::min(static_cast<double>(clientWidth) / width, static_cast<double>(clientHeight) / height);
  return {static_cast<int>(std::floor(width * f + 0.5)), static_cast<int>(std::floor(height * f + 0.5))};
}

ViewSize DrawSize(int clientWidth, int clientHeight, int a, int b) {
  if (a <= 0 || b <= 0) return {0, 0};
  const double s =
      std::fabs(std::min(static_cast<double>(clientWidth) / a, static_cast<double>(clientHeight) / b));
  const int dw = std::min(static_cast<int>(std::floor(s * (a + 1) + 0.5)), a);
  const int dh = std::min(static_cast<int>(std::floor(s * (b + 1) + 0.5)), b);
  return {dw, dh};
}

bool ZoomLog::take() {
  if (m_records > kMaxRecords) return false;
  if (m_records++ == kMaxRecords) {
    AppendLogF(*m_frontend, logname::kZoom, "Zoom log stopped after %d records\n", kMaxRecords);
    return false;
  }
  return true;
}

void ZoomLog::autozoom(int clientHeight, int clientWidth, int height, int width, bool fitted, bool redraw) {
  if (!take()) return;
  AppendLogF(*m_frontend, logname::kZoom,
             "Autozoom Funct\n\tcli hgt %d\n\tcli wdth %d\n\tsrc hgt %d\n\tsrc wdth %d\n\tfsized %d\n"
             "\tredraw %d\n",
             clientHeight, clientWidth, height, width, fitted ? 1 : 0, redraw ? 1 : 0);
}

void ZoomLog::onDraw(int clientHeight, int clientWidth, int a, int b, int width, int height, ViewSize dest) {
  if (!take()) return;
  AppendLogF(*m_frontend, logname::kZoom,
             "OnDraw Funct ZI function\n\tcli hgt %d\n\tcli wdth %d\n\tsrc hgt %d\n\tsrc wdth %d\n"
             "\txdim %d\n\tydim %d\n\tdest rect hgt ZI %lg\n\tdest rect wdth ZI %lg\n\tZI %d\n",
             clientHeight, clientWidth, b + 1, a + 1, width, height, static_cast<double>(dest.height),
             static_cast<double>(dest.width), 0);
}

void ZoomLog::onSize(bool redraw) {
  if (!take()) return;
  AppendLogF(*m_frontend, logname::kZoom, "Onsize Funct\n\tredraw %d\n", redraw ? 1 : 0);
}
