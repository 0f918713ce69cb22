// "Keep the picture's proportions": a picture painted by the RGB surface
// keeps its proportions with bars in the pane's background beside or above
// it when the setting is on, and fills the pane when it is off (the
// default); the video widget of the YUV kinds follows the same switch; the
// main window reads the setting at start-up and the form's setter switches
// every pane.
#include <QtTest>
#include <QSettings>
#include <QVideoWidget>
#include <thread>
#include <vector>

#include "FakeAudioDevices.h"
#include "FakePaneLink.h"
#include "MainWindow.h"
#include "RecordingPresenter.h"
#include "base/MRegistry.h"
#include "base/SettingsIndex.h"
#include "controls/MessageBoxes.h"
#include "form/MFormView.h"
#include "pane/MViewer.h"
#include "video/Convert.h"
#include "video/VideoView.h"
#include "video/YuvSurface.h"

namespace {

FakePaneLink& Fake() {
  static FakePaneLink link;
  return link;
}

// Grey 128 of a video-range picture is painted 130.
constexpr int kGrey = 130;

bool IsGrey(const QColor& c) { return c.red() == kGrey && c.green() == kGrey && c.blue() == kGrey; }

// A grey W x H picture presented and blitted by a render thread.
void Show(QtRgbSurface& surface, int w, int h) {
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(w) * h * 3 / 2, 128);
  std::thread render([&] {
    surface.PresentFrame(picture.data(), w, h, PictureRange::kVideo, false);
    surface.BlitFrame();
  });
  render.join();
}

// Every pixel of the middle row and the middle column is the picture's grey
// inside |picture| and the background outside; "" when so, else the first
// pixel that is not.
QString Misplaced(const QImage& shown, const QRect& picture) {
  const QColor background = VideoView::Background();
  auto check = [&](int x, int y) -> QString {
    const QColor c = shown.pixelColor(x, y);
    const bool inside = picture.contains(x, y);
    if (inside ? IsGrey(c) : c == background) return {};
    return QStringLiteral("(%1, %2) is %3, %4 expected").arg(x).arg(y).arg(c.name(), inside ? "grey" : "background");
  };
  for (int x = 0; x < shown.width(); ++x) {
    const QString bad = check(x, shown.height() / 2);
    if (!bad.isEmpty()) return bad;
  }
  for (int y = 0; y < shown.height(); ++y) {
    const QString bad = check(shown.width() / 2, y);
    if (!bad.isEmpty()) return bad;
  }
  return {};
}

}  // namespace

class KeepAspectTest : public QObject {
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

  void barsInThePanesBackground_data() {
    QTest::addColumn<QSize>("pane");
    QTest::addColumn<QSize>("pictureSize");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<bool>("switchedAfter");  // switched on after the picture came
    QTest::addColumn<QRect>("shown");        // where the picture is painted
    const QSize vga(640, 480);
    QTest::newRow("full HD pane, kept: bars left and right")
        << QSize(1920, 1080) << vga << true << false << QRect(240, 0, 1440, 1080);
    QTest::newRow("full HD pane, stretched") << QSize(1920, 1080) << vga << false << false << QRect(0, 0, 1920, 1080);
    QTest::newRow("full HD pane, switched on while shown")
        << QSize(1920, 1080) << vga << true << true << QRect(240, 0, 1440, 1080);
    QTest::newRow("tall pane, kept: bars above and below")
        << QSize(480, 1080) << vga << true << false << QRect(0, 360, 480, 360);
    QTest::newRow("pane smaller than the picture, kept")
        << QSize(320, 180) << vga << true << false << QRect(40, 0, 240, 180);
    QTest::newRow("pane of the picture's proportions, kept") << QSize(800, 600) << vga << true << false
                                                              << QRect(0, 0, 800, 600);
    QTest::newRow("wide picture in a 4:3 pane, kept")
        << QSize(640, 480) << QSize(640, 360) << true << false << QRect(0, 60, 640, 360);
  }
  void barsInThePanesBackground() {
    QFETCH(QSize, pane);
    QFETCH(QSize, pictureSize);
    QFETCH(bool, keep);
    QFETCH(bool, switchedAfter);
    QFETCH(QRect, shown);
    VideoView view;
    view.resize(pane);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(!view.KeepAspect());  // off unless asked
    if (!switchedAfter) view.SetKeepAspect(keep);
    QtRgbSurface surface(&view, kKindRGB32);
    QCOMPARE(surface.CreateVideoSurfaces(pictureSize.width(), pictureSize.height()), 1);
    Show(surface, pictureSize.width(), pictureSize.height());
    if (switchedAfter) view.SetKeepAspect(keep);
    const QImage image = view.grab().toImage();
    QCOMPARE(image.size(), pane);
    const QString bad = Misplaced(image, shown);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    // A pane smaller than the picture gets it converted at the size shown.
    if (pane.width() < pictureSize.width() && !switchedAfter) QCOMPARE(view.CurrentImage().size(), shown.size());
  }

  // The YUV kinds' video widget keeps or ignores the proportions with the
  // view.
  void videoWidgetFollowsTheSwitch() {
    VideoView view;
    view.resize(320, 240);
    view.show();
    view.SetKeepAspect(true);
    QtYuvSurface surface(&view);
    surface.CreateKind(kKindYV12, 64, 48);
    auto* widget = view.findChild<QVideoWidget*>();
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->aspectRatioMode(), Qt::KeepAspectRatio);
    view.SetKeepAspect(false);
    QCOMPARE(widget->aspectRatioMode(), Qt::IgnoreAspectRatio);
    view.SetKeepAspect(true);
    QCOMPARE(widget->aspectRatioMode(), Qt::KeepAspectRatio);
  }

  // "Global"\"View"\"KeepAspect" read at start-up: 1 keeps every pane's
  // proportions; anything else (missing, 0, out of range) stretches; the
  // form's setter switches them all.
  void settingReadAtStartUp_data() {
    QTest::addColumn<QString>("stored");  // empty: not stored
    QTest::addColumn<bool>("keep");
    QTest::newRow("not stored") << QString() << false;
    QTest::newRow("0") << QStringLiteral("0") << false;
    QTest::newRow("1") << QStringLiteral("1") << true;
    QTest::newRow("out of range") << QStringLiteral("7") << false;
  }
  void settingReadAtStartUp() {
    QFETCH(QString, stored);
    QFETCH(bool, keep);
    SettingsKey global;
    QCOMPARE(OpenSettingsKey(QString::fromUtf8(settings::kGlobalKey), &global), 1);
    if (stored.isEmpty()) {
      QSettings(QSettings::NativeFormat, QSettings::UserScope, "Halvik", "Tessora").remove("Global/View/KeepAspect");
    } else {
      QCOMPARE(WriteSettingDword(global, settings::kKeepAspect, stored.toInt()), 1);
    }
    const GlobalSettings g = ReadGlobalSettings(global);
    QCOMPARE(g.keepAspect, keep);
    FakeAudioFactory audio;
    FormOptions o;
    o.audio = &audio;
    o.autoSignInStep = std::chrono::milliseconds(1);
    o.workArea = QSize(1920, 1080);
    o.pane.link = &Fake();
    MainWindow w(0, g, o);
    MFormView* form = w.Form();
    QCOMPARE(form->KeepAspect(), keep);
    for (int i = 0; i < form->PaneCount(); ++i) QCOMPARE(form->Pane(i)->View()->KeepAspect(), keep);
    form->SetKeepAspect(!keep);
    for (int i = 0; i < form->PaneCount(); ++i) QCOMPARE(form->Pane(i)->View()->KeepAspect(), !keep);
  }
};

QTEST_MAIN(KeepAspectTest)
#include "KeepAspectTest.moc"
