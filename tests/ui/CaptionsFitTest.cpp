// Captions drawn in one line at the largest size of their font that fits
// their control, with the fonts installed on this machine.
#include <QtTest>

#include "controls/FitText.h"
#include "controls/MCheckBox.h"
#include "controls/Skin.h"

class CaptionsFitTest : public QObject {
  Q_OBJECT

 private slots:
  void fittingFont_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("designed");
    QTest::newRow("fits") << QStringLiteral("MIC") << 100 << true;
    QTest::newRow("empty") << QString() << 0 << true;
    QTest::newRow("too wide") << QStringLiteral("Save ID on this computer") << 120 << false;
    QTest::newRow("korean too wide") << QString::fromUtf8("이 컴퓨터에 아이디 저장") << 90 << false;
  }
  void fittingFont() {
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(bool, designed);
    const QFont base = skin::BoldFont();
    const QFont f = fit::FittingFont(base, text, width);
    QCOMPARE(f == base, designed);
    QVERIFY(fit::TextWidth(f, text) <= width);
    QCOMPARE(f.family(), base.family());
    QCOMPARE(f.weight(), base.weight());
    // The largest size that fits: one pixel more does not.
    if (!designed) {
      QFont bigger = f;
      bigger.setPixelSize(f.pixelSize() + 1);
      QVERIFY(fit::TextWidth(bigger, text) > width);
    }
  }

  // A drawn check box's label keeps the room right of its face.
  void checkBoxLabelFits_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("width");
    QTest::newRow("short") << QStringLiteral("Video") << 140;
    QTest::newRow("long") << QStringLiteral("Record pictures one by one") << 140;
  }
  void checkBoxLabelFits() {
    QFETCH(QString, label);
    QFETCH(int, width);
    QWidget parent;
    MCheckBox* box = MCheckBox::Drawn(label, &parent, 1, QRect(0, 0, width, 16), Qt::white);
    QVERIFY(box->fontMetrics().horizontalAdvance(box->Label()) <= width - 15);
  }
};

QTEST_MAIN(CaptionsFitTest)
#include "CaptionsFitTest.moc"
