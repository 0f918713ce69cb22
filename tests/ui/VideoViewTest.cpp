#include <QtTest>
#include <vector>

#include "video/Convert.h"
#include "video/VideoView.h"

// The RGB surfaces end to end: a picture presented and blitted by a render
// thread shows up in the widget's painting, scaled, in every RGB kind.
class VideoViewTest : public QObject {
  Q_OBJECT
 private slots:
  // Grey 128 is 130 from a video-range picture (luma stretched from 16..235)
  // and 128 from a full-range one.
  void greyPictureIsPaintedGreyInEveryKind_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("full");
    QTest::addColumn<int>("grey");
    for (bool full : {false, true}) {
      const int grey = full ? 128 : 130;
      const char* range = full ? "full range" : "video range";
      QTest::addRow("RGB565, %s", range) << kKindRGB565 << full << grey;
      QTest::addRow("RGB24, %s", range) << kKindRGB24 << full << grey;
      QTest::addRow("RGB32, %s", range) << kKindRGB32 << full << grey;
      QTest::addRow("desktop depth, %s", range) << 0 << full << grey;
    }
  }
  void greyPictureIsPaintedGreyInEveryKind() {
    QFETCH(int, kind);
    QFETCH(bool, full);
    QFETCH(int, grey);
    const int w = 64, h = 48;
    std::vector<std::uint8_t> picture(w * h * 3 / 2, 128);
    VideoView view;
    view.resize(160, 120);
    view.show();
    QtRgbSurface surface(&view, kind);
    QCOMPARE(surface.CreateVideoSurfaces(w, h), 1);
    QVERIFY(surface.Kind() >= kKindRGB565);
    std::thread render([&] {
      surface.PresentFrame(picture.data(), w, h, full ? PictureRange::kFull : PictureRange::kVideo, false);
      QCOMPARE(surface.BlitFrame(), 1);
    });
    render.join();
    const QImage shown = view.grab().toImage();
    const QColor c = shown.pixelColor(80, 60);
    // RGB565 keeps 5 or 6 bits of each component.
    const int tolerance = surface.Kind() == kKindRGB565 ? 4 : 0;
    QVERIFY2(qAbs(c.red() - grey) <= tolerance && qAbs(c.green() - grey) <= tolerance &&
                 qAbs(c.blue() - grey) <= tolerance,
             qPrintable(c.name()));
  }

  // A view smaller than the picture gets the picture converted at its own
  // size, pixel for pixel what an unsmoothed painter would have shown; a
  // larger view gets the whole picture for the painter to stretch.
  void pictureIsConvertedAtTheViewsSize_data() {
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<bool>("mirror");
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<bool>("fullRange");
    QTest::newRow("half") << QSize(32, 24) << false << QSize(32, 24) << false;
    QTest::newRow("uneven shrink") << QSize(50, 30) << false << QSize(50, 30) << false;
    QTest::newRow("uneven shrink, mirrored") << QSize(50, 30) << true << QSize(50, 30) << false;
    QTest::newRow("uneven shrink, full range") << QSize(50, 30) << false << QSize(50, 30) << true;
    QTest::newRow("same size") << QSize(64, 48) << false << QSize(64, 48) << false;
    QTest::newRow("same size, full range") << QSize(64, 48) << false << QSize(64, 48) << true;
    QTest::newRow("larger view") << QSize(128, 96) << false << QSize(64, 48) << false;
    QTest::newRow("wider, lower view") << QSize(100, 20) << false << QSize(64, 48) << false;
  }
  void pictureIsConvertedAtTheViewsSize() {
    QFETCH(QSize, viewSize);
    QFETCH(bool, mirror);
    QFETCH(QSize, imageSize);
    QFETCH(bool, fullRange);
    const PictureRange range = fullRange ? PictureRange::kFull : PictureRange::kVideo;
    const int w = 64, h = 48;
    std::vector<std::uint8_t> picture(w * h * 3 / 2);
    for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<std::uint8_t>(i * 7 + i / 64);
    std::vector<std::uint8_t> full(static_cast<std::size_t>(w) * h * 4);
    QCOMPARE(ConvertPicture(kKindRGB32, picture.data(), w, h, range, mirror, full.data(), w * 4), 1);

    VideoView view;
    view.resize(viewSize);
    view.show();
    QtRgbSurface surface(&view, kKindRGB32);
    QCOMPARE(surface.CreateVideoSurfaces(w, h), 1);
    std::thread render([&] {
      surface.PresentFrame(picture.data(), w, h, range, mirror);
      QCOMPARE(surface.BlitFrame(), 1);
    });
    render.join();
    const QImage image = view.CurrentImage();
    QCOMPARE(image.size(), imageSize);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const int sx = x * w / image.width(), sy = y * h / image.height();
        const std::uint8_t* ref = &full[(static_cast<std::size_t>(sy) * w + sx) * 4];
        const QRgb px = image.pixel(x, y);
        QVERIFY2(qRed(px) == ref[2] && qGreen(px) == ref[1] && qBlue(px) == ref[0],
                 qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
      }
    }
  }

  void sizeMismatchIsSkipped() {
    VideoView view;
    QtRgbSurface surface(&view, kKindRGB32);
    QCOMPARE(surface.CreateVideoSurfaces(64, 48), 1);
    std::vector<std::uint8_t> picture(32 * 24 * 3 / 2, 255);
    surface.PresentFrame(picture.data(), 32, 24, PictureRange::kVideo, false);  // not the surface's size
    QCOMPARE(surface.BlitFrame(), 1);
    QCOMPARE(view.CurrentImage().pixelColor(10, 10), QColor(0, 0, 0));
  }
};

QTEST_MAIN(VideoViewTest)
#include "VideoViewTest.moc"
