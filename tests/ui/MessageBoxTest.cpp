#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include "controls/MButton.h"
#include "controls/MInfoBox.h"
#include "controls/MessageBoxes.h"
#include "WindowMessage.h"

namespace {

class RecordingPresenter : public BoxPresenter {
 public:
  int Present(const BoxRequest& r, QWidget*) override {
    requests.append(r);
    return answer;
  }
  QList<BoxRequest> requests;
  int answer = 0;
};

class MessageReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    // Window messages are events typed with their message number.
    if (e->type() == static_cast<QEvent::Type>(WM_INFOBOX_CANCEL)) {
      auto* m = static_cast<WindowMessageEvent*>(e);
      messages.append({m->message(), m->wParam});
      return true;
    }
    return QObject::event(e);
  }
  QList<QPair<unsigned, std::uintptr_t>> messages;
};

MButton* FindButton(QWidget* box, int id) {
  for (MButton* b : box->findChildren<MButton*>()) {
    if (b->id() == id) return b;
  }
  return nullptr;
}

// Clicks button |id| of the modal box that is open once the event loop runs.
void ClickWhenShown(int id) {
  QTimer::singleShot(0, [id] {
    auto* box = qobject_cast<MBoxBase*>(QApplication::activeModalWidget());
    QVERIFY(box);
    MButton* b = FindButton(box, id);
    QVERIFY(b);
    b->click();
  });
}

}  // namespace

class MessageBoxTest : public QObject {
  Q_OBJECT
 private slots:
  void helpersChooseTitleAndIcon_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("title");
    QTest::addColumn<int>("icon");
    QTest::newRow("error") << 1 << 20084 << 803;
    QTest::newRow("warning") << 2 << 20085 << 802;
    QTest::newRow("notice") << 3 << 20086 << 800;
    QTest::newRow("other kinds are notices") << 0 << 20086 << 800;
  }
  void helpersChooseTitleAndIcon() {
    QFETCH(int, kind);
    QFETCH(int, title);
    QFETCH(int, icon);
    RecordingPresenter rec;
    SetBoxPresenter(&rec);
    ShowMessage(20052, kind);
    SetBoxPresenter(nullptr);
    QCOMPARE(rec.requests.size(), 1);
    QCOMPARE(rec.requests[0].titleId, title);
    QCOMPARE(rec.requests[0].iconId, icon);
    QCOMPARE(rec.requests[0].messageId, 20052);
  }

  void askQuestionReturnsTheAnswer() {
    RecordingPresenter rec;
    rec.answer = 7;
    SetBoxPresenter(&rec);
    QCOMPARE(AskQuestion(20110), 7);
    SetBoxPresenter(nullptr);
    QCOMPARE(rec.requests[0].type, BoxRequest::Type::Question);
    QCOMPARE(rec.requests[0].titleId, 20087);
    QCOMPARE(rec.requests[0].iconId, 801);
  }

  void questionBoxButtonsReturnTheirIds_data() {
    QTest::addColumn<int>("button");
    QTest::newRow("yes") << kIdYes;
    QTest::newRow("no") << kIdNo;
    QTest::newRow("close button") << kIdClose;
  }
  void questionBoxButtonsReturnTheirIds() {
    QFETCH(int, button);
    MQuestionBox box(kTitleQuestion, 20110, kIconQuestion);
    ClickWhenShown(button);
    QCOMPARE(box.DoModal(nullptr), button);
  }

  void questionBoxClosedBySystemReturnsZeroAndIgnoresKeys() {
    MQuestionBox box(kTitleQuestion, 20110, kIconQuestion);
    QTimer::singleShot(0, [&box] {
      QTest::keyClick(&box, Qt::Key_Escape);
      QTest::keyClick(&box, Qt::Key_Return);
      QVERIFY(box.isVisible());
      box.close();
    });
    QCOMPARE(box.DoModal(nullptr), 0);
  }

  void boxesShowStringTableTexts() {
    MInfoBox error(kTitleError, 20052, kIconError);
    QCOMPARE(error.title(), QString::fromUtf8("오류"));
    QCOMPARE(error.message(), QString::fromUtf8("이미지를 저장하였습니다.\n"));
    QCOMPARE(error.size(), QSize(340, 200));
    MInfoBox denied;
    QCOMPARE(denied.title(), QStringLiteral("View"));
    QCOMPARE(denied.message(), QStringLiteral("Access Denied"));
    QCOMPARE(denied.iconId(), 803);
    MQuestionBox q(kTitleQuestion, 20110, kIconQuestion, QStringLiteral("VIEWER01"));
    QVERIFY(q.message().endsWith(QStringLiteral("\nVIEWER01")));
  }

  void infoBoxOkReturnsOne() {
    MInfoBox box(kTitleNotice, 20052, kIconNotice);
    ClickWhenShown(kIdOk);
    QCOMPARE(box.DoModal(nullptr), kIdOk);
  }

  void modelessBoxClosesItselfOrOnButton() {
    QPointer<MInfoBox> timed = new MInfoBox(kTitleError, 20053, kIconError);
    timed->ShowModeless(50, nullptr);
    QVERIFY(timed->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(timed.isNull(), 5000);

    QPointer<MInfoBox> pressed = new MInfoBox(kTitleError, 20053, kIconError);
    pressed->ShowModeless(60000, nullptr);
    FindButton(pressed, kIdOk)->click();
    QTRY_VERIFY_WITH_TIMEOUT(pressed.isNull(), 5000);
  }

  void progressNoticeTellsItsOwner() {
    MessageReceiver owner;
    QPointer<MInfoBox3> box = new MInfoBox3(&owner, 42, 20123, false);
    box->ShowModeless(nullptr);
    FindButton(box, kIdOk)->click();
    QTRY_COMPARE(owner.messages.size(), 1);
    QCOMPARE(owner.messages[0].first, WM_INFOBOX_CANCEL);
    QCOMPARE(owner.messages[0].second, std::uintptr_t{42});
    QTRY_VERIFY(box.isNull());
    MInfoBox3 silent(&owner, 1, 20123, true);
    QCOMPARE(FindButton(&silent, kIdOk), nullptr);
  }
};

QTEST_MAIN(MessageBoxTest)
#include "MessageBoxTest.moc"
