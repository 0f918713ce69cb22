#include <QtTest>
#include <vector>

#include "video/Convert.h"
#include "video/VideoView.h"

// The RGB surfaces end to end: a picture presented and blitted by a render
// thread shows up in the widget's painting, scaled, in every RGB kind.
class VideoViewTest : public QObject {
  Q_OBJECT
 private slots:
  void greyPictureIsPaintedGreyInEveryKind_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("RGB565") << kKindRGB565;
    QTest::newRow("RGB24") << kKindRGB24;
    QTest::newRow("RGB32") << kKindRGB32;
    QTest::newRow("desktop depth") << 0;
  }
  void greyPictureIsPaintedGreyInEveryKind() {
    QFETCH(int, kind);
    const int w = 64, h = 48;
    std::vector<std::uint8_t> picture(w * h * 3 / 2, 128);
    VideoView view;
    view.resize(160, 120);
    view.show();
    QtRgbSurface surface(&view, kind);
    QCOMPARE(surface.CreateVideoSurfaces(w, h), 1);
    QVERIFY(surface.Kind() >= kKindRGB565);
    std::thread render([&] {
      surface.PresentFrame(picture.data(), w, h, false);
      QCOMPARE(surface.BlitFrame(), 1);
    });
    render.join();
    const QImage shown = view.grab().toImage();
    const QColor c = shown.pixelColor(80, 60);
    // RGB565 keeps 5 or 6 bits of each component.
    const int tolerance = surface.Kind() == kKindRGB565 ? 4 : 0;
    QVERIFY2(qAbs(c.red() - 130) <= tolerance && qAbs(c.green() - 130) <= tolerance &&
                 qAbs(c.blue() - 130) <= tolerance,
             qPrintable(c.name()));
  }

  void sizeMismatchIsSkipped() {
    VideoView view;
    QtRgbSurface surface(&view, kKindRGB32);
    QCOMPARE(surface.CreateVideoSurfaces(64, 48), 1);
    std::vector<std::uint8_t> picture(32 * 24 * 3 / 2, 255);
    surface.PresentFrame(picture.data(), 32, 24, false);  // not the surface's size
    QCOMPARE(surface.BlitFrame(), 1);
    QCOMPARE(view.CurrentImage().pixelColor(10, 10), QColor(0, 0, 0));
  }
};

QTEST_MAIN(VideoViewTest)
#include "VideoViewTest.moc"
