// The side panel's commands on the current pane: setup (2300), log out
// (2302), listening (2303), talking (2304) and the camera speaker's volume
// bar (2305). Each registers with the form's router; the buttons lock for
// their designed time after a click.
#pragma once

class FormContext;
class MessageRouter;

class PaneCommands {
 public:
  explicit PaneCommands(FormContext& form) : form_(form) {}
  void Register(MessageRouter& router);
  // The volume bar moved to |position| (saved).
  void OnVolumeMoved(int position);

 private:
  void ToggleListening();
  void ToggleTalking();

  FormContext& form_;
};
