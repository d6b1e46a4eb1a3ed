// The windows of the analysis dialogs, each bound to its model
// (roots/analysis_dialog_models.h): "Is this a root?", "Image information",
// "Warning!" and "Result folder path".
#pragma once

#include <QDialog>

#include "base/frontend.h"

class MyBoxIsARoot;
class MyBoxInfoGeneral;
class ResultFileExistBox;
class ResultBox;
class QComboBox;
class QLabel;
class QLineEdit;

// "Is this a root?": the plant's picture, "plant k of n" ("progress"),
// "yes" and "no" for this plant, "yesToAll" for it and every plant left,
// "stop" to ask no more. answer() is Yes, No, or Cancel when closed any other
// way; the two last buttons set the model's rest. No button is the default
// and none has the focus, so that a key held down confirms nothing unseen.
class IsARootDialog : public QDialog {
  Q_OBJECT

 public:
  explicit IsARootDialog(MyBoxIsARoot& box, QWidget* parent = nullptr);
  FRONTEND::Answer answer() const { return m_answer; }

 private:
  FRONTEND::Answer m_answer = FRONTEND::Answer::Cancel;
};

// "Image information": edits "user", "experiment", "box", "age" and
// "resolution" (the last two digits only), editable lists "genotype" and
// "media". OK copies the texts into the model and calls its ok().
class InfoGeneralDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the model: fills the two lists from the database.
  // frontend: the one that shows the dialog, for the model's database reads.
  InfoGeneralDialog(MyBoxInfoGeneral& box, FRONTEND::Frontend& frontend, QWidget* parent = nullptr);

 private:
  void okPressed();

  MyBoxInfoGeneral& m_box;
  QLineEdit* m_user;
  QLineEdit* m_experiment;
  QLineEdit* m_plate;
  QComboBox* m_genotype;
  QComboBox* m_media;
  QLineEdit* m_age;
  QLineEdit* m_resolution;
};

// "Warning!": the name to save under ("name"), "ok", "overwrite", "cancel".
class ResultFileExistDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ResultFileExistDialog(ResultFileExistBox& box, QWidget* parent = nullptr);
  FRONTEND::Answer answer() const { return m_answer; }

 private:
  ResultFileExistBox& m_box;
  QLineEdit* m_name;
  FRONTEND::Answer m_answer = FRONTEND::Answer::No;
};

// "Result folder path": the folder ("path", shortened in the middle to 240
// pixels), "change" and "ok".
class ResultFolderDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the model: reads the folder, asking for one when none is set.
  // frontend: the one that shows the dialog, which asks for the folder.
  ResultFolderDialog(ResultBox& box, FRONTEND::Frontend& frontend, QWidget* parent = nullptr);

 private:
  void showFolder();

  ResultBox& m_box;
  FRONTEND::Frontend& m_frontend;
  QLineEdit* m_path;
};
