// The main form against the camera simulator: panes with a stored password
// sign in by themselves at start-up behind the notice box, and the camera
// speaker follows the current pane.
#include <QtTest>
#include <QLabel>
#include <memory>

#include "RecordingPresenter.h"
#include "CamsimProcess.h"
#include "FakeAudioDevices.h"
#include "form/MFormView.h"
#include "controls/MInfoBox.h"
#include "pane/MViewer.h"
#include "MainWindow.h"
#include "controls/MessageBoxes.h"
#include "form/SidePanel.h"
#include "base/MRegistry.h"
#include "base/base.h"

class FormSessionTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  CamsimProcess camsim_;
  RecordingPresenter presenter_;
  FakeAudioFactory audio_;
  std::unique_ptr<MainWindow> window_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    QVERIFY2(camsim_.Start(dir_.path()), "camsim did not start");
    SetBoxPresenter(&presenter_);
    // Panes 0 and 1 have a stored password, panes 2 and 3 none.
    for (int i = 0; i < 2; ++i) {
      SettingsKey key;
      OpenSettingsKey(QStringLiteral("Viewer%1").arg(i, 2, 10, QLatin1Char('0')), &key);
      WriteSettingString(key, settings::kSigninUrl, QStringLiteral("127.0.0.1"));
      WriteSettingDword(key, settings::kSigninPort, camsim_.Port() + i);
      WriteSettingString(key, settings::kSigninId, QStringLiteral("admin"));
      WriteSettingString(key, settings::kSigninPw, QString::fromStdString(ScrambleText(std::string("admin"))));
      WriteSettingString(key, settings::kSigninAlias, QStringLiteral("cam%1").arg(i));
    }
  }

  void cleanupTestCase() {
    window_.reset();
    SetBoxPresenter(nullptr);
    camsim_.Stop();
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
    QTRY_VERIFY(form->Pane(0)->Session().Audio().Selected());
    QVERIFY(!form->Pane(1)->Session().Audio().Selected());
    // Both live panes carry their alias above them; the current one's side
    // panel offers log out and sound.
    for (int i = 0; i < 2; ++i) {
      QTRY_VERIFY(!form->Strip()->Title(i)->isHidden());
      QCOMPARE(form->Strip()->TitleText(i), QStringLiteral("cam%1").arg(i));
    }
    // The panel follows the current pane's status message, which a slow
    // (sanitized) run may deliver after the titles.
    QTRY_VERIFY(!form->Panel()->Control(kIdLogOutButton)->isHidden());
    QTRY_VERIFY(!form->Panel()->Control(kIdSpeakerButton)->isHidden());
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
    QTRY_VERIFY(talker.Audio().SpeakerOn());
    QCOMPARE(talker.Audio().Volume(), 7);
    QVERIFY(!form->Panel()->Control(kIdVolumeBar)->isHidden());
    QVERIFY(!form->Strip()->StatusLabel(StatusStrip::kSpeaker)->isHidden());
    const int downs = camsim_.CountEvents({"\"CLS\":\"SPK\"", "\"VOLUME\":\"0\""}, 1);

    PostWindowMessage(form, WM_PANE_SELECT, 0, 0);
    QTRY_COMPARE(form->CurrentIndex(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(camsim_.CountEvents({"\"CLS\":\"SPK\"", "\"VOLUME\":\"0\""}, 1), downs + 1, 5000);
    QCOMPARE(talker.Audio().Volume(), 0);
    QVERIFY(talker.Audio().SpeakerOn());
    const int ups = camsim_.CountEvents({"\"CLS\":\"SPK\"", "\"VOLUME\":\"7\""}, 1);
    PostWindowMessage(form, WM_PANE_SELECT, 1, 0);
    QTRY_COMPARE_WITH_TIMEOUT(camsim_.CountEvents({"\"CLS\":\"SPK\"", "\"VOLUME\":\"7\""}, 1), ups + 1, 5000);
    QCOMPARE(talker.Audio().Volume(), 7);
    // The volume stored is still the one the user chose.
    QCOMPARE(ReadSettingDword(talker.Settings(), settings::kSpkVolume), 7);
    window_.reset();
  }
};

QTEST_MAIN(FormSessionTest)
#include "FormSessionTest.moc"
