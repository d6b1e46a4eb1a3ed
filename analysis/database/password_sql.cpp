#include "database/password_sql.h"

#include "base/frontend.h"

void PasswordSQL::type(std::string_view text) { m_field = FRONTEND::CutText(text, kMaxPassword); }

PasswordSQL::Result PasswordSQL::pressOk() {
  m_password = m_field;
  m_result = Result::Ok;
  return m_result;
}

PasswordSQL::Result PasswordSQL::pressCancel() {
  m_result = Result::Cancel;
  return m_result;
}

PasswordSQL::Result PasswordSQL::DoModal(FRONTEND::Frontend& frontend) {
  m_field.clear();
  m_result = Result::Cancel;
  // The frontend types into the field and answers true for OK; a frontend
  // that cannot ask answers Cancel.
  return FRONTEND::Accepted(frontend, this) ? pressOk() : pressCancel();
}
