#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QProgressBar>
#include <QTest>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "Gbk.h"
#include "OffscreenDC.h"
#include "PaintCounter.h"
#include "TextProgressCtrl.h"

namespace {

constexpr int kIntMax = std::numeric_limits<int>::max();
constexpr int kIntMin = std::numeric_limits<int>::min();

TEST(ProgressArithmetic, WidthBarEndAndPercentComeFromTheDoubleFraction) {
  struct Case {
    int position, lower, upper, width;
    int filled, barEnd;
    const char* text;
    const char* catches;
  };
  const Case cases[] = {
      {50, 0, 100, 300, 150, 150, "50%", "half of 300 pixels"},
      {100, 0, 100, 300, 300, 300, "100%", "the upper end fills the bar"},
      {0, 0, 100, 300, 0, 0, "0%", "the lower end fills nothing"},
      {29, 0, 100, 300, 87, 87, "28%", "0.29 * 100 is just under 29: truncated, not rounded"},
      {57, 0, 100, 300, 170, 170, "56%", "0.57 * 100 and * 300 are just under 57 and 171"},
      {58, 0, 100, 300, 174, 174, "57%", "0.58 * 100 is just under 58"},
      {41, 0, 100, 300, 122, 122, "41%", "0.41 * 300 is just under 123: width truncated from double"},
      {30, 20, 40, 300, 150, 150, "50%", "the lower end is subtracted"},
      {150, 0, 100, 300, 450, 300, "150%", "past the upper end: full bar, percentage above 100"},
      {-1, 0, 100, 300, -3, 0, "-1%", "below the lower end: empty bar, negative percentage"},
      {1, 0, 100, 50, 0, 0, "1%", "one percent of 50 pixels is less than a pixel"},
      {0, kIntMin, kIntMax, 300, 150, 150, "50%", "a range as wide as int does not overflow"},
      {kIntMax, 0, 1, 300, kIntMax, 300, "2147483647%", "a product beyond int saturates"},
  };
  for (const Case& c : cases) {
    const double f = ProgressFraction(c.position, c.lower, c.upper);
    EXPECT_EQ(ProgressFilledWidth(f, c.width), c.filled) << c.catches;
    EXPECT_EQ(ProgressBarEnd(QRect(0, 0, c.width, 20), f), c.barEnd) << c.catches;
    EXPECT_EQ(ProgressPercentText(f), c.text) << c.catches;
  }
  EXPECT_EQ(ProgressBarEnd(QRect(10, 4, 300, 20), 0.5), 160) << "the bar starts at the rectangle's left";
}

TEST(ProgressArithmetic, EveryOtherPositionShowsItsOwnNumber) {
  for (int position = 0; position <= 100; ++position) {
    const bool low = position == 29 || position == 57 || position == 58;
    EXPECT_EQ(ProgressPercentText(ProgressFraction(position, 0, 100)),
              QString::number(low ? position - 1 : position) + "%")
        << "position " << position;
  }
  EXPECT_EQ(ProgressText("Searching", 0.5), "Searching") << "a caption replaces the percentage";
  EXPECT_EQ(ProgressText("", 0.5), "50%");
}

TEST(ProgressArithmetic, EmptyRangeAndNonNumbersStayDefined) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, int> cases[] = {
      {nan, 0}, {inf, kIntMax}, {-inf, kIntMin}, {1e12, kIntMax}, {-1e12, kIntMin}, {2.9, 2}, {-2.9, -2},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(TruncateToInt(value), expected) << value;
  // lower == upper divides by zero; the bar must neither crash nor leave its rectangle.
  EXPECT_EQ(ProgressBarEnd(QRect(0, 0, 300, 20), ProgressFraction(15, 10, 10)), 300);
  EXPECT_EQ(ProgressBarEnd(QRect(0, 0, 300, 20), ProgressFraction(5, 10, 10)), 0);
  EXPECT_EQ(ProgressBarEnd(QRect(0, 0, 300, 20), ProgressFraction(10, 10, 10)), 0);
  EXPECT_EQ(ProgressPercentText(ProgressFraction(10, 10, 10)), "0%");
}

// The dialog's progress bar as the dialogs create it, 300 by 20, shown.
class ProgressOnDialog : public ::testing::Test {
protected:
  void SetUp() override {
    bar = new QProgressBar(&dialog);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setGeometry(10, 10, 300, 20);
    // Glyphs without antialiasing, so every pixel of the text is its pen colour.
    QFont sharp = bar->font();
    sharp.setStyleStrategy(QFont::NoAntialias);
    bar->setFont(sharp);
    progress.Attach(bar);
    bar->installEventFilter(&painted);  // after Attach, so it counts paints before the control consumes them
    dialog.resize(320, 40);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    Settle();
  }

  // Lets pending updates paint, then starts counting afresh.
  void Settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    painted.paints = 0;
  }

  QImage Render() const {
    QImage image(bar->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    progress.Draw(painter, image.rect());
    return image;
  }

  // The pixels a single-coloured drawing of the text covers, centred in the bar.
  std::set<std::pair<int, int>> ReferenceInk(const QString& text) const {
    QImage image(bar->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(bar->font());
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
    painter.end();
    std::set<std::pair<int, int>> ink;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == qRgb(0, 0, 0)) ink.insert({x, y});
      }
    }
    return ink;
  }

  QDialog dialog;
  QProgressBar* bar = nullptr;
  CTextProgressCtrl progress;
  PaintCounter painted;
  const QRgb highlight = QApplication::palette().color(QPalette::Highlight).rgb();
  const QRgb base = QApplication::palette().color(QPalette::Base).rgb();
};

TEST_F(ProgressOnDialog, TextIsDrawnTwiceAndMeetsAtTheBarEnd) {
  ASSERT_NE(highlight, base);
  struct Case {
    CString caption;
    int position, barEnd;
    QString text;
    const char* catches;
  };
  const Case cases[] = {
      {"", 50, 150, "50%", "percentage cut in two colours at 150 px"},
      {"", 100, 300, "100%", "full bar: all text in the text-on-bar colour"},
      {"", 150, 300, "150%", "past the range: full bar, not beyond it"},
      {"", -1, 0, "-1%", "below the range: empty bar"},
      {"Searching", 50, 150, "Searching", "caption in both colours"},
      {"Searching", 7, 21, "Searching", "the caption, whatever the position"},
      {ToGbk(QString::fromUtf8("搜索中")), 50, 150, QString::fromUtf8("搜索中"), "caption bytes are GBK"},
  };
  for (const Case& c : cases) {
    progress.SetWindowText(c.caption);
    progress.SetPos(c.position);
    const QImage image = Render();
    std::set<std::pair<int, int>> ink;
    bool onlyTheirColours = true;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        // Left of the end: bar (highlight) with base-coloured text; right: the reverse.
        const QRgb pixel = image.pixel(x, y);
        onlyTheirColours = onlyTheirColours && (pixel == highlight || pixel == base);
        if (pixel == (x < c.barEnd ? base : highlight)) ink.insert({x, y});
      }
    }
    EXPECT_TRUE(onlyTheirColours) << c.catches;
    // The top row holds no text: the bar's end shows there alone.
    if (c.barEnd > 0) {
      EXPECT_EQ(image.pixel(c.barEnd - 1, 0), highlight) << c.catches;
    }
    if (c.barEnd < image.width()) {
      EXPECT_EQ(image.pixel(c.barEnd, 0), base) << c.catches;
    }
    EXPECT_EQ(ink, ReferenceInk(c.text)) << c.catches << ": same text, same place, each part its colour";
  }

  // The widget paints itself the same way, through the offscreen buffer.
  progress.SetWindowText("");
  progress.SetPos(50);
  EXPECT_EQ(bar->grab().toImage().convertToFormat(QImage::Format_RGB32), Render());
}

TEST_F(ProgressOnDialog, SetPosRepaintsAtOnceOnlyWhenTheWidthChanges) {
  bar->resize(50, 20);
  Settle();
  struct Step {
    int position, returned, paints;
    const char* catches;
  };
  const Step steps[] = {
      {0, 0, 1, "first SetPos after a resize repaints"},
      {1, 0, 0, "1% of 50 px is still 0 px: no repaint"},
      {2, 1, 1, "2% is one pixel: repainted before SetPos returns"},
      {3, 2, 0, "still one pixel"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(progress.SetPos(s.position), s.returned) << s.catches;
    EXPECT_EQ(painted.paints, s.paints) << s.catches;
    Settle();
    EXPECT_EQ(painted.paints, 0) << s.catches << ": nothing left pending";
  }

  bar->resize(60, 20);
  Settle();
  EXPECT_EQ(progress.SetPos(2), 3);
  EXPECT_EQ(painted.paints, 1) << "after a resize, the same 1 px width repaints";

  progress.SetRange(0, 200);
  Settle();
  EXPECT_EQ(painted.paints, 0) << "SetRange stores only";

  // The sweep sets 0 while the bar is hidden, then shows it: its first
  // position paints at once.
  bar->hide();
  progress.SetPos(0);
  EXPECT_EQ(painted.paints, 0);
  bar->show();
  progress.SetPos(0);
  EXPECT_EQ(painted.paints, 1) << "shown again: the first SetPos paints";
}

TEST_F(ProgressOnDialog, CaptionIsTheControlsOwnText) {
  progress.SetPos(50);
  const QImage percentage = Render();
  SetWidgetText(bar, "Progress1");  // a text the template gave the window
  EXPECT_EQ(progress.GetWindowText(), "") << "the window's text is not the caption";
  EXPECT_EQ(Render(), percentage) << "the bar still shows the percentage";

  struct Step {
    CString text;
    bool repaints;
    const char* catches;
  };
  const Step steps[] = {
      {"", false, "empty when already empty changes nothing"},
      {"Scan", true, "a new caption repaints"},
      {"Scan", false, "the same caption again does not"},
      {"Scan 2", true, "a different caption does"},
      {"", true, "clearing the caption brings the percentage back"},
  };
  for (const Step& s : steps) {
    Settle();
    progress.SetWindowText(s.text);
    EXPECT_EQ(painted.paints, 0) << s.catches << ": not painted synchronously";
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(painted.paints > 0, s.repaints) << s.catches;
    EXPECT_EQ(progress.GetWindowText(), s.text) << s.catches;
  }
}

TEST(TextProgressWithoutWindow, SetPosStoresNothing) {
  CTextProgressCtrl progress;
  EXPECT_EQ(progress.SetPos(40), -1);
  QProgressBar bar;
  progress.Attach(&bar);
  EXPECT_EQ(progress.SetPos(10), 0) << "the position stayed where it was";
}

TEST(TextProgressLook, EmptyRangeShowsAnEmptyBarWithoutText) {
  QProgressBar bar;
  bar.resize(300, 20);
  CTextProgressCtrl progress;
  progress.Attach(&bar);
  progress.SetRange(10, 10);
  progress.SetPos(20);
  QImage image(bar.size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  progress.Draw(painter, image.rect());
  painter.end();
  QImage empty(image.size(), QImage::Format_RGB32);
  empty.fill(QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(image, empty);
}

// A widget whose paint goes through the buffer, drawing a boundary at x = 50.
class SplitWidget : public QWidget {
protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    COffscreenDC dc(painter, event->rect());
    offscreen = dc.IsOffscreen();
    dc.Painter().fillRect(QRect(0, 0, 50, height()), Qt::green);
    dc.Painter().fillRect(QRect(50, 0, width() - 50, height()), Qt::blue);
  }

public:
  bool offscreen = false;
};

TEST(OffscreenBuffer, DrawsInTheTargetsCoordinatesAndCopiesOnce) {
  SplitWidget widget;
  widget.resize(100, 20);
  const QImage whole = widget.grab().toImage();
  EXPECT_TRUE(widget.offscreen) << "a widget's paint goes through the buffer";
  EXPECT_EQ(whole.pixelColor(49, 10), QColor(Qt::green));
  EXPECT_EQ(whole.pixelColor(50, 10), QColor(Qt::blue));

  // A part away from the corner lands where it belongs, not at the buffer's origin.
  const QImage part = widget.grab(QRect(20, 5, 60, 10)).toImage();
  EXPECT_EQ(part.pixelColor(29, 5), QColor(Qt::green)) << "x = 49";
  EXPECT_EQ(part.pixelColor(30, 5), QColor(Qt::blue)) << "x = 50";

  QImage image(10, 10, QImage::Format_RGB32);
  QPainter painter(&image);
  COffscreenDC dc(painter, image.rect());
  EXPECT_FALSE(dc.IsOffscreen()) << "an image is drawn straight into";
  EXPECT_EQ(&dc.Painter(), &painter);
}

}  // namespace
