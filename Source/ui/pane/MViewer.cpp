#include "pane/MViewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QWheelEvent>

#include "controls/MButton.h"
#include "controls/MInfoBox.h"
#include "controls/FitText.h"
#include "controls/MessageBoxes.h"
#include "controls/Skin.h"
#include "StringTable.h"
#include "TopMost.h"
#include "base/base.h"

namespace {

const QColor kPanelGreen(165, 198, 99);
const QColor kFrameGreen(86, 140, 0);
const QColor kBannerBlue(0, 0, 255);
constexpr int kNarrowWidth = 320;
// The motion and sensor labels at the pane's bottom right.
constexpr QSize kAlarmLabelSize{59, 15};
const QColor kAlarmGreen(0, 225, 0);
constexpr int kBoxMilliseconds = 5000;

QFont PanelFont(int pixelHeight) {
  QFont f = skin::BoldFont();
  f.setPixelSize(pixelHeight);
  return f;
}

// The sign-in panel paints its green background, the white edit boxes and
// their captions.
class SignInPanel : public QWidget {
 public:
  explicit SignInPanel(QWidget* parent) : QWidget(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), kPanelGreen);
    p.setFont(PanelFont(13));
    const bool narrow = width() < kNarrowWidth;
    const int right = narrow ? 227 : 250;
    const char* captions[] = {"Url:", "Id:", "Pw:", "Alias:"};
    for (int i = 0; i < 4; ++i) {
      const int top = 20 + 30 * i;
      p.setPen(kFrameGreen);
      p.setBrush(Qt::white);
      p.drawRect(QRect(QPoint(49, top - 1), QPoint(right, top + 20)));
      if (i == 0) p.drawRect(QRect(QPoint(narrow ? 236 : 259, top - 1), QPoint(narrow ? 267 : 310, top + 20)));
      p.setPen(Qt::white);
      // A caption too wide for its box steps down in size, never cut.
      const QRect box(i == 3 ? 0 : 10, top, i == 3 ? 40 : 30, 20);
      const QString caption = QString::fromLatin1(captions[i]);
      p.setFont(fit::FittingFont(PanelFont(13), caption, box.width()));
      p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, caption);
    }
  }
};

QLineEdit* MakeEdit(QWidget* parent, int id, int maxLength) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::number(id));
  e->setMaxLength(maxLength);
  e->setFrame(false);
  e->setFont(PanelFont(13));
  return e;
}

QCheckBox* MakeBox(QWidget* parent, int id, const char* text) {
  auto* b = new QCheckBox(QString::fromLatin1(text), parent);
  b->setObjectName(QString::number(id));
  b->setFont(PanelFont(11));
  b->setStyleSheet(QStringLiteral("color: white"));
  return b;
}

}  // namespace

MViewer::MViewer(QWidget* parent, QObject* form, int slot, int settingsIndex, const QRect& cellRect,
                 const SessionOptions& options)
    : QWidget(parent), slot_(slot), form_(form), view_(new VideoView(this)) {
  setGeometry(cellRect);
  setAttribute(Qt::WA_OpaquePaintEvent);
  surface_ = std::make_unique<PaneSurface>(view_);
  session_ = std::make_unique<ViewerSession>(slot, settingsIndex, surface_.get(), this, this, options);
  connect(session_.get(), &ViewerSession::stateChanged, this, &MViewer::OnStateChanged);
  connect(session_.get(), &ViewerSession::fieldsChanged, this, &MViewer::ShowFields);
  connect(session_.get(), &ViewerSession::alarmLabelsChanged, this, &MViewer::ShowAlarmLabels);
  view_->hide();
  BuildPanel();
  for (QLabel** label : {&motionLabel_, &sensorLabel_}) {
    *label = new QLabel(this);
    (*label)->setFixedSize(kAlarmLabelSize);
    (*label)->setAlignment(Qt::AlignCenter);
    (*label)->setFont(PanelFont(11));
    (*label)->setAutoFillBackground(true);
    (*label)->hide();
  }
  ShowSignInPanel(true);
  if (ReadSettingDword(session_->Settings(), "Zoom", "Enable", 0) != 0) {
    PostToParent(WM_PANE_ENLARGE, slot_, reinterpret_cast<std::intptr_t>(this));
  }
}

MViewer::~MViewer() {
  CloseCurrentBox();
  session_->LogOut();
  session_.reset();  // the render stops before the surface and view go
}

void MViewer::BuildPanel() {
  panel_ = new SignInPanel(this);
  address_ = MakeEdit(panel_, kIdAddressEdit, 259);
  port_ = MakeEdit(panel_, kIdPortEdit, 7);
  port_->setValidator(new QIntValidator(0, 9999999, port_));
  user_ = MakeEdit(panel_, kIdUserEdit, 31);
  password_ = MakeEdit(panel_, kIdPasswordEdit, 31);
  password_->setEchoMode(QLineEdit::Password);
  alias_ = MakeEdit(panel_, kIdAliasEdit, 31);
  mjpeg_ = MakeBox(panel_, kIdMjpegBox, "Use Motion JPEG");
  saveId_ = MakeBox(panel_, kIdSaveIdBox, "Save ID on this computer");
  autoSignIn_ = MakeBox(panel_, kIdAutoSignInBox, "Signin Automatically");
  signIn_ = MButton::Labelled(panel_, kIdSignInButton, 230, 170, QSize(72, 24),
                              QString::fromUtf8(UiString(UiText::kSignIn)));

  ShowFields();

  connect(signIn_, &MButton::clicked, this, &MViewer::OnSignInButton);
  // What the user types or ticks goes into the session at once.
  for (QLineEdit* e : {address_, port_, user_, password_, alias_}) {
    connect(e, &QLineEdit::textChanged, this, &MViewer::TakeEdits);
  }
  for (QCheckBox* b : {mjpeg_, saveId_, autoSignIn_}) connect(b, &QCheckBox::toggled, this, &MViewer::TakeEdits);
  connect(saveId_, &QCheckBox::toggled, this, &MViewer::OnSaveIdToggled);
  connect(autoSignIn_, &QCheckBox::toggled, this, &MViewer::OnAutoSignInToggled);
  for (QLineEdit* e : {address_, port_, user_, password_, alias_}) {
    connect(e, &QLineEdit::returnPressed, this, &MViewer::OnSignInButton);
  }
  LayoutPanel();
}

void MViewer::LayoutPanel() {
  panel_->setGeometry(rect());
  view_->setGeometry(rect());
  const bool narrow = width() < kNarrowWidth;
  const int right = narrow ? 227 : 250;
  address_->setGeometry(QRect(QPoint(50, 20), QPoint(right - 1, 39)));
  port_->setGeometry(narrow ? 237 : 260, 20, narrow ? 30 : 50, 20);
  user_->setGeometry(QRect(QPoint(50, 50), QPoint(right - 1, 69)));
  password_->setGeometry(QRect(QPoint(50, 80), QPoint(right - 1, 99)));
  alias_->setGeometry(QRect(QPoint(50, 110), QPoint(right - 1, 129)));
  mjpeg_->setGeometry(50, 140, 170, 20);
  saveId_->setGeometry(50, 165, 170, 20);
  autoSignIn_->setGeometry(50, 185, 130, 20);
  // A caption too wide for its box in the installed font steps down in size.
  for (QCheckBox* b : {mjpeg_, saveId_, autoSignIn_}) fit::FitCaption(b, PanelFont(11), b->text());
  signIn_->move(narrow ? 200 : 230, narrow ? 185 : 170);
  if (motionLabel_ != nullptr) {
    motionLabel_->move(width() - 60, height() - 16);
    sensorLabel_->move(width() - 120, height() - 16);
  }
}

void MViewer::resizeEvent(QResizeEvent*) {
  LayoutPanel();
  steering_.Resize(width(), height());
}

QWidget* MViewer::Control(int id) const {
  switch (id) {
    case kIdSignInButton: return signIn_;
    case kIdUserEdit: return user_;
    case kIdPasswordEdit: return password_;
    case kIdSaveIdBox: return saveId_;
    case kIdAddressEdit: return address_;
    case kIdPortEdit: return port_;
    case kIdAliasEdit: return alias_;
    case kIdAutoSignInBox: return autoSignIn_;
    case kIdMjpegBox: return mjpeg_;
    default: return nullptr;
  }
}

void MViewer::ShowFields() {
  const SignInFields f = session_->Fields();
  // Showing the session's values is not the user changing them.
  showingFields_ = true;
  const QSignalBlocker b1(mjpeg_), b2(saveId_), b3(autoSignIn_);
  address_->setText(f.url);
  port_->setText(f.port);
  user_->setText(f.id);
  password_->setText(f.password);
  alias_->setText(f.alias);
  mjpeg_->setChecked(f.useMjpeg);
  saveId_->setChecked(f.saveId);
  autoSignIn_->setChecked(f.autoSignIn);
  autoSignIn_->setVisible(f.saveId);
  showingFields_ = false;
}

void MViewer::TakeEdits() {
  if (showingFields_) return;
  SignInFields f;
  f.url = address_->text();
  f.port = port_->text();
  f.id = user_->text();
  f.password = password_->text();
  f.alias = alias_->text();
  f.useMjpeg = mjpeg_->isChecked();
  f.saveId = saveId_->isChecked();
  f.autoSignIn = saveId_->isChecked() && autoSignIn_->isChecked();
  session_->EditFields(f);
}

int MViewer::SignIn() { return session_->SignIn(); }

void MViewer::OnSignInButton() {
  if (session_->State() != kPaneIdle) return;
  if (!selected_) PostToParent(WM_PANE_SELECT, slot_, reinterpret_cast<std::intptr_t>(this));
  SignIn();
}

void MViewer::OnSaveIdToggled(bool on) {
  if (!on) {
    WriteSettingString(session_->Settings(), settings::kSigninId, QString());
    autoSignIn_->setChecked(false);
    WriteSettingString(session_->Settings(), settings::kSigninPw, QString());
  }
  autoSignIn_->setVisible(on);
}

void MViewer::OnAutoSignInToggled(bool on) {
  if (!on) WriteSettingString(session_->Settings(), settings::kSigninPw, QString());
}

void MViewer::SetSelected(bool on) {
  selected_ = on;
  session_->Audio().SetSelected(on);
  update();
}

void MViewer::OnStateChanged(int state) {
  view_->setVisible(state >= kPaneLive);
  ShowAlarmLabels();
  update();
}

// An administrator's live pane shows its motion and sensor counts while the
// switches are on; the motion count turns red while an alarm clip records,
// the sensor count while the sensor is active.
void MViewer::ShowAlarmLabels() {
  const PaneCameraControls& c = session_->Controls();
  const bool shown = session_->Group() == 0 && session_->State() >= kPaneLive;
  auto paint = [](QLabel* label, bool show, const QString& text, bool alarm) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, kAlarmGreen);
    pal.setColor(QPalette::WindowText, alarm ? QColor(255, 0, 0) : QColor(Qt::white));
    label->setPalette(pal);
    label->setText(text);
    label->setVisible(show);
    if (show) label->raise();
  };
  paint(motionLabel_, shown && c.MotionOn(), QStringLiteral("MD:%1").arg(c.MotionCount()),
        session_->Alarms().AlarmRecording());
  paint(sensorLabel_, shown && c.SensorOn(), QStringLiteral("SD:%1").arg(c.SensorCount()), c.SensorActive());
}

void MViewer::OpenViewerBox(int messageId, int kind, const QString& detail) {
  CloseCurrentBox();
  const int title = kind == kBoxError ? kTitleError : kind == kBoxWarning ? kTitleWarning : kTitleNotice;
  const int icon = kind == kBoxError ? kIconError : kind == kBoxWarning ? kIconWarning : kIconNotice;
  auto* box = new MInfoBox(title, messageId, icon, detail);
  currentBox_ = box;
  box->ShowModeless(kBoxMilliseconds, this);
}

void MViewer::ShowViewerBox(int messageId, int kind, const QString& detail) { ShowMessage(messageId, kind, detail); }

void MViewer::CloseCurrentBox() {
  if (currentBox_) currentBox_->close();
  currentBox_ = nullptr;
}

void MViewer::RepaintPane() { update(); }

void MViewer::ShowSignInPanel(bool show) {
  // The keys stay with this pane when its panel hides (live start): left to
  // itself the focus would move on to the next pane's address edit and make
  // that pane current.
  if (!show && panel_->isAncestorOf(QApplication::focusWidget())) setFocus(Qt::OtherFocusReason);
  panel_->setVisible(show);
  if (show) view_->hide();
  update();
}

void MViewer::PostToParent(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  PostWindowMessage(form_.data(), message, wParam, lParam);
}

// Restored from the task bar or the tray, in front, its task bar entry
// flashing where the desktop offers that, and on top until EndActivation.
void MViewer::ActivateMainWindow() {
  QWidget* top = window();
  if (top->isMinimized() || !top->isVisible()) top->showNormal();
  top->raise();
  top->activateWindow();
  QApplication::alert(top);
  if (!top->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
    // Changing a window flag hides a shown window; show it again in place.
    top->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    top->show();
  }
}

// The user's own always-on-top choice stays.
void MViewer::EndActivation() {
  QWidget* top = window();
  if (AlwaysOnTop() || !top->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return;
  const bool visible = top->isVisible();
  top->setWindowFlag(Qt::WindowStaysOnTopHint, false);
  if (visible) top->show();
}

void MViewer::LeaveFullScreen() {
  if (fullScreen_) PostToParent(WM_PANE_FULLSCREEN, slot_, reinterpret_cast<std::intptr_t>(this));
}

void MViewer::MainFocusIn(bool fromOutside) {
  if (!fullScreen_ || !fromOutside) return;
  raise();
  activateWindow();
}

void MViewer::MainFocusOut() { LeaveFullScreen(); }

void MViewer::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  // The banner stays up through the reconnect thread's sign-in attempts
  // (states 2 to 5), not only between them.
  const int state = session_->State();
  if (state == kPaneReconnecting || (session_->Reconnecting() && state < kPaneLive)) {
    p.setFont(PanelFont(15));
    p.setPen(kBannerBlue);
    p.drawText(rect(), Qt::AlignCenter, session_->Banner());
  }
}

void MViewer::keyPressEvent(QKeyEvent* e) {
  if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return;  // other keys swallowed
  if (session_->State() == kPaneIdle) {
    SignIn();
  } else if (session_->State() > 4) {
    PostToParent(WM_PANE_FULLSCREEN, slot_, reinterpret_cast<std::intptr_t>(this));
  }
}

// The first click on another pane makes it current; a press on the current
// pane begins steering its camera.
void MViewer::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  if (!selected_) {
    PostToParent(WM_PANE_SELECT, slot_, reinterpret_cast<std::intptr_t>(this));
  } else if (session_->Controls().CanSteer()) {
    steering_.Press(e->position().toPoint().x(), e->position().toPoint().y());
  }
}

bool MViewer::MouseSteers() const { return session_->Info().model != kModelFixed; }

void MViewer::Steer(const std::optional<PtzStep>& step) {
  if (step) session_->Controls().MovePtz(*step);
}

void MViewer::mouseMoveEvent(QMouseEvent* e) {
  if (!steering_.Dragging() || !MouseSteers()) return;
  Steer(steering_.Move(e->position().toPoint().x(), e->position().toPoint().y()));
}

void MViewer::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  if (MouseSteers()) {
    Steer(steering_.Release());
  } else {
    steering_.Cancel();
  }
}

// The wheel zooms a pan/tilt/zoom camera.
void MViewer::wheelEvent(QWheelEvent* e) {
  if (session_->Info().model != kModelPanTilt) return;
  const int delta = e->angleDelta().y();
  if (delta > 0) session_->Controls().MovePtz(0, 0, 1, 0);
  if (delta < 0) session_->Controls().MovePtz(0, 0, -1, 0);
}

PaneMenuModel MViewer::MenuModel() const {
  PaneMenuInputs in;
  in.state = session_->State();
  in.group = session_->Group();
  in.model = session_->Info().model;
  in.codec = session_->Format().codec;
  in.micOn = session_->Audio().MicOn();
  in.speakerOn = session_->Audio().SpeakerOn();
  const PaneCameraControls& c = session_->Controls();
  in.flashOn = c.FlashOn();
  in.motionOn = c.MotionOn();
  in.mirrored = c.Mirrored();
  in.flipped = c.Flipped();
  in.recording = session_->Recording().Recording() || session_->Recording().ReservationRecording();
  in.enlarged = enlarged_;
  in.fullScreen = fullScreen_;
  in.alwaysOnTop = AlwaysOnTop();
  return BuildPaneMenu(in);
}

namespace {

void AddItems(QMenu* menu, const std::vector<PaneMenuItem>& items) {
  for (const PaneMenuItem& item : items) {
    if (item.IsSeparator()) {
      menu->addSeparator();
    } else if (!item.children.empty()) {
      AddItems(menu->addMenu(QString::fromStdString(item.text)), item.children);
    } else {
      QAction* a = menu->addAction(QString::fromStdString(item.text));
      a->setData(item.id);
      a->setEnabled(item.enabled);
      a->setCheckable(item.checked);
      a->setChecked(item.checked);
    }
  }
}

}  // namespace

void MViewer::contextMenuEvent(QContextMenuEvent* e) {
  const PaneMenuModel model = MenuModel();
  if (model.popup == PanePopup::None) return;
  if (model.selectsPane) PostToParent(WM_PANE_SELECT, slot_, reinterpret_cast<std::intptr_t>(this));
  QMenu menu(this);
  menu.setObjectName(model.popup == PanePopup::Admin  ? QStringLiteral("ADMIN")
                     : model.popup == PanePopup::User ? QStringLiteral("USER")
                                                      : QStringLiteral("RECONNECT"));
  AddItems(&menu, model.items);
  QAction* chosen = menu.exec(e->globalPos());
  if (chosen != nullptr) RunMenuCommand(chosen->data().toInt());
}

void MViewer::RunMenuCommand(int id) {
  for (const PaneMenuAction& a : PaneMenuActions(id, fullScreen_)) {
    switch (a.kind) {
      case PaneMenuAction::Forward: PostToParent(WM_PANE_COMMAND, static_cast<std::uintptr_t>(a.number), 0); break;
      case PaneMenuAction::PostToForm:
        PostToParent(static_cast<unsigned>(a.number), slot_, reinterpret_cast<std::intptr_t>(this));
        break;
      case PaneMenuAction::ToggleTopMost: ToggleAlwaysOnTop(this); break;
      case PaneMenuAction::LogOut: session_->LogOut(); break;
    }
  }
}
