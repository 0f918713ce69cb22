// The main form against the camera simulator: panes with a stored password
// sign in by themselves at start-up behind the notice box, and the camera
// speaker follows the current pane.
#include <QtTest>
#include <QLabel>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "FakeAudioDevices.h"
#include "MFormView.h"
#include "MInfoBox.h"
#include "MViewer.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "SidePanel.h"
#include "base/MRegistry.h"
#include "base/base.h"

namespace {

int FreePortBlock() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  close(fd);
  return ntohs(a.sin_port) % 10000 + 20000;  // below the ephemeral range
}

class RecordingPresenter : public BoxPresenter {
 public:
  int Present(const BoxRequest& r, QWidget*) override {
    shown.append(r.messageId);
    return kIdOk;
  }
  QList<int> shown;
};

}  // namespace

class FormSessionTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  pid_t camsim_ = -1;
  int port_ = 0;
  RecordingPresenter presenter_;
  FakeAudioFactory audio_;
  std::unique_ptr<MainWindow> window_;

  QString EventsFile() const { return dir_.filePath("events.jsonl"); }

  // Inbound control messages of |camera| holding every one of |needles|.
  int CountEvents(int camera, std::initializer_list<const char*> needles) const {
    std::ifstream in(EventsFile().toStdString());
    const std::string cam = "\"camera\":" + std::to_string(camera) + ",";
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
      bool all = line.find(cam) != std::string::npos && line.find("\"dir\":\"in\"") != std::string::npos;
      for (const char* needle : needles) all = all && line.find(needle) != std::string::npos;
      n += all ? 1 : 0;
    }
    return n;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    port_ = FreePortBlock();
    const std::string log = dir_.filePath("camsim.log").toStdString();
    const std::string events = EventsFile().toStdString();
    camsim_ = fork();
    if (camsim_ == 0) {
      if (std::freopen(log.c_str(), "w", stdout) == nullptr) _exit(126);
      execl(CAMSIM, CAMSIM, "--cameras", "2", "--port", std::to_string(port_).c_str(), "--admin-port",
            std::to_string(port_ + 10).c_str(), "--events", events.c_str(), "--no-stdin",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    bool ready = false;
    for (int i = 0; i < 3000 && !ready; ++i) {
      std::ifstream in(log);
      std::stringstream text;
      text << in.rdbuf();
      ready = text.str().find("ready") != std::string::npos;
      if (!ready) QTest::qWait(20);
    }
    QVERIFY2(ready, "camsim did not start");
    SetBoxPresenter(&presenter_);
    // Panes 0 and 1 have a stored password, panes 2 and 3 none.
    for (int i = 0; i < 2; ++i) {
      SettingsKey key;
      OpenSettingsKey(QStringLiteral("Viewer%1").arg(i, 2, 10, QLatin1Char('0')), &key);
      WriteSettingString(key, settings::kSigninUrl, QStringLiteral("127.0.0.1"));
      WriteSettingDword(key, settings::kSigninPort, port_ + i);
      WriteSettingString(key, settings::kSigninId, QStringLiteral("admin"));
      WriteSettingString(key, settings::kSigninPw, QString::fromStdString(ScrambleText(std::string("admin"))));
      WriteSettingString(key, settings::kSigninAlias, QStringLiteral("cam%1").arg(i));
    }
  }

  void cleanupTestCase() {
    window_.reset();
    SetBoxPresenter(nullptr);
    if (camsim_ > 0) {
      kill(camsim_, SIGTERM);
      waitpid(camsim_, nullptr, 0);
    }
  }

  void storedPanesSignInByThemselves() {
    FormOptions options;
    options.audio = &audio_;
    options.autoSignInStep = std::chrono::milliseconds(50);
    window_ = std::make_unique<MainWindow>(0, GlobalSettings{}, options);
    MFormView* form = window_->Form();
    QSignalSpy notice(form, &MFormView::autoSignInNoticeChanged);
    QSignalSpy finished(form, &MFormView::autoSignInFinished);
    window_->show();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(notice.count(), 2, 5000);
    QCOMPARE(notice[0][0].toBool(), true);
    QCOMPARE(notice[1][0].toBool(), false);
    for (int i = 0; i < 2; ++i) {
      QTRY_VERIFY_WITH_TIMEOUT(form->Pane(i)->Session().State() >= kPaneLive, 20000);
    }
    QCOMPARE(form->Pane(2)->Session().State(), kPaneIdle);
    QCOMPARE(form->Pane(3)->Session().State(), kPaneIdle);
    QTRY_COMPARE(form->CurrentIndex(), 0);
    QTRY_VERIFY(form->Pane(0)->Session().Selected());
    QVERIFY(!form->Pane(1)->Session().Selected());
    // Both live panes carry their alias above them; the current one's side
    // panel offers log out and sound.
    for (int i = 0; i < 2; ++i) {
      QTRY_VERIFY(!form->Strip()->Title(i)->isHidden());
      QCOMPARE(form->Strip()->TitleText(i), QStringLiteral("cam%1").arg(i));
    }
    QVERIFY(!form->Panel()->Control(kIdLogOutButton)->isHidden());
    QVERIFY(!form->Panel()->Control(kIdSpeakerButton)->isHidden());
    QCOMPARE(presenter_.shown, QList<int>{});
  }

  // Only the current pane talks: another pane's camera speaker is turned
  // down to 0 while it is not current and back to the stored volume.
  void talkingFollowsTheCurrentPane() {
    QVERIFY(window_);
    MFormView* form = window_->Form();
    PostWindowMessage(form, WM_PANE_SELECT, 1, 0);
    QTRY_COMPARE(form->CurrentIndex(), 1);
    ViewerSession& talker = form->Pane(1)->Session();
    qobject_cast<QAbstractButton*>(form->Panel()->Control(kIdSpeakerButton))->click();
    QTRY_VERIFY(talker.SpeakerOn());
    QCOMPARE(talker.Volume(), 7);
    QVERIFY(!form->Panel()->Control(kIdVolumeBar)->isHidden());
    QVERIFY(!form->Strip()->StatusLabel(StatusStrip::kSpeaker)->isHidden());
    const int downs = CountEvents(1, {"\"CLS\":\"SPK\"", "\"VOLUME\":\"0\""});

    PostWindowMessage(form, WM_PANE_SELECT, 0, 0);
    QTRY_COMPARE(form->CurrentIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(CountEvents(1, {"\"CLS\":\"SPK\"", "\"VOLUME\":\"0\""}), downs + 1, 5000);
    QCOMPARE(talker.Volume(), 0);
    QVERIFY(talker.SpeakerOn());
    const int ups = CountEvents(1, {"\"CLS\":\"SPK\"", "\"VOLUME\":\"7\""});
    PostWindowMessage(form, WM_PANE_SELECT, 1, 0);
    QTRY_COMPARE_WITH_TIMEOUT(CountEvents(1, {"\"CLS\":\"SPK\"", "\"VOLUME\":\"7\""}), ups + 1, 5000);
    QCOMPARE(talker.Volume(), 7);
    // The volume stored is still the one the user chose.
    QCOMPARE(ReadSettingDword(talker.Settings(), settings::kSpkVolume), 7);
    window_.reset();
  }
};

QTEST_MAIN(FormSessionTest)
#include "FormSessionTest.moc"
