// The side panel's camera drop-downs in the main window: an open list keeps
// the Escape and Enter keys (Escape closes it and nothing else, Enter
// chooses its row), and the LAN search list tells what the search is doing
// ("Searching…", "No cameras found", neither choosable) and is only as high
// as its rows.
#include <QtTest>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MainWindow.h"
#include "RecordingPresenter.h"
#include "StringTable.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "base/base.h"
#include "controls/MComboBox.h"
#include "controls/MessageBoxes.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "pane/MViewer.h"

namespace {

constexpr int kQuitQuestion = 20110;

FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

// What the LAN search of the tests finds, and what the list showed while it
// ran.
struct SearchStub {
  std::vector<LanCamera> cameras;
  QStringList rowsDuringSearch;
  bool choosableDuringSearch = true;
  int heightDuringSearch = 0;
  bool shownDuringSearch = false;
  int searches = 0;
  MComboBox* combo = nullptr;
};

QStringList Rows(const MComboBox* combo) {
  QStringList rows;
  for (int i = 0; i < combo->Count(); ++i) rows << combo->List()->item(i)->text();
  return rows;
}

// The open height that shows |rows| rows of the list.
int HeightFor(const MComboBox* combo, int rows) {
  return MComboBox::kClosedHeight + 2 + rows * combo->List()->ItemHeight();
}

void SetCameraList(bool enabled) {
  SettingsKey list;
  OpenSettingsKey(QString::fromUtf8(settings::kCameraListKey), &list);
  WriteSettingDword(list, settings::kListConfEnable, enabled ? 1 : 0);
  WriteSettingDword(list, settings::kListConfCount, 2);
  const char* names[] = {"gate", "yard"};
  const char* entries[] = {"List00", "List01"};
  for (int i = 0; i < 2; ++i) {
    WriteSettingString(list, entries[i], settings::kListName, QString::fromLatin1(names[i]));
    WriteSettingString(list, entries[i], settings::kListUrl, QStringLiteral("127.0.0.%1").arg(i + 1));
    WriteSettingString(list, entries[i], settings::kListPort, QStringLiteral("%1").arg(6001 + i));
    WriteSettingString(list, entries[i], settings::kListId, QStringLiteral("admin"));
    WriteSettingString(list, entries[i], settings::kListPw, QString::fromStdString(ScrambleText(std::string("pw"))));
  }
}

// The main window over the fake link, its LAN search answered by |stub|,
// shown, the start-up pass over and the stored list loaded.
std::unique_ptr<MainWindow> ShowMainWindow(FakeAudioFactory* audio, SearchStub* stub) {
  FormOptions o;
  o.audio = audio;
  o.autoSignInStep = std::chrono::milliseconds(1);
  o.workArea = QSize(1920, 1080);
  o.pane.link = &Fake();
  o.lanSearch = [stub] {
    ++stub->searches;
    MComboBox* c = stub->combo;
    stub->rowsDuringSearch = Rows(c);
    stub->choosableDuringSearch = c->List()->IsChoosable(0);
    stub->heightDuringSearch = c->height();
    stub->shownDuringSearch = c->List()->isVisible();
    return stub->cameras;
  };
  auto w = std::make_unique<MainWindow>(0, GlobalSettings{}, o);
  w->show();
  if (!QTest::qWaitForWindowExposed(w.get())) return nullptr;
  // On a real X server the keys go to the active window only.
  w->activateWindow();
  if (!QTest::qWaitForWindowActive(w.get())) return nullptr;
  MFormView* form = w->Form();
  stub->combo = form->Panel()->LanSearchCombo();
  if (!QTest::qWaitFor([&] { return form->Pane(0)->Session().Audio().Selected(); })) return nullptr;
  return w;
}

void ClickStrip(MComboBox* combo) { QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(40, 10)); }

}  // namespace

class SideCombosTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  RecordingPresenter boxes_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    SetBoxPresenter(&boxes_);
  }
  void cleanupTestCase() { SetBoxPresenter(nullptr); }
  void init() {
    boxes_.shown.clear();
    boxes_.answer = kIdNo;
    SetLanguage(Language::kEnglish);
  }
  void cleanup() {
    SetCameraList(false);
    SetLanguage(Language::kKorean);
  }

  // Escape in an open list closes it and asks nothing; on the closed box
  // Escape is the main window's again (the question before quitting).
  void escapeClosesAnOpenListOnly_data() {
    QTest::addColumn<int>("comboId");
    QTest::newRow("LAN search 2208") << kIdLanCombo;
    QTest::newRow("stored cameras 2209") << kIdCameraListCombo;
  }
  void escapeClosesAnOpenListOnly() {
    QFETCH(int, comboId);
    SetCameraList(comboId == kIdCameraListCombo);
    FakeAudioFactory audio;
    SearchStub stub;
    stub.cameras = {{QStringLiteral("127.0.0.9"), 9090}};
    auto w = ShowMainWindow(&audio, &stub);
    QVERIFY(w);
    auto* combo = qobject_cast<MComboBox*>(w->Form()->Panel()->Control(comboId));
    QTRY_VERIFY(combo->isVisible());
    ClickStrip(combo);
    QVERIFY(combo->IsOpen());
    QTRY_COMPARE(combo->Count(), comboId == kIdLanCombo ? 1 : 2);
    QCOMPARE(QApplication::focusWidget(), combo->List());
    QTest::keyClick(combo->List(), Qt::Key_Escape);
    QVERIFY(!combo->IsOpen());
    QCOMPARE(boxes_.shown, QList<int>{});
    QVERIFY(w->isVisible());
    QCOMPARE(w->Form()->Pane(0)->Session().State(), kPaneIdle);
    QTest::keyClick(combo, Qt::Key_Escape);
    QCOMPARE(boxes_.shown, QList<int>{kQuitQuestion});
  }

  // Enter in an open list chooses its row: the stored camera is signed in
  // on the current pane, not the pane's own fields.
  void enterChoosesInAnOpenList() {
    SetCameraList(true);
    FakeAudioFactory audio;
    SearchStub stub;
    auto w = ShowMainWindow(&audio, &stub);
    QVERIFY(w);
    MComboBox* combo = w->Form()->Panel()->CameraListCombo();
    QTRY_COMPARE(combo->Count(), 2);
    ClickStrip(combo);
    QVERIFY(combo->IsOpen());
    QTest::keyClick(combo->List(), Qt::Key_Down);
    QTest::keyClick(combo->List(), Qt::Key_Down);
    QTest::keyClick(combo->List(), Qt::Key_Return);
    QVERIFY(!combo->IsOpen());
    QCOMPARE(combo->Text(), QStringLiteral("yard"));
    MViewer* pane = w->Form()->Pane(0);
    QCOMPARE(pane->Session().Fields().url, QStringLiteral("127.0.0.2"));
    QCOMPARE(pane->Session().Fields().port, QStringLiteral("6002"));
    QVERIFY(pane->Session().State() >= kPaneSignInSent);
    QCOMPARE(boxes_.shown, QList<int>{});
    pane->LogOut();
  }

  // The LAN list while the search runs and after it, in both languages:
  // one grey row that cannot be chosen, then the cameras or a grey row
  // saying none answered; the list is as high as its rows.
  void lanSearchList_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("found");
    QTest::addColumn<QString>("searching");
    QTest::addColumn<QString>("none");
    const QString koSearching = QString::fromUtf8("검색 중…"), koNone = QString::fromUtf8("찾은 카메라 없음");
    const QString enSearching = QStringLiteral("Searching…"), enNone = QStringLiteral("No cameras found");
    QTest::newRow("none answered, en") << int(Language::kEnglish) << 0 << enSearching << enNone;
    QTest::newRow("none answered, ko") << int(Language::kKorean) << 0 << koSearching << koNone;
    QTest::newRow("three answered, en") << int(Language::kEnglish) << 3 << enSearching << enNone;
    QTest::newRow("sixteen answered, ko") << int(Language::kKorean) << 16 << koSearching << koNone;
  }
  void lanSearchList() {
    QFETCH(int, language);
    QFETCH(int, found);
    QFETCH(QString, searching);
    QFETCH(QString, none);
    SetLanguage(static_cast<Language>(language));
    FakeAudioFactory audio;
    SearchStub stub;
    QStringList expected;
    for (int i = 0; i < found; ++i) {
      stub.cameras.push_back({QStringLiteral("192.168.0.%1").arg(10 + i), 9090 + i});
      expected << QStringLiteral("192.168.0.%1:%2").arg(10 + i).arg(9090 + i);
    }
    auto w = ShowMainWindow(&audio, &stub);
    QVERIFY(w);
    MComboBox* combo = stub.combo;
    QSignalSpy chosen(combo, &MComboBox::chosen);
    ClickStrip(combo);
    QVERIFY(combo->IsOpen());
    QTRY_COMPARE(stub.searches, 1);
    // While the search ran: shown, one grey row, one row high.
    QCOMPARE(stub.rowsDuringSearch, QStringList{searching});
    QVERIFY(!stub.choosableDuringSearch);
    QVERIFY(stub.shownDuringSearch);
    QCOMPARE(stub.heightDuringSearch, HeightFor(combo, 1));
    // After it.
    QCOMPARE(Rows(combo), found == 0 ? QStringList{none} : expected);
    QCOMPARE(combo->List()->IsChoosable(0), found > 0);
    QCOMPARE(combo->height(), HeightFor(combo, std::max(found, 1)));
    QCOMPARE(combo->List()->VisibleRows(), std::max(found, 1));
    QVERIFY(combo->height() <= w->Form()->Panel()->height() - combo->y());
    // A click on the first row: a camera fills the current pane's address
    // and port; the note is not a choice and the list stays open.
    const QRect first = combo->List()->visualItemRect(combo->List()->item(0));
    QTest::mouseClick(combo->List()->viewport(), Qt::LeftButton, {}, first.center());
    if (found == 0) {
      QVERIFY(combo->IsOpen());
      QCOMPARE(chosen.count(), 0);
      QCOMPARE(combo->Text(), QString());
      QTest::keyClick(combo->List(), Qt::Key_Return);
      QVERIFY(combo->IsOpen());
      QCOMPARE(chosen.count(), 0);
    } else {
      QVERIFY(!combo->IsOpen());
      QCOMPARE(chosen.count(), 1);
      QCOMPARE(combo->Text(), expected.first());
      const SignInFields f = w->Form()->Pane(0)->Session().Fields();
      QCOMPARE(f.url, QStringLiteral("192.168.0.10"));
      QCOMPARE(f.port, QStringLiteral("9090"));
    }
    QCOMPARE(boxes_.shown, QList<int>{});
  }
};

QTEST_MAIN(SideCombosTest)
#include "SideCombosTest.moc"
