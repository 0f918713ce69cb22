// The About box the help command (2301, the pane menu's "Help") shows: the
// program's name and version, the keys it answers (ProgramKeys.h), where its
// settings, log files and recordings are, and its manual page. Modeless, in
// the look of the message boxes: the blue title band (drag it to move the
// box), the close button on it and an OK button; Escape and Enter close it.
// It is as large as its lines need.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

class FormContext;
class MButton;
class MessageRouter;

// The places the box tells.
struct AboutPlaces {
  QString settingsFile;     // the settings store's file
  QString logFolder;        // where the log files are written
  QString recordingFolder;  // where the current pane records
};

// The settings file and the data folder of this process, and the recording
// folder of |paneRecordingFolder| (empty: the data folder).
AboutPlaces ProgramPlaces(const QString& paneRecordingFolder = {});

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(const AboutPlaces& places, QWidget* parent = nullptr);
  // The text of each line shown, in order (tests).
  QStringList Lines() const { return lines_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void showEvent(QShowEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  QStringList lines_;
  MButton* close_;
  QPoint dragOffset_;
  bool dragging_ = false;
};

// The form's help command: shows the About box over the main window (one at
// a time; asking again brings the open one forward).
class HelpCommands {
 public:
  HelpCommands(FormContext& form, QWidget* owner) : form_(form), owner_(owner) {}
  void Register(MessageRouter& router);
  AboutBox* Box() const { return box_; }

 private:
  void ShowAbout();

  FormContext& form_;
  QWidget* owner_;
  QPointer<AboutBox> box_;
};
