// The pane in parts: the router gives each message to the one part that owns
// it, every message a pane must act on has an owner, and the parts work
// through the pane's link (a fake here) and its session's sign-in fields.
#include <QtTest>
#include <QLineEdit>

#include "RecordingPresenter.h"
#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MessageRouter.h"
#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"
#include "link/LinkMessages.h"
#include "pane/MViewer.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

namespace {


SessionOptions WithLink(PaneLink* link) {
  SessionOptions o;
  o.link = link;
  return o;
}

}  // namespace

class PanePartsTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  void init() { boxes_.shown.clear(); }

  // A number has one owner: a second registration is refused and the first
  // handler keeps it; numbers nobody registered are left alone.
  void routerKeepsOneOwnerPerNumber() {
    MessageRouter router;
    QList<QString> calls;
    QVERIFY(router.Register(1040, [&](WindowMessageEvent& m) { calls << QStringLiteral("first %1").arg(m.lParam); }));
    QVERIFY(!router.Register(1040, [&](WindowMessageEvent&) { calls << QStringLiteral("second"); }));
    QVERIFY(router.RegisterCommand(33003, [&] { calls << QStringLiteral("log out"); }));
    QVERIFY(!router.RegisterCommand(33003, [&] { calls << QStringLiteral("again"); }));
    WindowMessageEvent stop(1040, 0, 7), other(1041, 0, 0);
    QVERIFY(router.Dispatch(stop));
    QVERIFY(!router.Dispatch(other));
    QVERIFY(router.DispatchCommand(33003));
    QVERIFY(!router.DispatchCommand(33004));
    QCOMPARE(calls, (QList<QString>{QStringLiteral("first 7"), QStringLiteral("log out")}));
  }

  // Every message a pane acts on reaches a part (a part that forgot to
  // register would leave the pane deaf to it).
  void everyPaneMessageHasAnOwner_data() {
    QTest::addColumn<unsigned>("message");
    const std::pair<const char*, unsigned> rows[] = {
        {"login accepted", WM_LOGIN_ACCEPTED},   {"login refused", WM_LOGIN_REFUSED},
        {"video opened", WM_VSTREAM_OPENED},     {"video refused", WM_VSTREAM_REFUSED},
        {"audio opened", WM_ASTREAM_OPENED},     {"audio refused", WM_ASTREAM_REFUSED},
        {"camera close", WM_CAMERA_CLOSE},       {"video play", WM_VIDEO_PLAY_ACK},
        {"video stop", WM_VIDEO_STOP_ACK},       {"flip", WM_VIDEO_FLIP_ACK},
        {"mic refused", WM_MIC_PLAY_NAK},        {"camera key", WM_CAMERA_KEY},
        {"network set", WM_SETUP_NETWORK_SET},   {"video get", WM_SETUP_VIDEO_GET},
        {"video set", WM_SETUP_VIDEO_SET},       {"video adjust", WM_SETUP_VIDEO_ADJUST},
        {"alarm setup", WM_SETUP_MDALARM_CONNECT}, {"update progress", WM_UPDATE_PROGRESS},
        {"update failed", WM_UPDATE_FAILED},     {"control closed", WM_CONTROL_CLOSED},
        {"audio closed", WM_AUDIO_CLOSED},
    };
    for (const auto& [name, message] : rows) QTest::newRow(name) << message;
  }
  void everyPaneMessageHasAnOwner() {
    QFETCH(unsigned, message);
    FakePaneLink link;
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr, nullptr, WithLink(&link));
    QVERIFY(s.Router().Handles(message));
    QVERIFY(s.Router().HandlesCommand(kCmdLogOut));
  }

  // The sound part through the router: the camera drops the audio channel
  // while the pane listens and talks, the part opens it again with both
  // switches; the camera refusing its microphone switches listening off with
  // its box.
  void soundPartAnswersTheCamerasAudioMessages() {
    FakePaneLink link;
    FakeAudioFactory audio;
    auto output = audio.MakeOutput();
    auto input = audio.MakeInput();
    BufferSurface surface(kKindRGB32);
    ViewerSession s(0, 0, &surface, nullptr, nullptr, WithLink(&link));
    s.Audio().SetAudioDevices(output.get(), input.get());
    QCOMPARE(DriveSession(s, link, kPaneLiveAudio), kPaneLiveAudio);
    QCOMPARE(s.Audio().SetMic(1, 0), 1);
    s.Audio().SetSpeaker(1, 0);
    QVERIFY(s.Audio().MicOn() && s.Audio().SpeakerOn());
    const int opens = link.audioOpens.load();

    DeliverToSession(s, WM_AUDIO_CLOSED);
    QCOMPARE(link.audioOpens.load(), opens + 1);
    QVERIFY(s.Audio().MicOn() && s.Audio().SpeakerOn());
    QCOMPARE(s.State(), kPaneLive);
    QCOMPARE(boxes_.shown, QList<int>{});

    DeliverToSession(s, WM_MIC_PLAY_NAK, 0, 0);
    QTRY_COMPARE(boxes_.shown, QList<int>{20112});
    QVERIFY(!s.Audio().MicOn());
    QVERIFY(s.Audio().SpeakerOn());
    s.LogOut();
    QVERIFY(!s.Audio().SpeakerOn());
  }

  // The sign-in fields live in the session: what the form sets shows in the
  // panel, what the user types is in the session, and a sign-in uses it.
  void signInFieldsLiveInTheSession() {
    FakePaneLink link;
    MViewer pane(nullptr, nullptr, 3, 3, QRect(0, 0, 320, 240), WithLink(&link));
    SignInFields f = pane.Session().Fields();
    f.url = QStringLiteral("10.1.2.3");
    f.port = QStringLiteral("7070");
    f.alias = QStringLiteral("yard");
    pane.Session().SetFields(f);
    auto* address = qobject_cast<QLineEdit*>(pane.Control(kIdAddressEdit));
    auto* port = qobject_cast<QLineEdit*>(pane.Control(kIdPortEdit));
    QCOMPARE(address->text(), QStringLiteral("10.1.2.3"));
    QCOMPARE(port->text(), QStringLiteral("7070"));
    QCOMPARE(qobject_cast<QLineEdit*>(pane.Control(kIdAliasEdit))->text(), QStringLiteral("yard"));

    port->clear();
    QTest::keyClicks(port, "6006");
    QTest::keyClicks(qobject_cast<QLineEdit*>(pane.Control(kIdUserEdit)), "admin");
    QTest::keyClicks(qobject_cast<QLineEdit*>(pane.Control(kIdPasswordEdit)), "pw");
    QCOMPARE(pane.Session().Fields().port, QStringLiteral("6006"));
    QCOMPARE(pane.Session().Fields().url, QStringLiteral("10.1.2.3"));
    QCOMPARE(pane.Session().Fields().id, QStringLiteral("admin"));
    QCOMPARE(pane.SignIn(), 1);
    QCOMPARE(pane.Session().State(), kPaneSignInSent);
    pane.LogOut();
  }
};

QTEST_MAIN(PanePartsTest)
#include "PanePartsTest.moc"
