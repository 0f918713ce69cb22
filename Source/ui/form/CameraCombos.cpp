#include "form/CameraCombos.h"

#include "MessageRouter.h"
#include "StringTable.h"
#include "base/CAMManager.h"
#include "base/MRegistry.h"
#include "base/base.h"
#include "form/FormContext.h"
#include "form/FormStartUp.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"

namespace {

QByteArray ListEntry(int index) {
  return QByteArray(settings::kListPrefix) + QByteArray::number(index).rightJustified(2, '0');
}

}  // namespace

std::vector<LanCamera> SearchLan() {
  CAMManager& search = LanSearch();
  search.SearchCameras();
  // The first sixteen entries that hold an address.
  std::vector<LanCamera> found;
  for (int i = 0; i < 16; ++i) {
    const SearchEntry& e = search.Results().At(i);
    if (!e.IsFree()) found.push_back({QString::fromStdString(e.Address()), e.Port()});
  }
  return found;
}

void CameraCombos::Register(MessageRouter& router) {
  router.Register(WM_LOAD_CAMERA_LIST, [this](WindowMessageEvent&) { LoadCameraList(); });
  SidePanel* panel = form_.Panel();
  // Both lists are only as high as their rows.
  panel->LanSearchCombo()->SetFitToRows(true);
  panel->CameraListCombo()->SetFitToRows(true);
  // The LAN search runs as the list opens.
  connect(panel->LanSearchCombo(), &MComboBox::opened, this, &CameraCombos::OnLanSearchOpening);
  connect(panel->LanSearchCombo(), &MComboBox::chosen, this, [this](int, int index) { OnLanEntryChosen(index); });
  connect(panel->CameraListCombo(), &MComboBox::chosen, this, [this](int, int index) { OnCameraListChosen(index); });
}

void CameraCombos::LoadCameraList() {
  SettingsKey list;
  OpenSettingsKey(QString::fromUtf8(settings::kCameraListKey), &list);
  cameraListEnabled_ = ReadSettingDword(list, settings::kListConfEnable) != 0;
  SidePanel* panel = form_.Panel();
  panel->SetCameraListEnabled(cameraListEnabled_);
  form_.RefreshStatus();
  if (!cameraListEnabled_) return;
  MComboBox* combo = panel->CameraListCombo();
  combo->RemoveAll();
  const int count = ReadSettingDword(list, settings::kListConfCount);
  for (int i = 0; i < count; ++i) {
    QString name;
    ReadSettingString(list, ListEntry(i).constData(), settings::kListName,
                      QString::fromUtf8(settings::kListNameDefault), 260, &name);
    combo->AddString(name);
  }
  combo->SetCurSel(-1);
}

void CameraCombos::OnCameraListChosen(int index) {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr || index < 0) return;
  ViewerSession& session = pane->Session();
  if (session.State() >= kPaneControlOpen) pane->LogOut();
  SettingsKey list;
  OpenSettingsKey(QString::fromUtf8(settings::kCameraListKey), &list);
  const QByteArray entry = ListEntry(index);
  auto text = [&](const char* value, const char* fallback, int capacity) {
    QString out;
    ReadSettingString(list, entry.constData(), value, QString::fromUtf8(fallback), capacity, &out);
    return out;
  };
  const std::string password = UnscrambleText(text(settings::kListPw, "", 260).toStdString()).substr(0, 32);
  SignInFields f = session.Fields();
  f.alias = text(settings::kListName, settings::kListNameDefault, 32).left(31);
  f.url = text(settings::kListUrl, "", 260).left(259);
  f.port = text(settings::kListPort, "", 8).left(7);
  f.id = text(settings::kListId, "", 32).left(31);
  f.password = QString::fromLocal8Bit(password.c_str()).left(31);
  f.useMjpeg = text(settings::kListMjpeg, settings::kListMjpegDefault, 8) == QLatin1String("Yes");
  session.SetFields(f);
  pane->SignIn();
}

void CameraCombos::OnLanSearchOpening() {
  MComboBox* combo = form_.Panel()->LanSearchCombo();
  combo->RemoveAll();
  lanEntries_.clear();
  // The search holds the UI thread while the replies come in: the list
  // opens first and says so, and the search runs once it shows.
  combo->List()->AddNote(QString::fromUtf8(UiString(UiText::kLanSearching)));
  if (searchQueued_) return;  // opened again before the search began
  searchQueued_ = true;
  QMetaObject::invokeMethod(this, &CameraCombos::RunLanSearch, Qt::QueuedConnection);
}

void CameraCombos::RunLanSearch() {
  searchQueued_ = false;
  MComboBox* combo = form_.Panel()->LanSearchCombo();
  if (!combo->IsOpen()) return;  // closed before the search began
  combo->List()->repaint();
  lanEntries_ = search_ ? search_() : SearchLan();
  combo->RemoveAll();
  for (const LanCamera& c : lanEntries_) combo->AddString(QStringLiteral("%1:%2").arg(c.address).arg(c.port));
  if (lanEntries_.empty()) combo->List()->AddNote(QString::fromUtf8(UiString(UiText::kLanNoCameras)));
}

void CameraCombos::OnLanEntryChosen(int index) {
  MViewer* pane = form_.CurrentPane();
  if (pane == nullptr || index < 0 || index >= static_cast<int>(lanEntries_.size())) return;
  SignInFields f = pane->Session().Fields();
  f.url = lanEntries_[static_cast<std::size_t>(index)].address;
  f.port = QString::number(lanEntries_[static_cast<std::size_t>(index)].port);
  pane->Session().SetFields(f);
}
