// The side panel's two camera combos: the LAN search results (2208, searched
// when its list opens) and the stored camera list (2209, loaded on 1186),
// one of them shown as the stored list is enabled. Choosing an entry fills
// the current pane's sign-in fields through its session; a stored camera is
// signed in at once (after logging the pane out when connected).
#pragma once

#include <QObject>
#include <QString>
#include <utility>
#include <vector>

class FormContext;
class MessageRouter;

// Message of the form that (re)loads the stored camera list.
inline constexpr unsigned WM_LOAD_CAMERA_LIST = 1186;

class CameraCombos : public QObject {
  Q_OBJECT
 public:
  explicit CameraCombos(FormContext& form) : form_(form) {}
  // Registers 1186 and connects the panel's combos (the panel exists).
  void Register(MessageRouter& router);
  bool CameraListEnabled() const { return cameraListEnabled_; }

 private:
  void LoadCameraList();
  void OnLanSearchOpening();
  void OnLanEntryChosen(int index);
  void OnCameraListChosen(int index);

  FormContext& form_;
  bool cameraListEnabled_ = false;
  std::vector<std::pair<QString, int>> lanEntries_;  // address, port of combo 2208
};
