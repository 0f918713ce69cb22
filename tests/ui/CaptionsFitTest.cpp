// Captions drawn in one line at the largest size of their font that fits
// their control, with the fonts installed on this machine: the fitting rule,
// the controls that refit when their text or size changes, and a walk over
// every window and box the program shows, in both languages, that finds
// each caption wider than its control.
#include <QtTest>

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <memory>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MainWindow.h"
#include "StringTable.h"
#include "base/MRegistry.h"
#include "controls/FitText.h"
#include "controls/MButton.h"
#include "controls/MCheckBox.h"
#include "controls/MInfoBox.h"
#include "controls/MSelectRecordBox.h"
#include "controls/MStatic.h"
#include "controls/Skin.h"
#include "form/AboutBox.h"
#include "form/MFormView.h"
#include "form/SidePanel.h"
#include "form/StatusStrip.h"
#include "pane/MViewer.h"

namespace {

// The windows and boxes the program can show.
enum class Window {
  kFormIdle,          // the main window, every pane with its sign-in panel
  kFormLive,          // pane 0 live with sound, every status label on
  kFormSmallScreen,   // 3 x 3 narrow panes on a 1024 x 768 screen
  kErrorBox,
  kWarningBox,
  kNoticeBox,
  kAccessDeniedBox,
  kQuestionBox,
  kProgressBox,       // the notice with its cancel button
  kRecordChoiceVideo,
  kRecordChoiceSlides,
  kAboutBox,          // the help command's box
};

struct WindowRow {
  const char* name;
  Window window;
};

constexpr WindowRow kWindows[] = {
    {"main form idle", Window::kFormIdle},
    {"main form live", Window::kFormLive},
    {"main form 3x3 small screen", Window::kFormSmallScreen},
    {"error box", Window::kErrorBox},
    {"warning box", Window::kWarningBox},
    {"notice box", Window::kNoticeBox},
    {"access denied box", Window::kAccessDeniedBox},
    {"question box", Window::kQuestionBox},
    {"progress box", Window::kProgressBox},
    {"record choice, video", Window::kRecordChoiceVideo},
    {"record choice, slides", Window::kRecordChoiceSlides},
    {"about box", Window::kAboutBox},
};

FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

int PixelSize(const QFont& f) { return f.pixelSize() > 0 ? f.pixelSize() : qRound(f.pointSizeF()); }

// The widest line of |text| in |font|; with |wrapped|, the widest word (a
// wrapped label breaks its lines between words).
int Needed(const QFont& font, const QString& text, bool wrapped) {
  const QFontMetrics fm(font);
  int widest = 0;
  const QStringList parts = wrapped ? text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)
                                    : text.split(QLatin1Char('\n'));
  for (const QString& part : parts) widest = std::max(widest, fm.horizontalAdvance(part));
  return widest;
}

// One caption as drawn: its text, the font it is drawn in, the width it has
// and, when the control fitted it, the size it was designed at.
struct Caption {
  QString text;
  QFont font;
  int room = 0;
  bool wrapped = false;
  int designed = 0;
};

int DesignedOf(const QWidget* w) { return w->property(fit::kDesignedSizeProperty).toInt(); }

// The caption |w| draws, if it draws one. The text areas are what each
// control draws its text into.
bool CaptionOf(QWidget* w, Caption* c) {
  if (auto* box = qobject_cast<MBoxBase*>(w)) {
    *c = {box->title(), box->TitleFont(), box->TitleRect().width(), false, PixelSize(skin::BoldFont())};
    return true;
  }
  if (auto* check = qobject_cast<MCheckBox*>(w)) {
    // The label is drawn from 15 pixels right of the box's left edge.
    *c = {check->Label(), check->font(), check->width() - 15, false, DesignedOf(w)};
    return !c->text.isEmpty();
  }
  if (auto* button = qobject_cast<MButton*>(w)) {
    // A labelled face keeps 2 pixels on each side for its rounded border.
    *c = {button->text(), button->font(), button->width() - 4, false, DesignedOf(w)};
    return !c->text.isEmpty();
  }
  if (qobject_cast<QCheckBox*>(w) != nullptr || qobject_cast<QRadioButton*>(w) != nullptr) {
    auto* b = static_cast<QAbstractButton*>(w);
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    const bool check = qobject_cast<QCheckBox*>(w) != nullptr;
    const QRect area = b->style()->subElementRect(
        check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, b);
    *c = {b->text(), b->font(), area.width(), false, DesignedOf(w)};
    return !c->text.isEmpty();
  }
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    *c = {b->text(), b->font(), b->width(), false, DesignedOf(w)};
    return !c->text.isEmpty();
  }
  if (auto* label = qobject_cast<QLabel*>(w)) {
    const int room = label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
    *c = {label->text(), label->font(), room, label->wordWrap(), DesignedOf(w)};
    return !c->text.isEmpty() && label->textFormat() != Qt::RichText;
  }
  return false;
}

// A box's message, word-wrapped in the font the box draws it in: where it
// ends past its area or runs under a button, the offending line ("" when
// it fits); |smaller| gets it when drawn below the box's bold size.
QString MessageLine(MBoxBase* box, const QString& where, QSet<QString>* smaller) {
  const QRect area = box->MessageArea();
  const QFont font = box->MessageFont();
  const QRect drawn = QFontMetrics(font)
                          .boundingRect(QRect(area.topLeft(), QSize(area.width(), 1 << 20)),
                                        Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, box->message());
  bool under = false;
  for (const MButton* b : box->findChildren<MButton*>()) under = under || b->geometry().intersects(drawn);
  const QString line = QStringLiteral("%1: message \"%2\" %3 px: needs %4 x %5, has %6 x %7%8")
                           .arg(where, box->message().left(40).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                QString::number(PixelSize(font)), QString::number(drawn.width()),
                                QString::number(drawn.height()), QString::number(area.width()),
                                QString::number(area.height()), under ? QStringLiteral(", under a button") : QString());
  if (PixelSize(font) < PixelSize(skin::BoldFont())) smaller->insert(line);
  return drawn.width() > area.width() || drawn.height() > area.height() || under ? line : QString();
}

QString NameOf(const QWidget* w) {
  return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// Walks |top| and every control it shows: each caption wider than its text
// area is an offender; |smaller| gets every caption drawn below its
// designed size; |count| the number of captions measured. The window is
// painted first, as the screen would, so what is measured is what is drawn.
// TESSORA_CAPTIONS_LIST set prints every caption measured.
QStringList Walk(QWidget* top, const QString& where, QStringList* smaller, int* count) {
  top->grab();
  QStringList offenders;
  QList<QWidget*> widgets{top};
  widgets += top->findChildren<QWidget*>();
  for (QWidget* w : widgets) {
    if (w != top && !w->isVisibleTo(top)) continue;
    Caption c;
    if (!CaptionOf(w, &c)) continue;
    ++*count;
    if (auto* box = qobject_cast<MBoxBase*>(w)) {
      QSet<QString> small;
      const QString message = MessageLine(box, where, &small);
      if (!message.isEmpty()) offenders << message;
      *smaller += small.values();
    }
    const int needed = Needed(c.font, c.text, c.wrapped);
    const QString line = QStringLiteral("%1: %2 \"%3\" %4 px %5: needs %6, has %7")
                             .arg(where, NameOf(w), c.text, QString::number(PixelSize(c.font)),
                                  QFontInfo(c.font).family(), QString::number(needed), QString::number(c.room));
    if (qEnvironmentVariableIsSet("TESSORA_CAPTIONS_LIST")) qInfo("%s", qPrintable(line));
    if (needed > c.room) offenders << line;
    if (c.designed > PixelSize(c.font)) {
      *smaller << QStringLiteral("%1 (designed %2 px)").arg(line, QString::number(c.designed));
    }
  }
  return offenders;
}

FormOptions Options(AudioDeviceFactory* audio, QSize workArea) {
  FormOptions o;
  o.audio = audio;
  o.autoSignInStep = std::chrono::milliseconds(1);
  o.workArea = workArea;
  o.pane.link = &Fake();
  return o;
}

// Pane 0 signed in over the fake link, live with sound and its alarm
// counts, with every status label of the strip shown as the pane's switches
// would show them.
void MakeLive(MFormView* form) {
  ViewerSession& s = form->Pane(0)->Session();
  SignInFields f = s.Fields();
  f.alias = QStringLiteral("Front door");
  s.SetFields(f);
  // Motion detection and the sensor on: the pane shows its alarm counts.
  LoginInfo info{};
  info.ioEnabled = info.motionEnabled = info.sensorEnabled = 1;
  QCOMPARE(DriveSession(s, Fake(), kPaneLiveAudio, 0, info), kPaneLiveAudio);
  QCoreApplication::processEvents();
  PaneStatus status = form->StatusOf(0);
  status.listening = status.talking = status.motionOn = status.flashOn = status.recording = true;
  form->Strip()->SetCurrent(form->CellRect(0), form->Geometry().TitleWidth(), status);
}

}  // namespace

class CaptionsFitTest : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("XDG_CONFIG_HOME", QDir(dir_.path()).filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", QDir(dir_.path()).filePath("data").toUtf8());
  }
  void cleanup() { SetLanguage(Language::kKorean); }

  void fittingFont_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("designed");
    QTest::newRow("fits") << QStringLiteral("MIC") << 100 << true;
    QTest::newRow("empty") << QString() << 0 << true;
    QTest::newRow("too wide") << QStringLiteral("Save ID on this computer") << 120 << false;
    QTest::newRow("korean too wide") << QString::fromUtf8("이 컴퓨터에 아이디 저장") << 90 << false;
    // Two lines are as wide as the wider one.
    QTest::newRow("two lines") << QStringLiteral("Slide\ninterval") << 60 << true;
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

  // A label refits whenever its text or width changes, however the text was
  // set, and a font set from outside is its new designed font.
  void labelRefits() {
    QWidget parent;
    auto* label = new MStatic(&parent, 7, QRect(0, 0, 60, 16), Qt::white, Qt::black, skin::PlainFont());
    QLabel* plain = label;
    const QString wide = QStringLiteral("Slide interval");
    label->setText(wide);
    QVERIFY(QFontMetrics(label->font()).horizontalAdvance(wide) <= 60);
    QVERIFY(label->font().pixelSize() < 13);
    label->setText(QStringLiteral("s"));
    QCOMPARE(label->font(), skin::PlainFont());
    plain->setText(wide);  // through the plain label: refitted before it is drawn
    label->grab();
    QVERIFY(QFontMetrics(label->font()).horizontalAdvance(wide) <= 60);
    label->resize(200, 16);  // hidden: refitted before it is drawn
    label->grab();
    QCOMPARE(label->font(), skin::PlainFont());
    QFont bold = skin::BoldFont();
    bold.setPixelSize(11);
    label->setFont(bold);
    QCOMPARE(label->font(), bold);
    QCOMPARE(label->property(fit::kDesignedSizeProperty).toInt(), 11);
  }

  // A labelled button's face is drawn in the font the button reports.
  void labelledButtonFits() {
    QWidget parent;
    MButton* b = MButton::Labelled(&parent, 3, 0, 0, QSize(60, 26), QStringLiteral("Settings"));
    QCOMPARE(b->text(), QStringLiteral("Settings"));
    QVERIFY(QFontMetrics(b->font()).horizontalAdvance(b->text()) <= 56);
    QCOMPARE(b->font(), skin::ButtonFont(QSize(60, 26), b->text()));
  }

  // Every text of the string table as the message of an information box
  // and of a question box, in both languages: word-wrapped in the font the
  // box draws it in, it ends above the box's buttons, no word cut.
  void boxMessagesFit() {
    int count = 0;
    const int* ids = StringIds(&count);
    QStringList offenders;
    QSet<QString> smaller;
    for (Language language : {Language::kKorean, Language::kEnglish}) {
      SetLanguage(language);
      for (int i = 0; i < count; ++i) {
        MInfoBox info(kTitleError, ids[i], kIconError);
        MQuestionBox question(kTitleQuestion, ids[i], kIconQuestion);
        for (MBoxBase* box : {static_cast<MBoxBase*>(&info), static_cast<MBoxBase*>(&question)}) {
          const QString where = QStringLiteral("%1 %2 %3").arg(ids[i]).arg(language == Language::kKorean ? "ko" : "en",
                                                                  box->metaObject()->className());
          const QString line = MessageLine(box, where, &smaller);
          if (!line.isEmpty()) offenders << line;
        }
      }
    }
    QStringList sizes = smaller.values();
    sizes.sort();
    for (const QString& s : sizes) qInfo("smaller size: %s", qPrintable(s));
    QVERIFY2(offenders.isEmpty(), qPrintable(QLatin1Char('\n') + offenders.join(QLatin1Char('\n'))));
  }

  // The sign-in panel draws its edits' captions itself, right-aligned in
  // their boxes; "Alias:" has the pane's left edge for its box's: no caption
  // ink may touch that edge (a glyph cut there would).
  void signInCaptionsKeepOffThePaneEdge() {
    FakeAudioFactory audio;
    MainWindow main(0, GlobalSettings{}, Options(&audio, QSize(1920, 1080)));
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const QImage pane = main.Form()->Pane(0)->grab().toImage();
    const QRgb green = qRgb(165, 198, 99);  // the panel's background
    for (int y = 0; y < 140; ++y) QVERIFY2(pane.pixel(0, y) == green, qPrintable(QString::number(y)));
  }

  // Every window and box in both languages: every caption fits its control.
  void walk_data() {
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("language");
    for (const WindowRow& row : kWindows) {
      for (Language language : {Language::kKorean, Language::kEnglish}) {
        QTest::addRow("%s, %s", row.name, language == Language::kKorean ? "ko" : "en")
            << static_cast<int>(row.window) << static_cast<int>(language);
      }
    }
  }
  void walk() {
    QFETCH(int, window);
    QFETCH(int, language);
    SetLanguage(static_cast<Language>(language));
    const QString where = QString::fromLatin1(QTest::currentDataTag());
    FakeAudioFactory audio;
    std::unique_ptr<QWidget> top;
    MFormView* form = nullptr;
    SettingsKey key;
    QVERIFY(OpenSettingsKey(QStringLiteral("Viewer09"), &key) == 1);
    switch (static_cast<Window>(window)) {
      case Window::kFormIdle:
      case Window::kFormLive:
      case Window::kFormSmallScreen: {
        const bool small = static_cast<Window>(window) == Window::kFormSmallScreen;
        GlobalSettings g;
        g.columns = g.rows = small ? 3 : 2;
        auto* main = new MainWindow(0, g, Options(&audio, small ? QSize(1024, 768) : QSize(1920, 1080)));
        top.reset(main);
        form = main->Form();
        break;
      }
      case Window::kErrorBox: top = std::make_unique<MInfoBox>(kTitleError, 20053, kIconError); break;
      case Window::kWarningBox: top = std::make_unique<MInfoBox>(kTitleWarning, 20053, kIconWarning); break;
      case Window::kNoticeBox: top = std::make_unique<MInfoBox>(kTitleNotice, 20123, kIconNotice); break;
      case Window::kAccessDeniedBox: top = std::make_unique<MInfoBox>(); break;
      case Window::kQuestionBox:
        top = std::make_unique<MQuestionBox>(kTitleQuestion, 20110, kIconQuestion, QStringLiteral("VIEWER01"));
        break;
      case Window::kProgressBox: top = std::make_unique<MInfoBox3>(this, 1, 20123, false); break;
      case Window::kRecordChoiceVideo:
      case Window::kRecordChoiceSlides: top = std::make_unique<MSelectRecordBox>(key); break;
      case Window::kAboutBox: {
        auto box = std::make_unique<AboutBox>(ProgramPlaces());
        box->setAttribute(Qt::WA_DeleteOnClose, false);  // owned here
        top = std::move(box);
        break;
      }
    }
    top->show();
    QVERIFY(QTest::qWaitForWindowExposed(top.get()));
    if (static_cast<Window>(window) == Window::kFormLive) {
      MakeLive(form);
      QVERIFY(!form->Panel()->Control(kIdLogOutButton)->isHidden());
      QVERIFY(!form->Strip()->StatusLabel(StatusStrip::kMic)->isHidden());
      QVERIFY(form->Pane(0)->Session().Controls().MotionOn());
    }
    if (static_cast<Window>(window) == Window::kRecordChoiceSlides) {
      auto* box = static_cast<MSelectRecordBox*>(top.get());
      static_cast<QAbstractButton*>(box->Control(kIdRecordSlides))->click();
      QVERIFY(box->Control(kIdSlidePeriodLabel)->isVisible());
    }
    if (form != nullptr) {
      // Saving the ID shows the automatic sign-in box below it (the last
      // pane is idle in every case).
      MViewer* last = form->Pane(form->PaneCount() - 1);
      static_cast<QAbstractButton*>(last->Control(kIdSaveIdBox))->click();
      QVERIFY(last->Control(kIdAutoSignInBox)->isVisible());
    }
    QStringList smaller;
    int count = 0;
    const QStringList offenders = Walk(top.get(), where, &smaller, &count);
    QVERIFY(count >= 2);  // every window has a title and a button
    smaller.removeDuplicates();
    for (const QString& s : smaller) qInfo("smaller size: %s", qPrintable(s));
    if (form != nullptr) {
      for (int i = 0; i < form->PaneCount(); ++i) form->Pane(i)->LogOut();
    }
    QVERIFY2(offenders.isEmpty(), qPrintable(QLatin1Char('\n') + offenders.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(CaptionsFitTest)
#include "CaptionsFitTest.moc"
