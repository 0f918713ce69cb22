// The side panel's two camera combos: the LAN search results (2208, searched
// when its list opens) and the stored camera list (2209, loaded on 1186),
// one of them shown as the stored list is enabled. Choosing an entry fills
// the current pane's sign-in fields through its session; a stored camera is
// signed in at once (after logging the pane out when connected). The LAN
// list says "Searching…" while the search runs and "No cameras found" when
// none answered; both lists are as high as their rows.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

class FormContext;
class MessageRouter;

// Message of the form that (re)loads the stored camera list.
inline constexpr unsigned WM_LOAD_CAMERA_LIST = 1186;

// A camera that answered the LAN search: its address and control port.
struct LanCamera {
  QString address;
  int port = 0;
};
// Runs one LAN search (it blocks while the replies come in) and returns the
// first sixteen cameras that answered.
using LanSearchFunction = std::function<std::vector<LanCamera>()>;
// The process's LAN search (FormStartUp's LanSearch).
std::vector<LanCamera> SearchLan();

class CameraCombos : public QObject {
  Q_OBJECT
 public:
  explicit CameraCombos(FormContext& form) : form_(form) {}
  // Replaces the LAN search (tests); null keeps the process's.
  void SetLanSearch(LanSearchFunction search) { search_ = std::move(search); }
  // Registers 1186 and connects the panel's combos (the panel exists).
  void Register(MessageRouter& router);
  bool CameraListEnabled() const { return cameraListEnabled_; }

 private:
  void LoadCameraList();
  void OnLanSearchOpening();
  // Runs the search once the list shows "Searching…", then lists the
  // cameras that answered.
  void RunLanSearch();
  void OnLanEntryChosen(int index);
  void OnCameraListChosen(int index);

  FormContext& form_;
  bool cameraListEnabled_ = false;
  LanSearchFunction search_;
  bool searchQueued_ = false;
  std::vector<LanCamera> lanEntries_;  // the rows of combo 2208
};
