// The main window: carries the main form, owns the tray icon, asks before the
// program ends, hides into the tray when minimised.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include "form/MFormView.h"
#include "base/MRegistry.h"

class QSystemTrayIcon;
class QWindow;

// Process-wide values read from "Global" before any pane exists. A layout of
// more than sixteen panes reads as 4 x 4, a row or column count below 1 as
// 2 x 2 (both logged).
struct GlobalSettings {
  bool logEnabled = false;
  QString updateUrl;
  int columns = 2;
  int rows = 2;
  bool keepAspect = false;  // "View"\"KeepAspect": pictures keep their proportions
  int paneCount() const { return columns * rows; }
};

GlobalSettings ReadGlobalSettings(const SettingsKey& global);

// The process's start-up once its instance number is known: opens the
// "Global" and "Camera List" keys, reads the global settings, creates the
// data folder and names the instance's log file there.
GlobalSettings StartProcess(int instanceNumber);

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // |options| carries what tests replace (sound devices, the automatic
  // sign-in's pause); the layout and instance come from the other two.
  MainWindow(int instanceNumber, const GlobalSettings& settings, FormOptions options = {});
  ~MainWindow() override;

  int instanceNumber() const { return instance_; }
  const GlobalSettings& settings() const { return settings_; }
  // Restores the window, brings it to the front and moves it to the work
  // area's corner plus (50 k, 50 k).
  void BringForward(int k);
  // Ends the program after the user's yes to the closing question.
  bool AskToClose();
  MFormView* Form() const { return form_; }

 signals:
  // The window was minimised (true) or restored (false): panes pause or
  // resume their pictures.
  void videoPausedChanged(bool paused);

 protected:
  void closeEvent(QCloseEvent*) override;
  void changeEvent(QEvent*) override;
  // Enter and Escape are the main window's before any control sees them,
  // except in an open drop-down list, which answers them itself.
  bool eventFilter(QObject* watched, QEvent* e) override;
  // A wheel turned over the window outside every pane (and not taken by a
  // control) turns the current pane's wheel.
  void wheelEvent(QWheelEvent*) override;

 private:
  void CreateTrayIcon();
  void RestoreFromTray();
  void PlaceOnScreen();
  // The program's keyboard focus moved to window |now| (null: to another
  // program); the current pane hears when it enters or leaves this window.
  void OnFocusWindowChanged(QWindow* now);
  // This window and the pane it shows full screen count as one place.
  bool HoldsFocus(const QWindow* w) const;

  int instance_;
  MFormView* form_ = nullptr;  // the central widget
  GlobalSettings settings_;
  QPointer<QSystemTrayIcon> tray_;
  bool confirmedClose_ = false;
  bool forwardingKey_ = false;
  bool focusHere_ = false;  // the focus is in this window or its full-screen pane
  QPointer<QWindow> lastFocus_;  // the last window of ours that had the focus
};
