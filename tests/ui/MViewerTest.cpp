// The pane's sign-in panel and its stored "Signin" values.
#include <QtTest>
#include <QCheckBox>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>

#include "pane/MViewer.h"
#include "base/MRegistry.h"
#include "base/base.h"

class MViewerTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

  static SettingsKey Key(int index) {
    SettingsKey key;
    OpenSettingsKey(QStringLiteral("Viewer%1").arg(index, 2, 10, QLatin1Char('0')), &key);
    return key;
  }
  static QString Read(const SettingsKey& key, const settings::TextSetting& s) {
    QString out;
    ReadSettingString(key, s, 260, &out);
    return out;
  }

 private slots:
  void initTestCase() { qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toUtf8()); }

  void storedValuesFillThePanel() {
    const SettingsKey key = Key(5);
    WriteSettingString(key, settings::kSigninUrl, QStringLiteral("cam.example"));
    WriteSettingDword(key, settings::kSigninPort, 9191);
    WriteSettingString(key, settings::kSigninId, QStringLiteral("admin"));
    WriteSettingString(key, settings::kSigninPw, QString::fromStdString(ScrambleText(std::string("secret"))));
    MViewer pane(nullptr, nullptr, 5, 5, QRect(0, 0, 320, 240));
    const SignInFields f = pane.Session().Fields();
    // The panel shows what the session holds.
    QCOMPARE(qobject_cast<QLineEdit*>(pane.Control(kIdAddressEdit))->text(), QStringLiteral("cam.example"));
    QCOMPARE(qobject_cast<QLineEdit*>(pane.Control(kIdPortEdit))->text(), QStringLiteral("9191"));
    QCOMPARE(f.url, QStringLiteral("cam.example"));
    QCOMPARE(f.port, QStringLiteral("9191"));
    QCOMPARE(f.id, QStringLiteral("admin"));
    QCOMPARE(f.password, QStringLiteral("secret"));
    QVERIFY(f.saveId && f.autoSignIn);
    QVERIFY(pane.Session().AutoSignIn());
  }

  // Switching a box off forgets what it kept: "Save ID" the id and the
  // password, "Signin Automatically" the password only.
  void switchingBoxesOffForgetsStoredValues_data() {
    QTest::addColumn<int>("box");
    QTest::addColumn<bool>("idKept");
    QTest::newRow("save id off") << kIdSaveIdBox << false;
    QTest::newRow("automatic off") << kIdAutoSignInBox << true;
  }
  void switchingBoxesOffForgetsStoredValues() {
    QFETCH(int, box);
    QFETCH(bool, idKept);
    const SettingsKey key = Key(6);
    WriteSettingString(key, settings::kSigninId, QStringLiteral("admin"));
    WriteSettingString(key, settings::kSigninPw, QString::fromStdString(ScrambleText(std::string("pw"))));
    MViewer pane(nullptr, nullptr, 6, 6, QRect(0, 0, 320, 240));
    auto* check = qobject_cast<QCheckBox*>(pane.Control(box));
    QVERIFY(check && check->isChecked());
    check->setChecked(false);
    QCOMPARE(Read(key, settings::kSigninId).isEmpty(), !idKept);
    QVERIFY(Read(key, settings::kSigninPw).isEmpty());
    QVERIFY(!pane.Session().Fields().autoSignIn);
  }

  // The panel's check box captions are whole in the installed fonts: a
  // caption too wide for its designed box is drawn smaller, never cut.
  void checkBoxCaptionsFit_data() {
    QTest::addColumn<int>("box");
    QTest::newRow("motion jpeg") << kIdMjpegBox;
    QTest::newRow("save id") << kIdSaveIdBox;
    QTest::newRow("automatic") << kIdAutoSignInBox;
  }
  void checkBoxCaptionsFit() {
    QFETCH(int, box);
    MViewer pane(nullptr, nullptr, 7, 7, QRect(0, 0, 320, 240));
    auto* check = qobject_cast<QCheckBox*>(pane.Control(box));
    QStyleOptionButton opt;
    opt.initFrom(check);
    opt.text = check->text();
    const int room = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, check).width();
    const int used = check->fontMetrics().horizontalAdvance(check->text());
    QVERIFY2(used <= room, qPrintable(QStringLiteral("%1: %2 > %3").arg(check->text()).arg(used).arg(room)));
    qInfo("%s: %d px", qPrintable(check->text()), check->font().pixelSize());
  }
};

QTEST_MAIN(MViewerTest)
#include "MViewerTest.moc"
