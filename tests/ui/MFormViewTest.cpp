// The main form without a camera: grid geometry, the title strip, the side
// panel by pane state, the audio rules of pane selection, the no-sound box,
// the main window's Enter and Escape keys, hostile settings files, and what
// a sign-in leaves in the log.
#include <QtTest>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RecordingPresenter.h"
#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "form/MFormView.h"
#include "controls/MInfoBox.h"
#include "pane/MViewer.h"
#include "MainWindow.h"
#include "controls/MessageBoxes.h"
#include "form/SidePanel.h"
#include "base/MRegistry.h"
#include "base/base.h"

namespace {


// The panes' link without a camera, shared by every form of the tests that
// drive panes through their states.
FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

FormOptions Options(AudioDeviceFactory* audio, int columns = 2, int rows = 2, PaneLink* link = nullptr) {
  FormOptions o;
  o.columns = columns;
  o.rows = rows;
  o.audio = audio;
  o.autoSignInStep = std::chrono::milliseconds(1);
  o.workArea = QSize(1920, 1080);
  o.pane.link = link;
  return o;
}

// A form whose panes sign in over the fake link.
FormOptions FakeOptions(AudioDeviceFactory* audio, int columns = 2, int rows = 2) {
  return Options(audio, columns, rows, &Fake());
}

// Signs pane |i| in over the fake link and takes it to |state| with the
// camera's replies; while reconnecting, the render runs again when |render|
// (the title shows only then). The pane's render runs from state 5 on.
// The pane holding |w|, or -1.
int PaneOf(MFormView& form, const QWidget* w) {
  for (; w != nullptr; w = w->parentWidget()) {
    for (int i = 0; i < form.PaneCount(); ++i) {
      if (w == form.Pane(i)) return i;
    }
  }
  return -1;
}

void Drive(MFormView& form, int i, int state, int group = 0, int codec = 2, int model = 0, bool render = true) {
  ViewerSession& s = form.Pane(i)->Session();
  LoginInfo info{};
  info.model = model;
  QCOMPARE(DriveSession(s, Fake(), state, group, info, codec, render), state);
  QCoreApplication::processEvents();
}

// What a user types into pane |i|'s alias and address edits.
void TypeAliasAndAddress(MFormView& form, int i, const QString& alias, const QString& address) {
  SignInFields f = form.Pane(i)->Session().Fields();
  f.alias = alias;
  f.url = address;
  form.Pane(i)->Session().SetFields(f);
}

bool Shown(QWidget* w) { return w != nullptr && !w->isHidden(); }

int BoxesWithText(int messageId) {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<MInfoBox*>(w);
    n += box != nullptr && box->isVisible() && box->message() == StringText(messageId) ? 1 : 0;
  }
  return n;
}

// A listening socket on 127.0.0.1 that tells whether anything connected to
// it. The kernel completes a connection before connect() returns, so once a
// sign-in attempt is over a connection is already waiting here.
class PortTrap {
 public:
  explicit PortTrap(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 4) == 0 &&
          ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0;
    port_ = ntohs(a.sin_port);
  }
  ~PortTrap() { ::close(fd_); }
  bool Listening() const { return ok_; }
  int Port() const { return port_; }
  bool Reached() {
    const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return false;
    ::close(c);
    return true;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  bool ok_ = false;
};

// The process's log file, emptied; Text() reads it back (UTF-16LE).
class LogFile {
 public:
  explicit LogFile(const QString& dir) {
    path_ = QString::fromStdString(SetLogFileName(0, dir.toStdString()));
    SetLogEnabled(true);
    QFile(path_).resize(0);
  }
  ~LogFile() { SetLogEnabled(false); }
  QString Text() const {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.readAll();
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
  }

 private:
  QString path_;
};

}  // namespace

class MFormViewTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  void init() {
    boxes_.shown.clear();
    boxes_.answer = kIdNo;
  }

  void gridGeometry_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QSize>("cell");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<int>("titleWidth");
    const QSize big(1920, 1080), small(1024, 768);
    QTest::newRow("2x2") << 2 << 2 << big << 2 << 2 << QSize(320, 240) << QSize(821, 557) << 140;
    QTest::newRow("3x3") << 3 << 3 << big << 3 << 3 << QSize(320, 240) << QSize(1146, 812) << 140;
    QTest::newRow("4x4") << 4 << 4 << big << 4 << 4 << QSize(320, 240) << QSize(1471, 1067) << 140;
    QTest::newRow("5x4 becomes 4x4") << 5 << 4 << big << 4 << 4 << QSize(320, 240) << QSize(1471, 1067) << 140;
    QTest::newRow("no rows becomes 2x2") << 3 << 0 << big << 2 << 2 << QSize(320, 240) << QSize(821, 557) << 140;
    // (1024 - 186) / 3, (768 - 92) / 3
    QTest::newRow("3x3 on a small screen") << 3 << 3 << small << 3 << 3 << QSize(279, 225) << QSize(1023, 767) << 120;
    QTest::newRow("2x2 fits a small screen") << 2 << 2 << small << 2 << 2 << QSize(320, 240) << QSize(821, 557) << 140;
  }
  void gridGeometry() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(QSize, area);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QSize, cell);
    QFETCH(QSize, client);
    QFETCH(int, titleWidth);
    FormGeometry g = FormGeometry::ForLayout(x, y);
    g.FitTo(area);
    QCOMPARE(g.columns, columns);
    QCOMPARE(g.rows, rows);
    QCOMPARE(QSize(g.cellWidth, g.cellHeight), cell);
    QCOMPARE(g.ClientSize(), client);
    QCOMPARE(g.TitleWidth(), titleWidth);
    const int last = columns * rows - 1;
    QCOMPARE(g.Cell(last).topLeft(), QPoint(8 + (columns - 1) * (cell.width() + 5), 44 + (rows - 1) * (cell.height() + 15)));
    QCOMPARE(g.SidePanelLeft(), g.Cell(last).right() + 6);

    // The stored layout reads the same way, and the form builds that grid.
    SettingsKey global;
    OpenSettingsKey(QStringLiteral("Global"), &global);
    WriteSettingDword(global, settings::kLayoutX, x);
    WriteSettingDword(global, settings::kLayoutY, y);
    const GlobalSettings read = ReadGlobalSettings(global);
    QCOMPARE(read.columns, columns);
    QCOMPARE(read.rows, rows);
    FakeAudioFactory audio;
    FormOptions o = Options(&audio, x, y);
    o.workArea = area;
    MFormView form(nullptr, o);
    QVERIFY(form.Created());
    QCOMPARE(form.PaneCount(), columns * rows);
    QCOMPARE(form.Pane(last)->geometry(), g.Cell(last));
  }

  void titleStrip_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("render");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text");
    QTest::newRow("idle") << 0 << false << "door" << "10.0.0.9" << false << "";
    QTest::newRow("signing in, no picture yet") << 3 << false << "door" << "10.0.0.9" << false << "";
    QTest::newRow("live with alias") << 6 << true << "door" << "10.0.0.9" << true << "door";
    QTest::newRow("alias 0 shows the address") << 6 << true << "0" << "10.0.0.9" << true << "10.0.0.9";
    QTest::newRow("no alias, no address") << 6 << true << "" << "" << true << "0";
    QTest::newRow("reconnecting with a running render") << 1 << true << "" << "10.0.0.7" << true << "10.0.0.7";
  }
  void titleStrip() {
    QFETCH(int, state);
    QFETCH(bool, render);
    QFETCH(QString, alias);
    QFETCH(QString, address);
    QFETCH(bool, shown);
    QFETCH(QString, text);
    FakeAudioFactory audio;
    MFormView form(nullptr, FakeOptions(&audio));
    for (int i : {0, 1}) {
      TypeAliasAndAddress(form, i, alias, address);
      Drive(form, i, state, 0, 2, 0, render);
    }
    QTRY_COMPARE(form.CurrentIndex(), 0);
    QTest::qWait(10);
    for (int i : {0, 1}) {
      QLabel* title = form.Strip()->Title(i);
      QCOMPARE(Shown(title), shown);
      QCOMPARE(form.Strip()->TitleText(i), text);
      QCOMPARE(title->geometry(), QRect(form.CellRect(i).left(), form.CellRect(i).top() - 14, 140, 14));
      // The current pane's title is light green, the others white.
      QVERIFY(title->styleSheet().contains(i == 0 ? "#7dff7e" : "#ffffff"));
    }
    // The format labels below the current pane.
    QCOMPARE(Shown(form.Strip()->CodecLabel()), state != 0);
    if (state >= kPaneVideoOpen || render) {  // the camera told the picture's format
      QCOMPARE(form.Strip()->CodecLabel()->text(), QStringLiteral("H.264"));
      QCOMPARE(form.Strip()->ResolutionLabel()->text(), QStringLiteral("VGA"));
    }
    for (int i : {0, 1}) form.Pane(i)->LogOut();
  }

  void longTitleIsShortenedToItsLabel() {
    FakeAudioFactory audio;
    MFormView form(nullptr, FakeOptions(&audio));
    const QString alias = QString(31, QLatin1Char('W'));
    TypeAliasAndAddress(form, 0, alias, QString());
    Drive(form, 0, 6);
    QLabel* title = form.Strip()->Title(0);
    QCOMPARE(form.Strip()->TitleText(0), alias);
    QVERIFY(title->fontMetrics().horizontalAdvance(title->text()) <= title->width());
    form.Pane(0)->LogOut();
    QTRY_VERIFY(title->isHidden());
  }

  void statusLabels_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("mic");
    QTest::addColumn<bool>("spk");
    QTest::addColumn<bool>("micShown");
    QTest::addColumn<bool>("spkShown");
    QTest::newRow("live, both") << 6 << 0 << true << true << true << true;
    QTest::newRow("live, group 1 talks not") << 6 << 1 << true << true << true << false;
    QTest::newRow("video open only") << 5 << 0 << true << true << false << false;
    QTest::newRow("live, switches off") << 8 << 0 << false << false << false << false;
  }
  void statusLabels() {
    QFETCH(int, state);
    QFETCH(int, group);
    QFETCH(bool, mic);
    QFETCH(bool, spk);
    QFETCH(bool, micShown);
    QFETCH(bool, spkShown);
    FakeAudioFactory audio;
    MFormView form(nullptr, FakeOptions(&audio));
    Drive(form, 0, state, group);
    // The user's switches, through the real calls (a group 1 user cannot talk).
    PaneAudioVideo& sound = form.Pane(0)->Session().Audio();
    sound.SetMic(mic ? 1 : 0, 0);
    sound.SetSpeaker(spk ? 1 : 0, 0);
    PostWindowMessage(&form, WM_PANE_STATUS, 0, 0);
    QCoreApplication::processEvents();
    QCOMPARE(Shown(form.Strip()->StatusLabel(StatusStrip::kMic)), micShown);
    QCOMPARE(Shown(form.Strip()->StatusLabel(StatusStrip::kSpeaker)), spkShown);
    for (auto s : {StatusStrip::kMotion, StatusStrip::kFlash, StatusStrip::kRecording}) {
      QVERIFY(!Shown(form.Strip()->StatusLabel(s)));
    }
    form.Pane(0)->LogOut();
  }

  void sidePanelFollowsTheCurrentPane_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("codec");
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("talking");
    QTest::addColumn<bool>("audioReady");
    QTest::addColumn<QList<int>>("shown");
    const QList<int> all{kIdSetupButton, kIdLogOutButton, kIdMicButton, kIdSpeakerButton};
    QTest::newRow("idle") << 0 << 0 << 2 << 0 << false << true << QList<int>{kIdSetupButton};
    QTest::newRow("signing in") << 3 << 0 << 2 << 0 << false << true << QList<int>{kIdLogOutButton};
    QTest::newRow("reconnecting") << 1 << 0 << 2 << 0 << false << true << QList<int>{kIdLogOutButton};
    QTest::newRow("live admin H.264") << 6 << 0 << 2 << 0 << false << true << all;
    QTest::newRow("live admin talking") << 8 << 0 << 1 << 0 << true << true << (all + QList<int>{kIdVolumeBar});
    QTest::newRow("live group 1") << 6 << 1 << 2 << 0 << false << true
                                  << QList<int>{kIdSetupButton, kIdLogOutButton, kIdMicButton};
    QTest::newRow("live restricted user") << 6 << 3 << 2 << 0 << false << true
                                          << QList<int>{kIdSetupButton, kIdLogOutButton, kIdMicButton};
    QTest::newRow("live MJPEG has no sound") << 6 << 0 << 0 << 0 << false << true
                                             << QList<int>{kIdSetupButton, kIdLogOutButton};
    QTest::newRow("live fixed model has no sound") << 6 << 0 << 2 << kModelFixed << false << true
                                                   << QList<int>{kIdSetupButton, kIdLogOutButton};
    QTest::newRow("live without a sound device") << 6 << 0 << 2 << 0 << true << false
                                                 << QList<int>{kIdSetupButton, kIdLogOutButton};
  }
  void sidePanelFollowsTheCurrentPane() {
    QFETCH(int, state);
    QFETCH(int, group);
    QFETCH(int, codec);
    QFETCH(int, model);
    QFETCH(bool, talking);
    QFETCH(bool, audioReady);
    QFETCH(QList<int>, shown);
    FakeAudioFactory audio(audioReady);
    MFormView form(nullptr, FakeOptions(&audio));
    QCOMPARE(form.AudioReady(), audioReady);
    Drive(form, 0, state, group, codec, model, false);
    if (talking) {
      form.Pane(0)->Session().Audio().SetSpeaker(1, 0);
      PostWindowMessage(&form, WM_PANE_STATUS, 0, 0);
      QCoreApplication::processEvents();
    }
    for (int id : {kIdSetupButton, kIdLogOutButton, kIdMicButton, kIdSpeakerButton, kIdVolumeBar}) {
      QVERIFY2(Shown(form.Panel()->Control(id)) == shown.contains(id), qPrintable(QString::number(id)));
    }
    // Only the current pane's state counts.
    Drive(form, 1, 0, 0, 2, 0, false);
    QCOMPARE(Shown(form.Panel()->Control(kIdSetupButton)), shown.contains(kIdSetupButton));
    form.Pane(0)->LogOut();
  }

  void micButtonIsBusyAfterAClick() {
    FakeAudioFactory audio;
    MFormView form(nullptr, FakeOptions(&audio));
    Drive(form, 0, 6, 0, 2, 0, false);
    auto* mic = form.Panel()->MicButton();
    QVERIFY(!mic->Busy());
    Fake().microphone = 0;  // the camera refuses: listening does not start, the button still locks
    mic->click();
    Fake().microphone = 1;
    QVERIFY(mic->Busy());
    QVERIFY(!mic->Check());
    form.Pane(0)->LogOut();
  }

  // Only the current pane is heard and only the current pane talks.
  void selectionMovesTheSound_data() {
    QTest::addColumn<bool>("listening");
    QTest::addColumn<bool>("talking");
    QTest::newRow("listening") << true << false;
    QTest::newRow("talking") << false << true;
    QTest::newRow("both") << true << true;
  }
  void selectionMovesTheSound() {
    QFETCH(bool, listening);
    QFETCH(bool, talking);
    FakeAudioFactory audio;
    MFormView form(nullptr, FakeOptions(&audio));
    QCOMPARE(static_cast<int>(audio.outputs.size()), 4);
    QTRY_COMPARE(form.Pane(0)->Session().Audio().Selected(), true);  // the start-up pass is over
    PaneAudioVideo& other = form.Pane(1)->Session().Audio();
    if (listening) QCOMPARE(other.SetMic(1, 0), 1);
    if (talking) other.SetSpeaker(1, 0);
    QCOMPARE(other.MicOn(), listening);
    QCOMPARE(other.SpeakerOn(), talking);
    FakeOutput* out = audio.outputs[1];
    FakeInput* in = audio.inputs[1];
    const int stops = out->stops, rewinds = out->rewinds, plays = out->plays;
    const int inStops = in->stops, inStarts = in->starts;

    PostWindowMessage(&form, WM_PANE_SELECT, 0, 0);  // pane 0 again: pane 1 goes quiet
    QTRY_COMPARE(form.CurrentIndex(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(other.Player().IsMuted(), listening);
    QCOMPARE(out->stops - stops, listening ? 1 : 0);
    QCOMPARE(out->rewinds - rewinds, listening ? 1 : 0);
    QCOMPARE(in->stops - inStops, talking ? 1 : 0);

    PostWindowMessage(&form, WM_PANE_SELECT, 1, 0);
    QTRY_COMPARE(form.CurrentIndex(), 1);
    QVERIFY(!other.Player().IsMuted());
    QCOMPARE(out->plays - plays, listening ? 1 : 0);
    QCOMPARE(in->starts - inStarts, talking ? 1 : 0);
    QVERIFY(other.Selected());
    QVERIFY(!form.Pane(0)->Session().Audio().Selected());
    other.SwitchOff();
  }

  void noSoundDeviceIsToldOnce_data() {
    QTest::addColumn<bool>("hasOutput");
    QTest::addColumn<int>("boxes");
    QTest::newRow("an output exists") << true << 0;
    QTest::newRow("no output") << false << 1;
  }
  void noSoundDeviceIsToldOnce() {
    QFETCH(bool, hasOutput);
    QFETCH(int, boxes);
    FakeAudioFactory audio(hasOutput);
    MFormView form(nullptr, Options(&audio, 3, 3));
    // The box waits for the event loop: the form is made (and its panes sign
    // in) while it is open.
    QVERIFY(form.Created());
    QCOMPARE(boxes_.shown.count(20045), 0);
    QTest::qWait(50);
    QCOMPARE(boxes_.shown.count(20045), boxes);
    QCOMPARE(form.AudioReady(), hasOutput);
    QCOMPARE(static_cast<int>(audio.outputs.size()), hasOutput ? 9 : 0);
    QCOMPARE(static_cast<int>(audio.inputs.size()), hasOutput ? 9 : 0);
  }

  // The current pane is framed only when there is more than one pane.
  void currentPaneFrame_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QColor>("aboveCell");
    QTest::newRow("one pane") << 1 << 1 << QColor(150, 190, 110);
    QTest::newRow("2x2") << 2 << 2 << QColor(74, 132, 107);
  }
  void currentPaneFrame() {
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QColor, aboveCell);
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio, columns, rows));
    form.resize(form.FormSize());
    QTRY_VERIFY(form.Pane(0)->Session().Audio().Selected());
    const QImage image = form.grab().toImage();
    const QRect cell = form.CellRect(0);
    // Right of the (hidden) title, inside the strip above the cell.
    QCOMPARE(image.pixelColor(cell.left() + 300, cell.top() - 5), aboveCell);
    QCOMPARE(image.pixelColor(cell.left() + 300, cell.bottom() + 10), aboveCell);
  }

  void storedCameraListFillsTheCurrentPane() {
    SettingsKey list;
    OpenSettingsKey(QStringLiteral("Camera List"), &list);
    WriteSettingDword(list, settings::kListConfEnable, 1);
    WriteSettingDword(list, settings::kListConfCount, 2);
    WriteSettingString(list, "List00", settings::kListName, QStringLiteral("gate"));
    WriteSettingString(list, "List00", settings::kListUrl, QStringLiteral("127.0.0.1"));
    WriteSettingString(list, "List00", settings::kListPort, QStringLiteral("1"));
    WriteSettingString(list, "List00", settings::kListId, QStringLiteral("admin"));
    WriteSettingString(list, "List00", settings::kListPw, QString::fromStdString(ScrambleText(std::string("pw"))));
    WriteSettingString(list, "List00", settings::kListMjpeg, QStringLiteral("Yes"));
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio));
    MComboBox* combo = form.Panel()->CameraListCombo();
    QTRY_VERIFY(!combo->isHidden());
    QVERIFY(form.Panel()->LanSearchCombo()->isHidden());
    QCOMPARE(combo->Count(), 2);
    QCOMPARE(combo->List()->item(0)->text(), QStringLiteral("gate"));
    QCOMPARE(combo->List()->item(1)->text(), QStringLiteral("None"));
    QTRY_VERIFY(form.Pane(0)->Session().Audio().Selected());  // the start-up pass is over
    PostWindowMessage(&form, WM_PANE_SELECT, 1, 0);
    QTRY_COMPARE(form.CurrentIndex(), 1);
    combo->Open();
    emit combo->List()->chosen(kIdCameraListCombo, 0);
    const SignInFields f = form.Pane(1)->Session().Fields();
    QCOMPARE(f.alias, QStringLiteral("gate"));
    QCOMPARE(f.url, QStringLiteral("127.0.0.1"));
    QCOMPARE(f.port, QStringLiteral("1"));
    QCOMPARE(f.id, QStringLiteral("admin"));
    QCOMPARE(f.password, QStringLiteral("pw"));
    QVERIFY(f.useMjpeg);
    // Nothing listens on port 1: the sign-in was tried and refused.
    QTRY_COMPARE(BoxesWithText(20031), 1);
    WriteSettingDword(list, settings::kListConfEnable, 0);
  }

  void mainWindowKeys() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, Options(&audio));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    MFormView* form = w.Form();
    QTRY_VERIFY(form->Pane(0)->Session().Audio().Selected());
    // Typing reaches pane 1's edits; Enter there makes it current and signs
    // it in (no user id: one box, no second attempt).
    auto* address = qobject_cast<QLineEdit*>(form->Pane(1)->Control(kIdAddressEdit));
    auto* user = qobject_cast<QLineEdit*>(form->Pane(1)->Control(kIdUserEdit));
    address->clear();
    QTest::keyClicks(address, "127.0.0.1");
    QCOMPARE(address->text(), QStringLiteral("127.0.0.1"));
    user->clear();
    QTest::keyClick(user, Qt::Key_Return);
    QCOMPARE(form->CurrentIndex(), 1);
    QTRY_COMPARE(BoxesWithText(20072), 1);
    QCOMPARE(form->Pane(1)->Session().State(), kPaneIdle);
    // Escape asks before the program ends; no keeps it.
    QTest::keyClick(address, Qt::Key_Escape);
    QCOMPARE(boxes_.shown, QList<int>{20110});
    QVERIFY(w.isVisible());
    // The close button asks too.
    boxes_.answer = kIdYes;
    qobject_cast<QAbstractButton*>(form->TitleButton(kIdCloseButton))->click();
    QCOMPARE(boxes_.shown, (QList<int>{20110, 20110}));
    QVERIFY(!w.isVisible());
  }

  // The pane signed in from its own panel stays current when the panel hides
  // at live start: the keys go to that pane, not to the next pane's address
  // edit, which would make the neighbour current and hide the log-out button.
  void signedInPaneStaysCurrent() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, FakeOptions(&audio));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    QTRY_VERIFY(w.isActiveWindow());
    MFormView* form = w.Form();
    QWidget* alias = form->Pane(0)->Control(kIdAliasEdit);
    QTest::mouseClick(alias, Qt::LeftButton);
    QTRY_VERIFY(alias->hasFocus());
    QCOMPARE(form->CurrentIndex(), 0);
    Drive(*form, 0, kPaneLive);
    QCoreApplication::processEvents();
    QCOMPARE(form->CurrentIndex(), 0);
    QVERIFY(QApplication::focusWidget() == form->Pane(0));
    QVERIFY(Shown(form->Panel()->Control(kIdLogOutButton)));
    form->Pane(0)->LogOut();
  }

  // Only the user moves the current pane with the focus. Focus the program
  // moves into another pane's panel (the window's first focus after an
  // automatic sign-in, the window activated again, a menu closed) leaves
  // the current pane current and goes back to it; a click or Tab into the
  // panel chooses that pane.
  void onlyTheUserMovesTheCurrentPaneWithTheFocus() {
    FakeAudioFactory audio;
    MainWindow w(0, GlobalSettings{}, FakeOptions(&audio));
    MFormView* form = w.Form();
    Drive(*form, 0, kPaneLive);  // signed in before the window shows
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    QTRY_VERIFY(w.isActiveWindow());
    QCoreApplication::processEvents();
    QCOMPARE(form->CurrentIndex(), 0);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->Pane(0)));
    QWidget* address = form->Pane(1)->Control(kIdAddressEdit);
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::OtherFocusReason}) {
      address->setFocus(reason);
      QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->Pane(0)));
      QCOMPARE(form->CurrentIndex(), 0);
      QVERIFY(Shown(form->Panel()->Control(kIdLogOutButton)));
    }
    // Qt hands a hidden widget's focus on with the Tab reason: not the user's.
    address->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->Pane(0)));
    QCOMPARE(form->CurrentIndex(), 0);
    // The Tab key from the live pane reaches pane 1's panel and chooses it.
    QTest::keyClick(form->Pane(0), Qt::Key_Tab);
    QCOMPARE(PaneOf(*form, QApplication::focusWidget()), 1);
    QCOMPARE(form->CurrentIndex(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(PaneOf(*form, QApplication::focusWidget()), 1);
    // So does a click.
    PostWindowMessage(form, WM_PANE_SELECT, 0, 0);
    QTRY_COMPARE(form->CurrentIndex(), 0);
    QTest::mouseClick(address, Qt::LeftButton);
    QCOMPARE(form->CurrentIndex(), 1);
    QCOMPARE(QApplication::focusWidget(), address);
    form->Pane(0)->LogOut();
  }

  // A sign-in that reaches a camera and one that cannot connect: the log
  // names the account but never the password, and the settings file that
  // now holds the scrambled password is the user's only.
  void signInLogHasNoPassword() {
    QTemporaryDir logDir;
    LogFile log(logDir.path());
    PortTrap camera(0);
    QVERIFY(camera.Listening());
    int closedPort = 0;
    {
      PortTrap gone(0);
      closedPort = gone.Port();
    }
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio));
    QTRY_VERIFY(form.Pane(0)->Session().Audio().Selected());
    ViewerSession& s = form.Pane(1)->Session();
    SignInFields f;
    f.url = QStringLiteral("127.0.0.1");
    f.port = QString::number(camera.Port());
    f.id = QStringLiteral("admin");
    f.password = QStringLiteral("S3cret-pw");
    f.saveId = true;
    f.autoSignIn = true;
    QCOMPARE(s.SignIn(f), 1);
    QVERIFY(camera.Reached());
    f.port = QString::number(closedPort);
    QCOMPARE(s.SignIn(f), 0);
    QTRY_COMPARE(BoxesWithText(20031), 1);
    const QString text = log.Text();
    QVERIFY2(text.contains(QStringLiteral("Open Control Fail. (127.0.0.1:%1 (admin:***))").arg(closedPort)),
             qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("S3cret-pw")), qPrintable(text));
    QString scrambled;
    QCOMPARE(ReadSettingString(s.Settings(), settings::kSigninPw, 129, &scrambled), 1);
    QVERIFY(!text.contains(scrambled));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(dir_.filePath("config/Halvik/Tessora.conf")).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    s.LogOut();
    QFile::remove(dir_.filePath("config/Halvik/Tessora.conf"));
  }

  // Ports a person types that are not ports: refused with the connection
  // box and a log line, and nothing is connected to, not even the port a
  // wrapped number would give.
  void typedPortIsRefused_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("wrapsTo");  // 0: no port to watch
    QTest::newRow("70000") << QStringLiteral("70000") << 4464;
    QTest::newRow("65536") << QStringLiteral("65536") << 0;
    QTest::newRow("0") << QStringLiteral("0") << 0;
    QTest::newRow("-1") << QStringLiteral("-1") << 65535;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("9999999") << QStringLiteral("9999999") << 0;
  }
  void typedPortIsRefused() {
    QFETCH(QString, port);
    QFETCH(int, wrapsTo);
    PortTrap trap(wrapsTo);
    if (wrapsTo != 0) QVERIFY2(trap.Listening(), "the watched port is taken");
    QTemporaryDir logDir;
    LogFile log(logDir.path());
    FakeAudioFactory audio;
    MFormView form(nullptr, Options(&audio));
    QTRY_VERIFY(form.Pane(0)->Session().Audio().Selected());
    MViewer* pane = form.Pane(0);
    auto type = [pane](int id, const QString& text) { qobject_cast<QLineEdit*>(pane->Control(id))->setText(text); };
    type(kIdAddressEdit, QStringLiteral("127.0.0.1"));
    type(kIdPortEdit, port);
    type(kIdUserEdit, QStringLiteral("admin"));
    type(kIdPasswordEdit, QStringLiteral("pw"));
    QCOMPARE(pane->SignIn(), 0);
    QCOMPARE(pane->Session().State(), kPaneIdle);
    QTRY_COMPARE(BoxesWithText(20031), 1);
    QVERIFY2(log.Text().contains(QStringLiteral("(port=%1)").arg(port)), qPrintable(log.Text()));
    if (wrapsTo != 0) QVERIFY(!trap.Reached());
  }

  // Settings files edited by hand or damaged: the viewer starts with a grid
  // of 1 to 16 panes that fits the screen, every pane stays idle, each
  // refused value leaves a log line, and a stored port that is not a port is
  // shown as stored and never connected to.
  void hostileSettingsFile_data() {
    QTest::addColumn<QByteArray>("conf");
    QTest::addColumn<int>("panes");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QString>("shownPort");  // empty: not checked
    QTest::addColumn<int>("watchedPort");    // 0: none
    QTest::addColumn<int>("listEntries");    // -1: not checked
    const QByteArray layout = "[Global]\nLayout\\X=%1\nLayout\\Y=%2\n";
    auto grid = [&](const char* x, const char* y) { return QByteArray(layout).replace("%1", x).replace("%2", y); };
    QTest::newRow("layout 65536 x 65536") << grid("65536", "65536") << 16 << "(65536 x 65536)" << "" << 0 << -1;
    QTest::newRow("layout 2147483647 x 2") << grid("2147483647", "2") << 16 << "(2147483647 x 2)" << "" << 0 << -1;
    QTest::newRow("layout 6 x 715827883") << grid("6", "715827883") << 16 << "(6 x 715827883)" << "" << 0 << -1;
    QTest::newRow("layout 1 x 17") << grid("1", "17") << 16 << "(1 x 17)" << "" << 0 << -1;
    QTest::newRow("layout -1 x 3") << grid("-1", "3") << 4 << "(-1, 3)" << "" << 0 << -1;
    QTest::newRow("layout not numbers") << grid("abc", "1e9") << 4 << "" << "" << 0 << -1;
    const QByteArray pane =
        "[Viewer00]\nSignin\\Url=127.0.0.1\nSignin\\Tlp=%1\nSignin\\Id=admin\nSignin\\Pw=%PW%\n";
    auto port = [&](const char* p) { return QByteArray(pane).replace("%1", p); };
    QTest::newRow("port 70000") << port("70000") << 4 << "(port=70000)" << "70000" << 4464 << -1;
    QTest::newRow("port 0") << port("0") << 4 << "(port=0)" << "0" << 0 << -1;
    QTest::newRow("port -1") << port("-1") << 4 << "(port=-1)" << "-1" << 65535 << -1;
    QTest::newRow("port abc") << port("abc") << 4 << "(port=abc)" << "abc" << 9090 << -1;
    QTest::newRow("port too long") << port("00000800000") << 4 << "(port=)" << "" << 0 << -1;
    QTest::newRow("camera list of 1000") << QByteArray("[Camera%20List]\nConf\\Enable=1\nConf\\Count=1000\n") << 4
                                         << "(Conf/Count=1000)" << "" << 0 << 0;
  }
  void hostileSettingsFile() {
    QFETCH(QByteArray, conf);
    QFETCH(int, panes);
    QFETCH(QString, logged);
    QFETCH(QString, shownPort);
    QFETCH(int, watchedPort);
    QFETCH(int, listEntries);
    const QString path = dir_.filePath("config/Halvik/Tessora.conf");
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(conf.replace("%PW%", QByteArray::fromStdString(ScrambleText(std::string("S3cret-pw")))));
    }
    PortTrap trap(watchedPort);
    if (watchedPort != 0) QVERIFY2(trap.Listening(), "the watched port is taken");
    QTemporaryDir logDir;
    LogFile log(logDir.path());
    SettingsKey global;
    QCOMPARE(OpenSettingsKey(QStringLiteral("Global"), &global), 1);
    FakeAudioFactory audio;
    MainWindow w(0, ReadGlobalSettings(global), Options(&audio));
    MFormView* form = w.Form();
    QVERIFY(form->Created());
    QCOMPARE(form->PaneCount(), panes);
    QVERIFY(w.width() <= 1920 && w.height() <= 1080);
    QTRY_VERIFY(form->Pane(0)->Session().Audio().Selected());  // the start-up pass is over
    if (!shownPort.isEmpty()) {
      QCOMPARE(form->Pane(0)->Session().Fields().port, shownPort);
      QCOMPARE(qobject_cast<QLineEdit*>(form->Pane(0)->Control(kIdPortEdit))->text(), shownPort);
    }
    if (logged.startsWith(QStringLiteral("(port="))) QTRY_COMPARE(BoxesWithText(20031), 1);
    for (int i = 0; i < panes; ++i) QCOMPARE(form->Pane(i)->Session().State(), kPaneIdle);
    if (watchedPort != 0) QVERIFY(!trap.Reached());
    if (listEntries >= 0) {
      QTRY_VERIFY(!form->Panel()->CameraListCombo()->isHidden());
      QCOMPARE(form->Panel()->CameraListCombo()->Count(), listEntries);
    }
    if (!logged.isEmpty()) QVERIFY2(log.Text().contains(logged), qPrintable(log.Text()));
    QFile::remove(path);
  }
};

QTEST_MAIN(MFormViewTest)
#include "MFormViewTest.moc"
