// The interface language and the viewer's command line: every string id in
// Korean and English with the same line breaks and placeholders, the texts
// of the program's own controls and the pane menu in both languages, the choice
// by --lang and by the global setting, the boxes following the choice, and
// the options the viewer reads (its own, Qt's, and usage errors).
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

#include "InstanceRegistry.h"
#include "StartUp.h"
#include "StringTable.h"
#include "base/MRegistry.h"
#include "controls/MInfoBox.h"
#include "pane/PaneMenu.h"
#include "pane/ViewerSession.h"

namespace {

// The parts of a text a translation must keep: line breaks ("\r\n", a lone
// "\n" or "\r") and printf conversions, in order.
std::string Shape(const char* text) {
  std::string shape;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '\r' && p[1] == '\n') {
      shape += "<CRLF>";
      ++p;
    } else if (*p == '\n') {
      shape += "<LF>";
    } else if (*p == '\r') {
      shape += "<CR>";
    } else if (*p == '%') {
      shape += '%';
      while (p[1] != '\0' && std::strchr("-+ #0123456789.*hlLqjzt", p[1]) != nullptr) shape += *++p;
      if (p[1] != '\0') shape += *++p;
    }
  }
  return shape;
}

bool HasHangul(const char* text) {
  // Hangul syllables and jamo are encoded from lead byte 0xE1 (jamo) and
  // 0xEA..0xED (syllables) in UTF-8.
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (*p == 0xE1 || (*p >= 0xEA && *p <= 0xED)) return true;
  }
  return false;
}

std::vector<const char*> Words(std::initializer_list<const char*> words) {
  std::vector<const char*> argv{"tessora-viewer"};
  argv.insert(argv.end(), words);
  return argv;
}

}  // namespace

class LanguageTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QDir(dir_.path()).filePath("config").toUtf8());
    QVERIFY(OpenSettingsKey(QStringLiteral("Global"), &global_) == 1);
  }
  void cleanup() { SetLanguage(Language::kKorean); }

  void everyIdHasBothLanguagesWithTheSameShape() {
    int count = 0;
    const int* ids = StringIds(&count);
    QVERIFY(count > 100);
    for (int i = 0; i < count; ++i) {
      const int id = ids[i];
      const char* korean = LoadStringText(id, Language::kKorean);
      const char* english = LoadEnglishText(id);
      QVERIFY2(*korean != '\0', qPrintable(QString::number(id)));
      QVERIFY2(*english != '\0', qPrintable(QStringLiteral("%1 has no English text").arg(id)));
      QVERIFY2(!HasHangul(english), qPrintable(QStringLiteral("%1: %2").arg(id).arg(english)));
      QVERIFY2(Shape(korean) == Shape(english),
               qPrintable(QStringLiteral("%1: %2 vs %3").arg(id).arg(Shape(korean).c_str(), Shape(english).c_str())));
    }
    // No English text for an id the table does not hold.
    for (int id = 20000; id <= 20181; ++id) {
      if (*LoadStringText(id, Language::kKorean) == '\0') QCOMPARE(LoadEnglishText(id), "");
    }
  }

  // The texts of our own controls (menus, box buttons, tray) in both
  // languages with the same placeholders.
  void everyControlTextHasBothLanguages() {
    for (int i = 0; i < static_cast<int>(UiText::kCount); ++i) {
      const auto key = static_cast<UiText>(i);
      const char* korean = UiString(key, Language::kKorean);
      const char* english = UiString(key, Language::kEnglish);
      QVERIFY2(HasHangul(korean), qPrintable(QStringLiteral("%1: %2").arg(i).arg(korean)));
      QVERIFY2(*english != '\0' && !HasHangul(english), qPrintable(QStringLiteral("%1: %2").arg(i).arg(english)));
      QCOMPARE(Shape(korean), Shape(english));
      QCOMPARE(QString::fromUtf8(UiString(key)), QString::fromUtf8(korean));  // Korean by default
    }
  }

  // Every item of both pane menus, submenus included, in the chosen language.
  void paneMenuFollowsTheChosenLanguage() {
    std::function<void(const std::vector<PaneMenuItem>&, bool)> check = [&](const auto& items, bool english) {
      for (const PaneMenuItem& item : items) {
        if (item.IsSeparator()) continue;
        QVERIFY2(HasHangul(item.text.c_str()) != english, item.text.c_str());
        check(item.children, english);
      }
    };
    for (Language language : {Language::kKorean, Language::kEnglish}) {
      SetLanguage(language);
      for (int group : {0, 2}) {
        PaneMenuInputs in;
        in.state = kPaneLive;
        in.group = group;
        in.codec = 2;
        const PaneMenuModel menu = BuildPaneMenu(in);
        QVERIFY(menu.items.size() > 5);
        check(menu.items, language == Language::kEnglish);
      }
    }
  }

  void boxesFollowTheChosenLanguage() {
    QCOMPARE(CurrentLanguage(), Language::kKorean);
    const QString korean = StringText(20110);
    SetLanguage(Language::kEnglish);
    QCOMPARE(StringText(20110), QStringLiteral("Quit the program?"));
    // Line ends as the boxes show them: CR LF becomes LF.
    QCOMPARE(StringText(20050), QStringLiteral("Stop the current recording\nand start motion detection?\n"));
    MInfoBox box(20084, 20052, 0);
    QCOMPARE(box.message(), QStringLiteral("The image was saved.\n"));
    QCOMPARE(box.windowTitle(), QStringLiteral("Error"));
    SetLanguage(Language::kKorean);
    QCOMPARE(StringText(20110), korean);
    QVERIFY(korean != QStringLiteral("Quit the program?"));
  }

  void languageFromOptionOrSetting_data() {
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("stored");  // "-": no stored value
    QTest::addColumn<bool>("english");
    QTest::newRow("nothing: Korean") << "" << "-" << false;
    QTest::newRow("setting en") << "" << "en" << true;
    QTest::newRow("setting EN, any case") << "" << "EN" << true;
    QTest::newRow("setting ko") << "" << "ko" << false;
    QTest::newRow("unknown setting: Korean") << "" << "fr" << false;
    QTest::newRow("--lang en") << "en" << "-" << true;
    QTest::newRow("--lang ko wins over the setting") << "ko" << "en" << false;
    QTest::newRow("--lang en wins over the setting") << "en" << "ko" << true;
  }
  void languageFromOptionOrSetting() {
    QFETCH(QString, option);
    QFETCH(QString, stored);
    {
      // Written as a person or another program writes the store: Global/Language.
      QSettings store(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora");
      if (stored == QStringLiteral("-")) {
        store.remove(QStringLiteral("Global/Language"));
      } else {
        store.setValue(QStringLiteral("Global/Language"), stored);
      }
    }
    const Language chosen = ChooseLanguage(option.toStdString(), global_);
    QFETCH(bool, english);
    QCOMPARE(chosen == Language::kEnglish, english);
  }

  void viewerOptions_data() {
    QTest::addColumn<std::vector<const char*>>("argv");
    QTest::addColumn<int>("instance");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::addColumn<QString>("error");  // a part of the usage error; empty: none
    QTest::newRow("none") << Words({}) << -1 << "" << false << false << "";
    QTest::newRow("--instance 2") << Words({"--instance", "2"}) << 2 << "" << false << false << "";
    QTest::newRow("--instance=3") << Words({"--instance=3"}) << 3 << "" << false << false << "";
    QTest::newRow("--lang en") << Words({"--lang", "en"}) << -1 << "en" << false << false << "";
    QTest::newRow("help") << Words({"--help"}) << -1 << "" << true << false << "";
    QTest::newRow("version") << Words({"--version"}) << -1 << "" << false << true << "";
    QTest::newRow("Qt options with values")
        << Words({"-platform", "offscreen", "--style=fusion", "-qwindowtitle", "x", "--instance", "1"}) << 1 << ""
        << false << false << "";
    QTest::newRow("Qt flags") << Words({"-reverse", "--lang", "ko", "-nograb"}) << -1 << "ko" << false << false << "";
    QTest::newRow("instance out of range") << Words({"--instance", "4"}) << -1 << "" << false << false
                                           << "from 0 to 3";
    QTest::newRow("instance not a number") << Words({"--instance", "1x"}) << -1 << "" << false << false
                                           << "from 0 to 3";
    QTest::newRow("instance without value") << Words({"--instance"}) << -1 << "" << false << false
                                            << "--instance needs a value";
    QTest::newRow("unknown language") << Words({"--lang", "de"}) << -1 << "" << false << false << "not 'de'";
    QTest::newRow("Qt option without value") << Words({"-style"}) << -1 << "" << false << false
                                             << "-style needs a value";
    QTest::newRow("unknown option") << Words({"--fullscreen"}) << -1 << "" << false << false
                                    << "unknown option --fullscreen";
    QTest::newRow("extra argument") << Words({"camera.ini"}) << -1 << "" << false << false
                                    << "unexpected argument 'camera.ini'";
  }
  void viewerOptions() {
    QFETCH(std::vector<const char*>, argv);
    const ViewerOptions o = ParseViewerArguments(static_cast<int>(argv.size()), argv.data());
    QFETCH(QString, error);
    if (error.isEmpty()) {
      QCOMPARE(QString::fromStdString(o.error), QString());
    } else {
      QVERIFY2(QString::fromStdString(o.error).contains(error), o.error.c_str());
      return;
    }
    QFETCH(int, instance);
    QFETCH(QString, lang);
    QFETCH(bool, help);
    QFETCH(bool, version);
    QCOMPARE(o.instance, instance);
    QCOMPARE(QString::fromStdString(o.lang), lang);
    QCOMPARE(o.help, help);
    QCOMPARE(o.version, version);
  }

  // --instance N takes that number without a question, or ends with 1 when
  // another process holds it.
  void instanceOptionClaimsTheNumber() {
    QTemporaryDir locks;
    InstanceRegistry first(locks.path());
    const StartDecision d = ClaimInstance(first, 2);
    QVERIFY(d.start);
    QCOMPARE(d.instance, 2);
    InstanceRegistry second(locks.path());
    const StartDecision again = ClaimInstance(second, 2);
    QVERIFY(!again.start);
    QCOMPARE(again.exitCode, 1);
  }

 private:
  QTemporaryDir dir_;
  SettingsKey global_;
};

QTEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
