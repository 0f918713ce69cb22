// A pane's camera controls against the camera simulator: what the camera
// receives for a click on the picture, the presets, scan and the function
// key, the lamp, motion detection, sensor, output and flip, and what a power
// user and a user may not send.
#include <QtTest>

#include <string>

#include "CamsimProcess.h"
#include "RecordingPresenter.h"
#include "controls/MessageBoxes.h"
#include "link/LinkEngine.h"
#include "pane/MViewer.h"

namespace {

constexpr int kPanTiltCamera = 3;  // the simulator's pan/tilt model

}  // namespace

class CameraCommandsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  CamsimProcess camsim_;
  RecordingPresenter presenter_;
  BoxPresenter* previous_ = nullptr;

  // A current pane of 220 x 200 signed in to the pan/tilt camera.
  std::unique_ptr<MViewer> LivePane(const char* id, const char* password) {
    auto pane = std::make_unique<MViewer>(nullptr, nullptr, 0, 0, QRect(0, 0, 220, 200));
    pane->SetSelected(true);
    pane->show();
    SignInFields f;
    f.url = QStringLiteral("127.0.0.1");
    f.port = QString::number(camsim_.Port(kPanTiltCamera));
    f.id = QString::fromLatin1(id);
    f.password = QString::fromLatin1(password);
    pane->Session().SetFields(f);
    if (pane->SignIn() != 1) return nullptr;
    for (int i = 0; i < 200 && pane->Session().State() < kPaneLive; ++i) QTest::qWait(50);
    if (pane->Session().State() < kPaneLive) return nullptr;
    return pane;
  }

  // Control messages of class |cls| and method |mtd| the camera received,
  // with |extra| in them too.
  int Received(const char* cls, const char* mtd, const char* extra = nullptr) const {
    const std::string c = std::string("\"CLS\":\"") + cls + "\"";
    const std::string m = std::string("\"MTD\":\"") + mtd + "\"";
    if (extra == nullptr) return camsim_.CountEvents({"\"dir\":\"in\"", c.c_str(), m.c_str()}, kPanTiltCamera);
    return camsim_.CountEvents({"\"dir\":\"in\"", c.c_str(), m.c_str(), extra}, kPanTiltCamera);
  }

  // Waits until the camera received |count| such messages in all.
  bool Arrives(int count, const char* cls, const char* mtd, const char* extra = nullptr) const {
    for (int i = 0; i < 100; ++i) {
      if (Received(cls, mtd, extra) >= count) return Received(cls, mtd, extra) == count;
      QTest::qWait(50);
    }
    return false;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    QVERIFY2(camsim_.Start(dir_.path(), 4), "camsim did not start");
    QCOMPARE(StartLinkEngine(), 1);
    previous_ = SetBoxPresenter(&presenter_);
  }

  void cleanupTestCase() {
    SetBoxPresenter(previous_);
    StopLinkEngine();
    camsim_.Stop();
  }

  // An administrator: a click at the left edge pans left by 11 steps, and
  // every switch and move reaches the camera with its values.
  void administratorsCommandsArrive() {
    auto pane = LivePane("admin", "admin");
    QVERIFY(pane);
    QCOMPARE(pane->MenuModel().popup, PanePopup::Admin);
    QTest::mouseClick(pane.get(), Qt::LeftButton, {}, QPoint(0, 100));
    QVERIFY(Arrives(1, "PTZ", "SET", "PAN=-11;TILT=0;ZOOM=0;FOCUS=0;"));

    PaneCameraControls& c = pane->Session().Controls();
    QCOMPARE(c.SavePreset(2), 1);
    QCOMPARE(c.GotoPreset(2), 1);
    QCOMPARE(c.StartScan(), 1);
    QCOMPARE(c.StopScan(), 1);
    QCOMPARE(c.RunFunction1(), 1);
    QCOMPARE(c.SetFlash(1), 1);
    QCOMPARE(c.SetMotionDetection(1), 1);
    QCOMPARE(c.SetSensor(1), 1);
    QCOMPARE(c.SetOutput(1), 1);
    QCOMPARE(c.SetMirror(1), 1);
    QCOMPARE(c.MovePtz(0, 0, 1, -1), 1);
    QVERIFY(Arrives(1, "PTZ", "PRESET_SAVE", "\"PRESET_NUMBER\":\"2\""));
    QVERIFY(Arrives(1, "PTZ", "PRESET_GOTO", "\"PRESET_NUMBER\":\"2\""));
    QVERIFY(Arrives(1, "PTZ", "SCAN_START"));
    QVERIFY(Arrives(1, "PTZ", "SCAN_STOP"));
    QVERIFY(Arrives(1, "CUSTOM", "EXECUTE"));
    QVERIFY(Arrives(1, "LED", "SET", "\"FLASH\":\"1\""));
    QVERIFY(Arrives(1, "MOTION", "SET"));
    QVERIFY(Arrives(1, "SENSOR", "SET"));
    QVERIFY(Arrives(1, "GIO", "SET", "\"GIO_PIN\":\"GO_01\""));
    QVERIFY(Arrives(1, "VIDEO", "SET", "\"FHORZ\":\"1\""));
    // Mirrored now: the camera turns the way the picture shows.
    QVERIFY(Arrives(1, "PTZ", "SET", "PAN=0;TILT=0;ZOOM=1;FOCUS=-1;"));
    QTest::mouseClick(pane.get(), Qt::LeftButton, {}, QPoint(0, 100));
    QVERIFY(Arrives(1, "PTZ", "SET", "PAN=11;TILT=0;ZOOM=0;FOCUS=0;"));
    c.SetMirror(0);
    c.SetMotionDetection(0);
    QVERIFY(Arrives(1, "MOTION", "CLR"));
    pane->LogOut();
  }

  // A power user steers and uses presets, but sends no talking, lamp or
  // motion detection; a user gets the user's menu and cannot steer.
  void restrictedUsersSendLess() {
    const int ptz = Received("PTZ", "SET");
    const int spk = Received("SPK", "PLAY");
    const int led = Received("LED", "SET");
    const int motion = Received("MOTION", "SET");
    {
      auto power = LivePane("power", "power");
      QVERIFY(power);
      QCOMPARE(power->MenuModel().popup, PanePopup::Admin);
      QCOMPARE(power->Session().Audio().SetSpeaker(1, 1), 0);
      QCOMPARE(power->Session().Controls().SetFlash(1), 1);  // switched off locally
      QCOMPARE(power->Session().Controls().SetMotionDetection(1), 0);
      QVERIFY(!power->Session().Controls().FlashOn());
      QTest::mouseClick(power.get(), Qt::LeftButton, {}, QPoint(219, 100));
      QVERIFY(Arrives(ptz + 1, "PTZ", "SET"));
      power->LogOut();
    }
    {
      auto user = LivePane("user", "user");
      QVERIFY(user);
      QCOMPARE(user->MenuModel().popup, PanePopup::User);
      QTest::mouseClick(user.get(), Qt::LeftButton, {}, QPoint(219, 100));
      QCOMPARE(user->Session().Controls().GotoPreset(1), 0);
      QTest::qWait(300);
      user->LogOut();
    }
    QCOMPARE(Received("PTZ", "SET"), ptz + 1);
    QCOMPARE(Received("PTZ", "PRESET_GOTO", "\"PRESET_NUMBER\":\"1\""), 0);
    QCOMPARE(Received("SPK", "PLAY"), spk);
    QCOMPARE(Received("LED", "SET"), led);
    QCOMPARE(Received("MOTION", "SET"), motion);
  }
};

QTEST_MAIN(CameraCommandsTest)
#include "CameraCommandsTest.moc"
