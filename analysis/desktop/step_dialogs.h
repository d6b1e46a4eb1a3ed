// The image-step dialogs: the threshold dialog of Make B\W, the
// erosion-method dialog of Remove noise, the re-touch editor and the display
// of the last calibration parameters. Each binds its widgets to a core model
// that holds every rule; the previews are written into the document by the
// model and show in the document's own window.
#pragma once

#include <QDialog>
#include <QImage>
#include <cstdint>
#include <vector>

#include "image/calib_param_model.h"

class ThresholdModel;
class ErosionMethodModel;
class RetouchModel;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

// A top-down copy of 32-bit pixels (0x00RRGGBB) as an image for the screen.
QImage PictureImage(const std::vector<std::uint32_t>& topDown, int width, int height);

// "Black and White Box": edit box "threshold", slider "thresholdSlider".
class MyBWTBBox : public QDialog {
  Q_OBJECT

 public:
  explicit MyBWTBBox(ThresholdModel& model, QWidget* parent = nullptr);

 private:
  void textEdited(const QString& text);
  void sliderMoved(int position);
  void sliderAction(int action);
  void editingFinished();
  // Cancel, Escape and closing the window restore the document's picture.
  void reject() override;

  ThresholdModel& m_model;
  QLineEdit* m_edit;
  QSlider* m_slider;
};

// "Choice of Erosion Method": drop-down list "method".
class CleaningBox : public QDialog {
  Q_OBJECT

 public:
  explicit CleaningBox(ErosionMethodModel& model, QWidget* parent = nullptr);

 private:
  void selectionChanged(int index);
  // Cancel, Escape and closing the window restore the document's picture.
  void reject() override;

  ErosionMethodModel& m_model;
  QComboBox* m_list;
};

// The picture control of the re-touch editor: shows the model's shown part
// stretched to the control and paints with the mouse.
class RetouchPicture : public QWidget {
  Q_OBJECT

 public:
  RetouchPicture(RetouchModel& model, QWidget* parent);
  // Rebuilds the screen copy after the model's picture changed.
  void pictureChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(class QMouseEvent* event) override;
  void mouseMoveEvent(class QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void paintWithButtons(class QMouseEvent* event, bool press);

  RetouchModel& m_model;
  QImage m_image;
  QPoint m_pointer{-1, -1};
};

// "Draw line": brush slider "brushSlider", display "brushSize", picture
// "picture", radio buttons "x1", "x2", "x4", "x8", buttons "up", "down",
// "left", "right".
class MyBoxDrawLine : public QDialog {
  Q_OBJECT

 public:
  // desktopWidth x desktopHeight sizes the dialog as the editor's rules say.
  MyBoxDrawLine(RetouchModel& model, int desktopWidth, int desktopHeight, QWidget* parent = nullptr);

  RetouchPicture* picture() const { return m_picture; }

 private:
  void brushAction(int action);
  void moveShown(void (RetouchModel::*step)(bool));

  RetouchModel& m_model;
  QSlider* m_slider;
  QLabel* m_size;
  RetouchPicture* m_picture;
};

// "Last calibration parameters": display boxes "threshold" and "method".
class CalibParamBox : public QDialog {
  Q_OBJECT

 public:
  CalibParamBox(const LastCalibParams& params, QWidget* parent = nullptr);
};
