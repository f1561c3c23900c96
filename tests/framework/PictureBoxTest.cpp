#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include <jpeglib.h>

#include "framework/qt/JpegDecoder.h"
#include "framework/qt/PictureBox.h"
#include "framework/qt/PictureDecoder.h"

namespace {

ByteBuffer ToBytes(const QByteArray& data) { return ByteBuffer(data.begin(), data.end()); }

ByteBuffer Encode(const QImage& image, const char* format, int quality = 95,
                  bool progressive = false) {
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  writer.setProgressiveScanWrite(progressive);
  if (!writer.write(image)) qFatal("cannot write test image: %s", qPrintable(writer.errorString()));
  return ToBytes(data);
}

QImage Solid(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Each channel ramps a different way, so swapped channels or shifted rows show.
QImage Pattern(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      image.setPixel(
          x, y, qRgb(x * 255 / width, y * 255 / height, 255 - (x + y) * 255 / (width + height)));
    }
  }
  return image;
}

// Offset of the frame header (SOF0/1/2 marker), or 0 when there is none.
std::size_t FrameHeader(const ByteBuffer& jpeg) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    const std::uint8_t marker = jpeg[i + 1];
    if (jpeg[i] == 0xFF && (marker == 0xC0 || marker == 0xC1 || marker == 0xC2)) return i;
  }
  return 0;
}

// Component count in the frame header, to be sure a test input is the kind of JPEG it claims.
int FrameComponents(const ByteBuffer& jpeg) {
  const std::size_t at = FrameHeader(jpeg);
  return at == 0 ? -1 : jpeg[at + 9];
}

// Qt has no CMYK writer, so CMYK and YCCK inputs are made with libjpeg directly. Ink values are
// stored inverted, as Adobe applications do (libjpeg writes the Adobe marker for these spaces).
ByteBuffer EncodeCmyk(int width, int height, QColor colour, J_COLOR_SPACE stored) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long out_size = 0;
  jpeg_mem_dest(&info, &out, &out_size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = 4;
  info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, stored);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);

  const int k = std::max({colour.red(), colour.green(), colour.blue()});
  const auto ink = [k](int channel) { return k == 0 ? 0 : 255 - (k - channel) * 255 / k; };
  const std::uint8_t pixel[4] = {std::uint8_t(ink(colour.red())), std::uint8_t(ink(colour.green())),
                                 std::uint8_t(ink(colour.blue())), std::uint8_t(k)};
  std::vector<std::uint8_t> row(std::size_t(width) * 4);
  for (int x = 0; x < width; ++x) std::memcpy(&row[std::size_t(x) * 4], pixel, 4);
  while (info.next_scanline < info.image_height) {
    JSAMPROW pointer = row.data();
    jpeg_write_scanlines(&info, &pointer, 1);
  }
  jpeg_finish_compress(&info);
  ByteBuffer bytes(out, out + out_size);
  std::free(out);
  jpeg_destroy_compress(&info);
  return bytes;
}

// Qt reads GIF but cannot write it. This writes an uncompressed GIF: a clear code after every
// two pixels keeps the LZW table from growing, so each code is a palette index of 3 bits.
ByteBuffer MakeGif(int width, int height, const QList<QRgb>& palette,
                   const std::function<int(int, int)>& index) {
  ByteBuffer gif = {'G', 'I', 'F', '8', '9', 'a'};
  const auto word = [&gif](int v) {
    gif.push_back(std::uint8_t(v & 0xFF));
    gif.push_back(std::uint8_t(v >> 8));
  };
  word(width);
  word(height);
  gif.insert(gif.end(), {0xF1, 0, 0});  // global table of 4 colours
  for (int i = 0; i < 4; ++i) {
    const QRgb c = i < palette.size() ? palette[i] : 0;
    gif.insert(gif.end(), {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c))});
  }
  gif.push_back(0x2C);
  word(0);
  word(0);
  word(width);
  word(height);
  gif.push_back(0);
  gif.push_back(2);  // minimum code size: codes start 3 bits wide, clear = 4, end = 5

  ByteBuffer packed;
  std::uint32_t bits = 0;
  int count = 0;
  const auto put_code = [&](int code) {
    bits |= std::uint32_t(code) << count;
    count += 3;
    while (count >= 8) {
      packed.push_back(std::uint8_t(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  };
  int since_clear = 0;
  put_code(4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (since_clear == 2) {
        put_code(4);
        since_clear = 0;
      }
      put_code(index(x, y));
      ++since_clear;
    }
  }
  put_code(5);
  if (count > 0) packed.push_back(std::uint8_t(bits & 0xFF));
  for (std::size_t at = 0; at < packed.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
    gif.push_back(std::uint8_t(n));
    gif.insert(gif.end(), packed.begin() + qsizetype(at), packed.begin() + qsizetype(at + n));
  }
  gif.push_back(0);
  gif.push_back(0x3B);
  return gif;
}

QImage DecodeWithQt(const ByteBuffer& jpeg) {
  return QImage::fromData(
      QByteArrayView(reinterpret_cast<const char*>(jpeg.data()), qsizetype(jpeg.size())), "JPG");
}

int ChannelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

// Largest channel difference between two images of the same size.
int ImageDistance(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  int worst = 0;
  for (int row = 0; row < x.height(); ++row) {
    for (int col = 0; col < x.width(); ++col) {
      worst = std::max(worst, ChannelDistance(x.pixel(col, row), y.pixel(col, row)));
    }
  }
  return worst;
}

// JPEG is lossy; a flat area comes back within a few levels.
constexpr int kJpegTolerance = 8;

}  // namespace

class PictureBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void logoDecodesAtItsSize() {
    const QString path = QFINDTESTDATA("../../src/app/resources/logo.jpg");
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable("logo not found: " + path));
    const ByteBuffer bytes = ToBytes(file.readAll());
    QVERIFY(bytes.size() > 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF);

    const QImage logo = DecodePicture(bytes);
    QCOMPARE(logo.size(), QSize(140, 88));
    QVERIFY(ImageDistance(logo, DecodeWithQt(bytes)) <= 2);
  }

  // Qt's own JPEG reader is an independent decoder over the same library: matching it catches
  // swapped channels, wrong row strides and lost grey or progressive handling.
  void jpegMatchesQtReader_data() {
    QTest::addColumn<QImage>("source");
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<int>("components");
    QTest::newRow("colour, odd width") << Pattern(37, 23) << false << 3;
    QTest::newRow("grayscale") << Pattern(41, 30).convertToFormat(QImage::Format_Grayscale8)
                               << false << 1;
    QTest::newRow("progressive") << Pattern(64, 48) << true << 3;
  }
  void jpegMatchesQtReader() {
    QFETCH(QImage, source);
    QFETCH(bool, progressive);
    QFETCH(int, components);
    const ByteBuffer bytes = Encode(source, "JPG", 90, progressive);
    QCOMPARE(FrameComponents(bytes), components);
    QCOMPARE(bytes[FrameHeader(bytes) + 1], progressive ? 0xC2 : 0xC0);  // SOF2 or baseline SOF0

    const QImage ours = DecodePicture(bytes);
    const QImage qts = DecodeWithQt(bytes);
    QVERIFY(!qts.isNull());
    QCOMPARE(ours.size(), source.size());
    QVERIFY2(ImageDistance(ours, qts) <= 2, "differs from Qt's reader");
    QVERIFY(ImageDistance(ours, source) <= 16);  // and still looks like what was saved
  }

  void cmykJpegDecodes_data() {
    QTest::addColumn<int>("stored");
    QTest::newRow("cmyk") << int(JCS_CMYK);
    QTest::newRow("ycck") << int(JCS_YCCK);
  }
  void cmykJpegDecodes() {
    QFETCH(int, stored);
    const QColor colour(200, 40, 90);
    const ByteBuffer bytes = EncodeCmyk(24, 16, colour, J_COLOR_SPACE(stored));
    QCOMPARE(FrameComponents(bytes), 4);

    const QImage image = DecodePicture(bytes);
    QCOMPARE(image.size(), QSize(24, 16));
    QVERIFY2(ChannelDistance(image.pixel(12, 8), colour.rgb()) <= kJpegTolerance,
             qPrintable(QColor(image.pixel(12, 8)).name()));
  }

  // libjpeg's default error handling calls exit(); reaching the checks at all proves ours does
  // not, and each result must still make sense.
  void damagedJpegDoesNotEndProcess() {
    const QColor top(30, 160, 60);
    QImage source = Pattern(96, 96);
    QRandomGenerator noise(7);
    for (int y = 16; y < 96; ++y) {
      for (int x = 0; x < 96; ++x) source.setPixel(x, y, noise.generate() | 0xFF000000u);
    }
    QPainter(&source).fillRect(0, 0, 96, 16, top);
    const ByteBuffer whole = Encode(source, "JPG", 90);

    // Cut inside the noise: libjpeg pads the missing rows and the top still shows.
    const ByteBuffer cut(whole.begin(), whole.begin() + qsizetype(whole.size() * 6 / 10));
    const QImage partial = DecodeJpeg(cut.data(), cut.size());
    QCOMPARE(partial.size(), QSize(96, 96));
    QVERIFY(ChannelDistance(partial.pixel(40, 6), top.rgb()) <= kJpegTolerance);
    QVERIFY(ImageDistance(partial, DecodeJpeg(whole.data(), whole.size())) > 0);

    // Cut before the frame header: nothing to show.
    QVERIFY(DecodeJpeg(whole.data(), 20).isNull());
    QVERIFY(DecodeJpeg(whole.data(), 3).isNull());
    QVERIFY(DecodeJpeg(nullptr, 0).isNull());

    QRandomGenerator random(12345);
    for (int round = 0; round < 50; ++round) {
      ByteBuffer garbage(1000);
      for (auto& b : garbage) b = std::uint8_t(random.bounded(256));
      garbage[0] = 0xFF;
      garbage[1] = 0xD8;
      garbage[2] = 0xFF;
      QVERIFY2(DecodePicture(garbage).isNull(), qPrintable(QString("round %1").arg(round)));
    }

    // Scattered damage through a valid file may or may not decode; the call only has to return
    // (and stay clean under the sanitizer builds).
    for (int round = 0; round < 200; ++round) {
      ByteBuffer damaged = whole;
      for (int hit = 0; hit < 8; ++hit) {
        damaged[random.bounded(qsizetype(damaged.size()))] = std::uint8_t(random.bounded(256));
      }
      DecodePicture(damaged);
    }
  }

  // A few hundred bytes may claim 65500 x 65500 pixels; decoding that would fill 16 GB.
  void oversizedHeaderIsRefused() {
    ByteBuffer bytes = Encode(Solid(16, 16, Qt::gray), "JPG");
    const std::size_t at = FrameHeader(bytes);
    QVERIFY(at != 0);
    for (std::size_t field : {at + 5, at + 7}) {  // height, then width, big-endian
      bytes[field] = 0xFF;
      bytes[field + 1] = 0xDC;
    }
    QVERIFY(DecodePicture(bytes).isNull());
  }

  void otherFormatsDecodeThroughQt() {
    const QImage source = Pattern(13, 9);  // odd width: BMP rows are padded
    const QImage bmp = DecodePicture(Encode(source, "BMP"));
    QCOMPARE(bmp.size(), source.size());
    QCOMPARE(ImageDistance(bmp, source), 0);

    const QList<QRgb> palette = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(255, 255, 0),
                                 qRgb(0, 128, 0)};
    const auto index = [](int x, int y) { return (x < 5 ? 0 : 1) + (y < 3 ? 0 : 2); };
    const QImage gif = DecodePicture(MakeGif(10, 6, palette, index));
    QCOMPARE(gif.size(), QSize(10, 6));
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 10; ++x) QCOMPARE(gif.pixel(x, y), palette[index(x, y)]);
    }

    QVERIFY(DecodePicture({}).isNull());
    QVERIFY(DecodePicture({'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}).isNull());
  }

  void displayRect_data() {
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("smaller: natural size, centred")
        << QSize(50, 30) << QSize(200, 150) << QRect(75, 60, 50, 30);
    QTest::newRow("wider: full width, centred vertically")
        << QSize(400, 100) << QSize(200, 150) << QRect(0, 50, 200, 50);
    QTest::newRow("taller: full height, centred horizontally")
        << QSize(100, 300) << QSize(200, 150) << QRect(75, 0, 50, 150);
    QTest::newRow("both larger, height limits")
        << QSize(400, 600) << QSize(200, 150) << QRect(50, 0, 100, 150);
    QTest::newRow("same proportions, larger")
        << QSize(800, 600) << QSize(200, 150) << QRect(0, 0, 200, 150);
    QTest::newRow("exactly fitting") << QSize(200, 150) << QSize(200, 150) << QRect(0, 0, 200, 150);
    QTest::newRow("one side fits exactly, other smaller")
        << QSize(200, 40) << QSize(200, 150) << QRect(0, 55, 200, 40);
    QTest::newRow("logo in a narrower box")
        << QSize(140, 88) << QSize(70, 88) << QRect(0, 22, 70, 44);
    QTest::newRow("thin line keeps a pixel")
        << QSize(1000, 1) << QSize(100, 100) << QRect(0, 49, 100, 1);
    QTest::newRow("empty box") << QSize(10, 10) << QSize(0, 0) << QRect();
  }
  void displayRect() {
    QFETCH(QSize, image);
    QFETCH(QSize, box);
    QFETCH(QRect, expected);
    QCOMPARE(PictureBox::DisplayRect(image, box), expected);
  }

  void pictureBoxKeepsBytes() {
    PictureBox box;
    box.SetPicture({});
    QVERIFY(!box.HasImage());
    QVERIFY(box.Picture().empty());

    const ByteBuffer garbage = {0xFF, 0xD8, 0xFF, 0x00, 0x01};
    box.SetPicture(garbage);
    QVERIFY(!box.HasImage());
    QCOMPARE(box.Picture(), garbage);

    const ByteBuffer jpeg = Encode(Solid(8, 8, Qt::red), "JPG");
    box.SetPicture(jpeg);
    QVERIFY(box.HasImage());
    QCOMPARE(box.Picture(), jpeg);

    box.SetPicture({});
    QVERIFY(!box.HasImage());
    QVERIFY(box.Picture().empty());
  }

  void pictureBoxDrawsCentred() {
    PictureBox box;
    box.resize(200, 150);
    const QColor colour(20, 90, 210);
    box.SetPicture(Encode(Solid(40, 30, colour), "JPG"));
    QImage shot = box.grab().toImage();
    QCOMPARE(shot.size(), QSize(200, 150));
    QVERIFY(ChannelDistance(shot.pixel(100, 75), colour.rgb()) <= kJpegTolerance);
    QVERIFY(ChannelDistance(shot.pixel(100, 55), colour.rgb()) > kJpegTolerance);
    QVERIFY(ChannelDistance(shot.pixel(2, 2), colour.rgb()) > kJpegTolerance);

    // A wide picture is shrunk to the box's width: left half red, right half blue, as 200 x 50
    // in the middle band only.
    QImage wide(400, 100, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QPainter(&wide).fillRect(200, 0, 200, 100, Qt::blue);
    box.SetPicture(Encode(wide, "BMP"));
    shot = box.grab().toImage();
    QCOMPARE(QColor(shot.pixel(50, 75)), QColor(Qt::red));
    QCOMPARE(QColor(shot.pixel(150, 75)), QColor(Qt::blue));
    QVERIFY(shot.pixel(50, 40) != qRgb(255, 0, 0));
    QVERIFY(shot.pixel(150, 110) != qRgb(0, 0, 255));
  }
};

QTEST_MAIN(PictureBoxTest)
#include "PictureBoxTest.moc"
