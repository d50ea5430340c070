#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <set>
#include <functional>
#include <vector>

#include "DialogUnits.h"
#include "IndicatorButton.h"
#include "PaintCounter.h"
#include "ResourceIds.h"

namespace {

constexpr COLORREF kBlue = RGB(0x27, 0x06, 0xE3);

TEST(IndicatorLook, FaceCaptionIconAndEdgeFollowTheState) {
  struct Case {
    bool hover, pressed, focused, border, hasOut;
    BYTE face, caption;
    int icon;
    IndicatorEdge edge;
    const char* catches;
  };
  using E = IndicatorEdge;
  const Case cases[] = {
      {false, false, false, true, true, 2, 3, 1, E::None, "at rest: normal face, out icon, no edge"},
      {false, false, false, true, false, 2, 3, 0, E::None, "at rest with one icon: the in icon"},
      {false, false, true, true, true, 4, 3, 1, E::None, "focused: focus face, caption stays normal"},
      {true, false, false, true, true, 0, 1, 0, E::Raised, "hovered: hot face and caption, in icon, raised"},
      {true, false, true, true, true, 0, 1, 0, E::Raised, "hover wins over focus"},
      {false, true, false, true, true, 0, 1, 0, E::Sunken, "pressed without hover is hot and sunken"},
      {true, true, true, true, true, 0, 1, 0, E::Sunken, "pressed while hovered is sunken, not raised"},
      {true, false, false, false, true, 0, 1, 0, E::None, "border off: hover shows no edge"},
      {false, true, false, false, true, 0, 1, 0, E::None, "border off: press shows no edge"},
  };
  for (const Case& c : cases) {
    const bool hot = c.hover || c.pressed;
    EXPECT_EQ(IndicatorFaceSlot(c.hover, c.pressed, c.focused), c.face) << c.catches;
    EXPECT_EQ(IndicatorCaptionSlot(hot), c.caption) << c.catches;
    EXPECT_EQ(IndicatorIconIndex(hot, c.hasOut), c.icon) << c.catches;
    EXPECT_EQ(IndicatorEdgeFor(c.hover, c.pressed, c.border), c.edge) << c.catches;
  }
}

TEST(IndicatorLook, HoverLightsOnlyForAFreeMouseInAnActiveApplication) {
  struct Case {
    bool hover, leftHeld, over, active, after;
    const char* catches;
  };
  const Case cases[] = {
      {false, false, true, true, true, "mouse arrives over the control"},
      {false, true, true, true, false, "dragged onto the control with the left button held"},
      {true, true, true, true, true, "held down while already lit stays lit"},
      {true, true, false, true, false, "held down and dragged off ends the hover"},
      {false, false, true, false, false, "application in the background"},
      {true, false, true, false, false, "application deactivated under the mouse"},
      {true, false, false, true, false, "mouse moved off"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IndicatorHoverAfterMove(c.hover, c.leftHeld, c.over, c.active), c.after) << c.catches;
  }
}

TEST(IndicatorLook, IconPlacementTruncatesTowardZero) {
  struct Case {
    QRect item;
    int iconSize;
    bool caption, pressed;
    QPoint iconAt;
    int captionLeft;
    const char* catches;
  };
  const Case cases[] = {
      {{0, 0, 116, 27}, 32, true, false, {3, -2}, 35, "lamp taller than the button: -5/2 is -2, not -3"},
      {{0, 0, 116, 27}, 32, true, true, {4, -1}, 35, "pressed moves the icon, not the caption's space"},
      {{10, 20, 116, 40}, 16, true, false, {13, 32}, 29, "offsets start at the item's own corner"},
      {{0, 0, 116, 27}, 32, false, false, {42, -2}, 0, "no caption: centred both ways"},
      {{0, 0, 20, 21}, 32, false, false, {-6, -5}, 0, "icon larger than the space: clipped on both sides"},
      {{0, 0, 20, 21}, 32, false, true, {-5, -4}, 0, "pressed and larger than the space"},
  };
  for (const Case& c : cases) {
    const IndicatorIconPlacement p = PlaceIndicatorIcon(c.item, QSize(c.iconSize, c.iconSize), c.caption, c.pressed);
    EXPECT_EQ(p.icon, QRect(c.iconAt, QSize(c.iconSize, c.iconSize))) << c.catches;
    const int expectedLeft = c.caption ? c.captionLeft : c.item.left();
    EXPECT_EQ(p.captionSpace, QRect(QPoint(expectedLeft, c.item.top()), c.item.bottomRight())) << c.catches;
  }
}

TEST(IndicatorLook, CaptionBlockIsCentredInItsSpace) {
  struct Case {
    QRect space;
    QSize block;
    bool pressed;
    QRect expected;
    const char* catches;
  };
  const Case cases[] = {
      {{35, 0, 81, 27}, {60, 13}, false, {45, 7, 60, 13}, "one line centred right of the icon"},
      {{35, 0, 81, 27}, {60, 13}, true, {46, 8, 60, 13}, "pressed: one pixel down and right"},
      {{35, 0, 81, 27}, {61, 30}, false, {45, -1, 61, 30}, "two lines taller than the button: -3/2 is -1"},
      {{0, 0, 40, 27}, {51, 13}, false, {-5, 7, 51, 13}, "one word wider than the space overhangs both sides"},
  };
  for (const Case& c : cases) EXPECT_EQ(CentreCaptionBlock(c.space, c.block, c.pressed), c.expected) << c.catches;
}

TEST(IndicatorLook, AcceleratorMarkersTakeNoRoom) {
  const QFontMetrics fm(DialogFont("Microsoft Sans Serif", 8));
  const QRect space(0, 0, 300, 27);
  EXPECT_EQ(IndicatorCaptionRect(fm, space, "&Monitor Status", false),
            IndicatorCaptionRect(fm, space, "Monitor Status", false))
      << "'&' marks the accelerator and is not shown";
  EXPECT_GT(IndicatorCaptionRect(fm, space, "A&&B", false).width(),
            IndicatorCaptionRect(fm, space, "AB", false).width())
      << "'&&' shows one '&'";
}

TEST(IndicatorColors, ASlotAboveFiveChangesNothing) {
  CIndicatorButton button;
  for (BYTE slot = 0; slot <= INDCLR_FG_FOCUS; ++slot) {
    ASSERT_EQ(button.SetStateColor(slot, RGB(slot, 0x40, 0x80), FALSE), INDBTN_OK);
  }
  EXPECT_EQ(button.SetStateColor(6, kBlue, TRUE), INDBTN_BADSLOT);
  EXPECT_EQ(button.SetStateColor(255, kBlue, TRUE), INDBTN_BADSLOT);
  for (BYTE slot = 0; slot <= INDCLR_FG_FOCUS; ++slot) {
    EXPECT_EQ(button.GetStateColor(slot), RGB(slot, 0x40, 0x80)) << "slot " << int(slot);
  }

  // Faces (even slots) in the button colour, captions (odd slots) in its text colour.
  button.ResetColors(FALSE);
  const COLORREF face = ColorRefOf(QApplication::palette().color(QPalette::Button));
  const COLORREF text = ColorRefOf(QApplication::palette().color(QPalette::ButtonText));
  ASSERT_NE(face, text);
  for (BYTE slot = 0; slot <= INDCLR_FG_FOCUS; ++slot) {
    EXPECT_EQ(button.GetStateColor(slot), slot % 2 == 0 ? face : text) << "slot " << int(slot);
  }
  EXPECT_EQ(kBlue, 0x00E30627u) << "COLORREF keeps red in the low byte";
  EXPECT_EQ(ColorRefOf(ColorFromRef(kBlue)), kBlue);
  EXPECT_EQ(ColorFromRef(kBlue), QColor(0x27, 0x06, 0xE3));
}

// The colours other than the face found in an area of a rendered image.
std::set<QRgb> InkColours(const QImage& image, const QRect& area, QRgb face) {
  std::set<QRgb> colours;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixel(x, y) != face) colours.insert(image.pixel(x, y));
    }
  }
  return colours;
}

QRect InkBox(const QImage& image, const QRect& area, QRgb face) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (image.pixel(x, y) != face) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// An indicator on a real push button of the monitor's size and font, in a shown dialog.
class IndicatorOnDialog : public ::testing::Test {
protected:
  void SetUp() override {
    dialog.setFont(DialogFont("宋体", 10));
    push = new QPushButton("Paper Ok", &dialog);
    push->setAutoDefault(false);
    push->setGeometry(QRect(QPoint(10, 10), DialogUnitsToPixels(QSize(77, 18), BaseUnitsOf(dialog.font()))));
    other = new QPushButton("&Close", &dialog);
    other->setGeometry(10, 60, 80, 27);
    indicator.Attach(push);
    dialog.resize(200, 100);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  }

  QImage Render(bool pressed, bool focused = false) const {
    QImage image(push->size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    indicator.Draw(painter, image.rect(), pressed, focused);
    return image;
  }

  void Hover() {
    QEnterEvent enter(QPointF(5, 5), push->mapTo(&dialog, QPointF(5, 5)), push->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(push, &enter);
  }

  QDialog dialog;
  QPushButton* push = nullptr;
  QPushButton* other = nullptr;
  CIndicatorButton indicator;
};

TEST_F(IndicatorOnDialog, ShowsTheLampLeftOfACaptionInTheStateColour) {
  indicator.LoadIcons(IDI_STATE_GOOD, 0);
  indicator.ShowBorder(FALSE, TRUE);
  indicator.SetStateColor(INDCLR_FG_NORMAL, kBlue, TRUE);
  indicator.SetStateColor(INDCLR_FG_HOT, RGB(0xC0, 0x10, 0x10), TRUE);
  indicator.SetStateColor(INDCLR_BK_HOT, RGB(0xFF, 0xF0, 0xC0), TRUE);
  EXPECT_EQ(indicator.IconIdIn(), UINT(IDI_STATE_GOOD));

  // Glyphs without antialiasing, so every pixel of the caption is its pen colour.
  QFont sharp = push->font();
  sharp.setStyleStrategy(QFont::NoAntialias);
  push->setFont(sharp);
  const IndicatorIconPlacement at = PlaceIndicatorIcon(push->rect(), QSize(32, 32), true, false);
  const QRect captionArea = at.captionSpace;
  const QPoint rightTop(push->width() - 1, 0);

  const QImage rest = Render(false);
  const QRgb face = ColorFromRef(indicator.GetStateColor(INDCLR_BK_NORMAL)).rgb();
  EXPECT_EQ(rest.pixel(rightTop), face) << "a flat face in slot 2, no bevel";
  const QRgb lamp = rest.pixel(at.icon.center());
  EXPECT_GT(qGreen(lamp), qRed(lamp) + 40) << "the green lamp sits at the left";
  EXPECT_GT(qGreen(lamp), qBlue(lamp) + 40);
  EXPECT_EQ(rest.pixel(at.icon.left() - 2, at.icon.center().y()), face) << "3 pixels of face left of the lamp";
  EXPECT_EQ(InkColours(rest, captionArea, face), std::set<QRgb>{ColorFromRef(kBlue).rgb()})
      << "caption in slot 3 while not hot";

  const QImage hot = Render(true);
  const QRgb hotFace = qRgb(0xFF, 0xF0, 0xC0);
  EXPECT_EQ(hot.pixel(rightTop), hotFace) << "face in slot 0 while hot";
  EXPECT_EQ(InkColours(hot, captionArea.translated(1, 1) & hot.rect(), hotFace), std::set<QRgb>{qRgb(0xC0, 0x10, 0x10)})
      << "caption in slot 1 while hot";

  // The control paints itself the same way, and the style draws nothing of its own.
  EXPECT_EQ(push->grab().toImage().convertToFormat(QImage::Format_RGB32), Render(false, push->hasFocus()));
}

TEST_F(IndicatorOnDialog, PressedMovesIconAndCaptionOneDownRight) {
  push->resize(116, 40);  // tall enough that the lamp is not clipped at the top
  indicator.LoadIcons(IDI_STATE_BAD, 0);
  indicator.ShowBorder(FALSE, FALSE);
  const QRgb face = ColorFromRef(indicator.GetStateColor(INDCLR_BK_NORMAL)).rgb();
  ASSERT_EQ(indicator.GetStateColor(INDCLR_BK_HOT), indicator.GetStateColor(INDCLR_BK_NORMAL));
  const QRect lampSide(0, 0, 36, 40), captionSide(36, 0, 80, 40);

  const QImage rest = Render(false), pressed = Render(true);
  ASSERT_FALSE(InkBox(rest, lampSide, face).isEmpty());
  ASSERT_FALSE(InkBox(rest, captionSide, face).isEmpty());
  EXPECT_EQ(InkBox(pressed, lampSide, face), InkBox(rest, lampSide, face).translated(1, 1));
  EXPECT_EQ(InkBox(pressed, captionSide, face), InkBox(rest, captionSide, face).translated(1, 1));
}

TEST_F(IndicatorOnDialog, EdgeIsRaisedOnHoverSunkenOnPressAndOffWithoutBorder) {
  const QPalette& pal = push->palette();
  const QRgb light = pal.color(QPalette::Light).rgb(), dark = pal.color(QPalette::Dark).rgb();
  ASSERT_NE(light, dark);
  struct Case {
    bool hover, pressed, border;
    bool edge;
    QRgb topLeft, bottomRight;
    const char* catches;
  };
  const Case cases[] = {
      {true, false, true, true, light, dark, "hovered: raised"},
      {false, true, true, true, dark, light, "pressed: sunken"},
      {true, true, true, true, dark, light, "pressed while hovered: sunken"},
      {false, false, true, false, 0, 0, "at rest: flat"},
      {true, false, false, false, 0, 0, "border off: flat while hovered"},
      {false, true, false, false, 0, 0, "border off: flat while pressed"},
  };
  for (const Case& c : cases) {
    indicator.ShowBorder(c.border ? TRUE : FALSE, FALSE);
    if (c.hover) {
      Hover();
    } else {
      QEvent leave(QEvent::Leave);
      QCoreApplication::sendEvent(push, &leave);
    }
    ASSERT_EQ(indicator.IsHover(), c.hover) << c.catches;
    const QImage image = Render(c.pressed);
    const QRgb face = ColorFromRef(indicator.GetStateColor(IndicatorFaceSlot(c.hover, c.pressed, false))).rgb();
    const QPoint topLeft(0, 0), bottomRight(image.width() - 1, image.height() - 1);
    EXPECT_EQ(image.pixel(topLeft), c.edge ? c.topLeft : face) << c.catches;
    EXPECT_EQ(image.pixel(bottomRight), c.edge ? c.bottomRight : face) << c.catches;
    EXPECT_EQ(image.pixel(image.width() - 1, 0), c.edge ? c.bottomRight : face) << c.catches << ": top-right corner";
  }
}

TEST_F(IndicatorOnDialog, HoverEndsOnLeaveFocusLossAndDeactivation) {
  const auto leave = [this] {
    QEvent e(QEvent::Leave);
    QCoreApplication::sendEvent(push, &e);
  };
  const auto focusOut = [this] {
    QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(push, &e);
  };
  const auto deactivate = [this] {
    QEvent e(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(push, &e);
  };
  const auto hide = [this] {
    push->hide();
    push->show();
  };
  struct Case {
    std::function<void()> end;
    const char* catches;
  };
  const Case cases[] = {{leave, "mouse left"},
                        {focusOut, "focus moved away"},
                        {deactivate, "dialog deactivated"},
                        {hide, "control hidden"}};
  for (const Case& c : cases) {
    Hover();
    ASSERT_TRUE(indicator.IsHover()) << c.catches;
    c.end();
    EXPECT_FALSE(indicator.IsHover()) << c.catches;
  }

  // A drag that started elsewhere does not light the control.
  QMouseEvent drag(QEvent::MouseMove, QPointF(5, 5), push->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(push, &drag);
  EXPECT_FALSE(indicator.IsHover());
  QMouseEvent free(QEvent::MouseMove, QPointF(5, 5), push->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(push, &free);
  EXPECT_TRUE(indicator.IsHover());
}

TEST_F(IndicatorOnDialog, DoubleClickGivesTwoClicksAndTwoPresses) {
  QSignalSpy clicked(push, &QPushButton::clicked);
  QSignalSpy pressed(push, &QPushButton::pressed);
  const auto expectTwo = [&](const char* catches) {
    EXPECT_EQ(clicked.count(), 2) << catches;
    EXPECT_EQ(pressed.count(), 2) << catches;
    EXPECT_FALSE(push->isDown()) << catches;
    clicked.clear();
    pressed.clear();
  };

  QTest::mouseDClick(dialog.windowHandle(), Qt::LeftButton, {}, push->mapTo(&dialog, push->rect().center()));
  expectTwo("double click through the window system");

  // The double click stands for the second press.
  QTest::mouseClick(push, Qt::LeftButton);
  QTest::mouseDClick(push, Qt::LeftButton);
  QTest::mouseRelease(push, Qt::LeftButton);
  expectTwo("double click without a press of its own");

  // A platform that sends the second press and then the double click as well.
  QTest::mouseClick(push, Qt::LeftButton);
  QTest::mousePress(push, Qt::LeftButton);
  QTest::mouseDClick(push, Qt::LeftButton);
  QTest::mouseRelease(push, Qt::LeftButton);
  expectTwo("press followed by a double click is pressed once");
}

TEST_F(IndicatorOnDialog, IconChoiceFollowsHotAndTheIconsGiven) {
  QPixmap red(32, 32), blue(32, 32);
  red.fill(Qt::red);
  blue.fill(Qt::blue);
  const QPoint lamp = PlaceIndicatorIcon(push->rect(), QSize(32, 32), true, false).icon.center();

  EXPECT_EQ(indicator.AssignIcons(red, blue), INDBTN_OK);
  EXPECT_EQ(Render(false).pixel(lamp), qRgb(0, 0, 255)) << "out icon while not hot";
  EXPECT_EQ(Render(true).pixel(lamp + QPoint(1, 1)), qRgb(255, 0, 0)) << "in icon while pressed";

  const QRgb face = ColorFromRef(indicator.GetStateColor(INDCLR_BK_NORMAL)).rgb();
  EXPECT_EQ(indicator.AssignIcons(QPixmap(), blue), INDBTN_OK);
  EXPECT_EQ(Render(false).pixel(lamp), face) << "no in icon: no icon at all";

  indicator.LoadIcons(IDI_STATE_GOOD, 0);
  EXPECT_EQ(indicator.LoadIcons(9999, 0), INDBTN_OK);
  EXPECT_EQ(indicator.IconIdIn(), 0u) << "an id without an icon leaves none";
  EXPECT_EQ(Render(false).pixel(lamp), face) << "the previous lamp is gone";

  // A lamp drawn for a doubled screen still covers 32 logical pixels.
  QPixmap sharp(64, 64);
  sharp.fill(Qt::red);
  sharp.setDevicePixelRatio(2);
  indicator.AssignIcons(sharp, QPixmap());
  const QImage image = Render(false);
  EXPECT_EQ(image.pixel(3 + 31, image.height() - 2), qRgb(255, 0, 0)) << "centred by its 32 logical pixels";
  EXPECT_EQ(image.pixel(3 + 32, 0), face) << "not 64 device pixels wide";
}

// The monitor sets every lamp, caption and colour again at each poll; a poll
// that changes nothing must cost no paint, and one that changes a lamp must.
TEST_F(IndicatorOnDialog, APollThatChangesNothingRepaintsNothing) {
  PaintCounter counter;
  push->installEventFilter(&counter);
  const auto paintsAfter = [&](const std::function<void()>& change) {
    QCoreApplication::processEvents();
    counter.paints = 0;
    change();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return counter.paints;
  };
  const auto poll = [&](UINT lamp) {
    indicator.SetWindowText("Paper Ok");
    indicator.LoadIcons(lamp, 0);
    indicator.ShowBorder(FALSE, TRUE);
    indicator.SetStateColor(INDCLR_FG_NORMAL, kBlue, TRUE);
  };

  EXPECT_GE(paintsAfter([&] { poll(IDI_STATE_GOOD); }), 1) << "the first poll shows the lamp";
  EXPECT_EQ(paintsAfter([&] { poll(IDI_STATE_GOOD); }), 0) << "the same state again repainted the control";
  EXPECT_GE(paintsAfter([&] { indicator.ResetColors(TRUE); }), 1) << "colours changed back to the palette's";
  EXPECT_EQ(paintsAfter([&] { indicator.ResetColors(TRUE); }), 0) << "the palette's colours again repainted";
  EXPECT_GE(paintsAfter([&] { poll(IDI_STATE_BAD); }), 1) << "a changed lamp was not shown";
  EXPECT_EQ(indicator.IconIdIn(), static_cast<UINT>(IDI_STATE_BAD));
  push->removeEventFilter(&counter);
}

TEST_F(IndicatorOnDialog, TwoLineCaptionIsWrappedAndCentredAsABlock) {
  push->resize(70, 60);
  push->setText("Printer is off-line");
  indicator.AssignIcons(QPixmap(), QPixmap());
  indicator.SetStateColor(INDCLR_FG_NORMAL, kBlue, FALSE);
  const QImage image = Render(false);
  const QRgb face = ColorFromRef(indicator.GetStateColor(INDCLR_BK_NORMAL)).rgb();

  // Rows with ink, gathered into bands: one band per line of text.
  std::vector<QRect> lines;
  bool inLine = false;
  for (int y = 0; y < image.height(); ++y) {
    const QRect row = InkBox(image, QRect(0, y, image.width(), 1), face);
    if (row.isEmpty()) {
      inLine = false;
    } else if (!inLine || lines.empty()) {
      lines.push_back(row);
      inLine = true;
    } else {
      lines.back() |= row;
    }
  }
  ASSERT_EQ(lines.size(), 2u) << "word-wrapped onto two lines";
  const QRect block = lines[0] | lines[1];
  EXPECT_NEAR(block.center().y(), image.rect().center().y(), 3) << "block centred vertically, not top-aligned";
  for (const QRect& line : lines) {
    EXPECT_NEAR(line.center().x(), image.rect().center().x(), 2) << "each line centred";
  }
  EXPECT_GT(lines[0].width(), lines[1].width() + 5) << "\"Printer is\" above the shorter \"off-line\"";
}

}  // namespace
