// The form's commands that save what the current pane shows: a snapshot
// (2306) and the manual recording (2307: stopping it, or choosing video or
// slides in the choice box and starting it; an administrator's running
// motion detection is switched off first when the person agrees). The
// panes' menus forward their items to the same numbers.
#pragma once

class FormContext;
class MessageRouter;
class QWidget;

class RecordingCommands {
 public:
  // |boxParent| owns the choice box while it is shown.
  RecordingCommands(FormContext& form, QWidget* boxParent) : form_(form), boxParent_(boxParent) {}
  void Register(MessageRouter& router);

 private:
  void Snapshot();
  void ToggleRecording();

  FormContext& form_;
  QWidget* boxParent_;
};
