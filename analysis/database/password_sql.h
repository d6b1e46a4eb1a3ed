// The administrator password dialog shown before the first import: titled
// "Mysql Administrator Permission", one masked field, OK and Cancel. The
// model holds the field's text; a view (or a scripted answer) types into it
// and presses a button.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/frontend.h"

class PasswordSQL {
 public:
  static constexpr std::string_view kTitle = "Mysql Administrator Permission";
  static constexpr std::string_view kPrompt = "MySQL administrator Password:";
  static constexpr std::string_view kHint = "(leave blank for default)";
  // The field keeps at most 149 characters.
  static constexpr std::size_t kMaxPassword = 149;

  enum class Result { Ok, Cancel };

  // Replaces the field's text, cut to 149 characters.
  void type(std::string_view text);
  const std::string& field() const { return m_field; }

  // OK keeps the field's text as the password; Cancel keeps nothing.
  Result pressOk();
  Result pressCancel();

  // Shows the dialog through frontend; Cancel unless the user pressed OK.
  Result DoModal(FRONTEND::Frontend& frontend);

  // The text kept by the last OK; empty until then.
  const std::string& password() const { return m_password; }
  Result result() const { return m_result; }

 private:
  std::string m_field;
  std::string m_password;
  Result m_result = Result::Cancel;
};
