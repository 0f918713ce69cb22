// What the main form's command handlers and services may use of the form:
// the current pane, whether sound is available, the side panel, and a
// refresh of the status strip and side panel after a change. MFormView
// provides it; handlers hold a reference for their whole life (they are
// members of the form). UI thread.
#pragma once

class MViewer;
class SidePanel;

class FormContext {
 public:
  virtual ~FormContext() = default;
  virtual MViewer* CurrentPane() const = 0;  // null while there is none
  virtual bool AudioReady() const = 0;
  virtual SidePanel* Panel() const = 0;
  virtual void RefreshStatus() = 0;
};
