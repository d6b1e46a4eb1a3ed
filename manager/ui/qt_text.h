// The engine's texts are UTF-8; Qt's are QString.
#pragma once

#include <QString>
#include <string_view>

namespace tessary::ui {

inline QString QText(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace tessary::ui
