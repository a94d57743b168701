#include "panel/AnchorLayout.h"
#include "panel/CResizableFormView.h"
#include "panel/DialogUnits.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace bp = brenwick::panel;

// How GoogleTest prints a rectangle in a failure message.
namespace brenwick::panel {
void PrintTo(const EdgeRect& r, std::ostream* os);
void PrintTo(const EdgeRect& r, std::ostream* os) {
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
} // namespace brenwick::panel

TEST(AnchorMath, MarginsAndResolvedRectangles) {
    struct Case {
        const char* what;
        bp::EdgeRect control;
        bp::Anchor first, second;
        QPoint firstMargin, secondMargin;
        QSize later;
        bp::EdgeRect placed;
    };
    const QSize design(300, 150);
    const std::vector<Case> cases = {
        {"centred keeps its size",
         {10, 40, 110, 60},
         bp::AnchorTopCenter,
         bp::AnchorNone,
         {-140, 40},
         {-40, 60},
         {500, 150},
         {110, 40, 210, 60}},
        {"stretched",
         {6, 6, 294, 24},
         bp::AnchorTopLeft,
         bp::AnchorTopRight,
         {6, 6},
         {-6, 24},
         {500, 150},
         {6, 6, 494, 24}},
        {"odd width truncates",
         {10, 40, 110, 60},
         bp::AnchorTopCenter,
         bp::AnchorNone,
         {-140, 40},
         {-40, 60},
         {301, 150},
         {10, 40, 110, 60}},
        {"one more pixel moves one",
         {10, 40, 110, 60},
         bp::AnchorTopCenter,
         bp::AnchorNone,
         {-140, 40},
         {-40, 60},
         {302, 150},
         {11, 40, 111, 60}},
        {"bottom edge",
         {4, 120, 296, 146},
         bp::AnchorBottomLeft,
         bp::AnchorBottomRight,
         {4, -30},
         {-4, -4},
         {300, 401},
         {4, 371, 296, 397}},
        {"middle right",
         {250, 65, 290, 85},
         bp::AnchorMiddleRight,
         bp::AnchorNone,
         {-50, -10},
         {-10, 10},
         {400, 301},
         {350, 140, 390, 160}},
        {"centre both ways",
         {100, 50, 200, 100},
         bp::AnchorMiddleCenter,
         bp::AnchorBottomRight,
         {-50, -25},
         {-100, -50},
         {600, 300},
         {250, 125, 500, 250}},
    };
    for (const Case& c : cases) {
        bp::AnchorEntry entry;
        bp::CaptureMargins(entry, design, c.control, c.first, c.second);
        EXPECT_EQ(entry.firstMargin, c.firstMargin) << c.what;
        EXPECT_EQ(entry.secondMargin, c.secondMargin) << c.what;
        EXPECT_EQ(bp::ResolveAnchoredRect(entry, design), c.control) << c.what << ": design size gives back";
        EXPECT_EQ(bp::ResolveAnchoredRect(entry, c.later), c.placed) << c.what;
    }
}

namespace {

// Counts the moves and resizes a control receives.
class MoveCounter : public QObject {
  public:
    int moves = 0;
    int resizes = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Move) {
            ++moves;
        } else if (event->type() == QEvent::Resize) {
            ++resizes;
        }
        return QObject::eventFilter(watched, event);
    }
};

// A form of design size 300 x 150 with four controls, laid out like a small panel.
class TestForm : public bp::CResizableFormView {
  public:
    TestForm() : bp::CResizableFormView(QSize(300, 150)) {
        title.setParent(Form());
        button.setParent(Form());
        footer.setParent(Form());
        corner.setParent(Form());
        title.setGeometry(6, 6, 288, 18);     // 6,6 - 294,24
        button.setGeometry(10, 40, 100, 20);  // 10,40 - 110,60
        footer.setGeometry(4, 126, 292, 20);  // bottom 4 above the form's bottom
        corner.setGeometry(250, 100, 40, 20); // 250,100 - 290,120
    }

    void Register() {
        AnchorControl(&title, bp::AnchorTopLeft, bp::AnchorTopRight);
        AnchorControl(&button, bp::AnchorTopCenter, bp::AnchorNone);
        AnchorControl(&footer, bp::AnchorBottomLeft, bp::AnchorBottomRight);
        AnchorControl(&corner, bp::AnchorBottomRight);
    }

    bp::EdgeRect Place(const QWidget& w) const { return bp::EdgeRect::FromQRect(w.geometry()); }

    QLabel title{QStringLiteral("Title")};
    QPushButton button{QStringLiteral("Start")};
    QLabel footer{QStringLiteral("Footer")};
    QLabel corner{QStringLiteral("Corner")};
};

class FormTest : public ::testing::Test {
  protected:
    FormTest() {
        form.resize(300, 150);
        form.show();
        QApplication::processEvents();
        form.Register();
        form.OnInitialUpdate();
    }

    void ResizeTo(int w, int h) {
        form.resize(w, h);
        QApplication::processEvents();
    }

    TestForm form;
};

} // namespace

TEST_F(FormTest, ControlsFollowTheirAnchorsInARealResizedForm) {
    struct Case {
        QSize size;
        bp::EdgeRect title, button, footer, corner;
    };
    const std::vector<Case> cases = {
        {{300, 150}, {6, 6, 294, 24}, {10, 40, 110, 60}, {4, 126, 296, 146}, {250, 100, 290, 120}},
        {{500, 150}, {6, 6, 494, 24}, {110, 40, 210, 60}, {4, 126, 496, 146}, {450, 100, 490, 120}},
        {{301, 150}, {6, 6, 295, 24}, {10, 40, 110, 60}, {4, 126, 297, 146}, {251, 100, 291, 120}},
        {{302, 151}, {6, 6, 296, 24}, {11, 40, 111, 60}, {4, 127, 298, 147}, {252, 101, 292, 121}},
        {{640, 400}, {6, 6, 634, 24}, {180, 40, 280, 60}, {4, 376, 636, 396}, {590, 350, 630, 370}},
        {{300, 151}, {6, 6, 294, 24}, {10, 40, 110, 60}, {4, 127, 296, 147}, {250, 101, 290, 121}},
    };
    for (const Case& c : cases) {
        ResizeTo(c.size.width(), c.size.height());
        const QString at = QStringLiteral("%1x%2").arg(c.size.width()).arg(c.size.height());
        EXPECT_EQ(form.Place(form.title), c.title) << at.toStdString();
        EXPECT_EQ(form.Place(form.button), c.button) << at.toStdString();
        EXPECT_EQ(form.Place(form.footer), c.footer) << at.toStdString();
        EXPECT_EQ(form.Place(form.corner), c.corner) << at.toStdString();
        EXPECT_EQ(form.Form()->size(), c.size) << at.toStdString();
    }
}

TEST_F(FormTest, BottomAnchoredControlStaysFourPixelsAboveTheBottom) {
    for (const int h : {150, 151, 200, 333, 480, 152}) {
        ResizeTo(300, h);
        EXPECT_EQ(form.footer.geometry().y() + form.footer.height(), h - 4) << h;
        EXPECT_EQ(form.footer.height(), 20) << h;
    }
}

TEST_F(FormTest, BelowTheDesignSizeControlsKeepTheirPlacesAndTheViewScrolls) {
    ResizeTo(500, 300);
    ASSERT_EQ(form.Place(form.button), (bp::EdgeRect{110, 40, 210, 60}));

    ResizeTo(200, 100);
    EXPECT_EQ(form.Place(form.title), (bp::EdgeRect{6, 6, 294, 24}));
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{10, 40, 110, 60}));
    EXPECT_EQ(form.Place(form.footer), (bp::EdgeRect{4, 126, 296, 146}));
    EXPECT_EQ(form.Place(form.corner), (bp::EdgeRect{250, 100, 290, 120}));
    EXPECT_EQ(form.Form()->size(), QSize(300, 150));
    EXPECT_GT(form.horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(form.verticalScrollBar()->maximum(), 0);

    // Narrower only: the width stays at the design width, the height follows the view less the scroll bar.
    ResizeTo(250, 400);
    EXPECT_EQ(form.Form()->width(), 300);
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{10, 40, 110, 60}));
    EXPECT_EQ(form.footer.geometry().bottom() + 1, form.Form()->height() - 4);
    EXPECT_EQ(form.Form()->height(), form.viewport()->height());

    // Growing back resumes proportional placement.
    ResizeTo(640, 400);
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{180, 40, 280, 60}));
    EXPECT_EQ(form.Place(form.footer), (bp::EdgeRect{4, 376, 636, 396}));
    EXPECT_EQ(form.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(form.verticalScrollBar()->maximum(), 0);
}

TEST_F(FormTest, APassThatChangesNothingMovesNoControl) {
    ResizeTo(500, 200);
    std::vector<std::unique_ptr<MoveCounter>> counters;
    for (QWidget* w :
         std::initializer_list<QWidget*>{&form.title, &form.button, &form.footer, &form.corner}) {
        counters.push_back(std::make_unique<MoveCounter>());
        w->installEventFilter(counters.back().get());
    }
    EXPECT_EQ(form.RepositionControls(), 0);
    for (const auto& c : counters) {
        EXPECT_EQ(c->moves, 0);
        EXPECT_EQ(c->resizes, 0);
    }

    // Taller only: the top-anchored controls keep their rectangles; the bottom ones move without resizing.
    ResizeTo(500, 260);
    EXPECT_EQ(counters[0]->moves + counters[0]->resizes, 0) << "title";
    EXPECT_EQ(counters[1]->moves + counters[1]->resizes, 0) << "button";
    EXPECT_EQ(counters[2]->moves, 1) << "footer";
    EXPECT_EQ(counters[2]->resizes, 0) << "footer";
    EXPECT_EQ(counters[3]->moves, 1) << "corner";

    // Wider only: the stretched title resizes in place.
    ResizeTo(560, 260);
    EXPECT_EQ(counters[0]->moves, 0) << "title";
    EXPECT_EQ(counters[0]->resizes, 1) << "title";
}

TEST(AnchorLayout, MarginsAreTakenAgainstTheDesignSizeBeforeActivation) {
    TestForm form;
    form.resize(500, 150);
    form.show();
    QApplication::processEvents();
    // Before activation the view's size does not matter and nothing moves.
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{10, 40, 110, 60}));
    form.Register();
    EXPECT_EQ(form.Entries()[1].firstMargin, QPoint(-140, 40));
    EXPECT_FALSE(form.IsLayoutActive());
    form.OnInitialUpdate();
    EXPECT_TRUE(form.IsLayoutActive());
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{110, 40, 210, 60}));
}

TEST(AnchorLayout, EntriesWithoutAWindowAreSkipped) {
    TestForm form;
    form.resize(300, 150);
    form.show();
    auto extra = std::make_unique<QLabel>(QStringLiteral("gone"), form.Form());
    extra->setGeometry(20, 70, 50, 20);
    form.AnchorControl(nullptr, bp::AnchorTopLeft);
    form.AnchorControl(extra.get(), bp::AnchorTopCenter);
    form.Register();
    ASSERT_EQ(form.Entries().size(), 6U);
    EXPECT_EQ(form.WindowEntryCount(), 6);
    extra.reset(); // the control goes away while still registered
    form.OnInitialUpdate();
    form.resize(500, 200);
    QApplication::processEvents();
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{110, 40, 210, 60}));
    EXPECT_TRUE(form.Entries()[0].hWnd.isNull());
    EXPECT_TRUE(form.Entries()[1].hWnd.isNull());
}

TEST(AnchorLayout, ControlsInANestedWidgetKeepTheirOffset) {
    TestForm form;
    QWidget group(form.Form());
    group.setGeometry(20, 60, 200, 60);
    QLabel inner(QStringLiteral("inner"), &group);
    inner.setGeometry(10, 10, 50, 20); // 30,70 - 80,90 in the form
    form.resize(300, 150);
    form.show();
    QApplication::processEvents();
    form.AnchorControl(&inner, bp::AnchorTopLeft, bp::AnchorTopRight);
    form.OnInitialUpdate();
    form.resize(400, 150);
    QApplication::processEvents();
    EXPECT_EQ(inner.geometry(), QRect(10, 10, 150, 20));
}

TEST(DialogUnits, ConversionRoundsHalvesAwayFromZero) {
    struct Case {
        int value, numerator, denominator, result;
    };
    const std::vector<Case> cases = {
        {157, 6, 4, 236}, {1, 6, 4, 2},     {1, 5, 4, 1},
        {2, 5, 4, 3},     {-1, 6, 4, -2},   {3, 7, 8, 3},
        {4, 13, 8, 7},    {77, 13, 8, 125}, {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
        {5, 3, 0, 0},     {5, 3, -2, -8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bp::MulDivRound(c.value, c.numerator, c.denominator), c.result)
            << c.value << "*" << c.numerator << "/" << c.denominator;
    }
}

TEST(DialogUnits, FourUnitsAreOneAverageCharacterAndEightOneLine) {
    const bp::CDialogUnits units(6, 13);
    EXPECT_EQ(units.ToPixelsX(4), 6);
    EXPECT_EQ(units.ToPixelsY(8), 13);
    EXPECT_EQ(units.ToPixels(QSize(157, 77)), QSize(236, 125));
    // Adjacent controls stay adjacent: the edges are converted, not the sizes.
    const QRect left = units.ToPixels(QRect(4, 48, 1, 11));
    const QRect right = units.ToPixels(QRect(5, 48, 1, 11));
    EXPECT_EQ(left.x() + left.width(), right.x());
    EXPECT_EQ(units.ToPixels(QRect(4, 62, 150, 11)), QRect(6, 101, 225, 18));
}

TEST(DialogUnits, BaseUnitsComeFromTheFont) {
    const QFont font = bp::CDialogUnits::DialogFont();
    const bp::CDialogUnits units(font);
    const QFontMetrics metrics(font);
    const double average =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
        52.0;
    EXPECT_LE(std::abs(units.BaseX() - average), 0.5 + 1e-9);
    EXPECT_EQ(units.BaseY(), metrics.height());
    // A larger font gives a larger form.
    QFont larger = font;
    larger.setPointSize(16);
    const bp::CDialogUnits big(larger);
    EXPECT_GT(big.ToPixelsX(157), units.ToPixelsX(157));
    EXPECT_GT(big.ToPixelsY(77), units.ToPixelsY(77));
}
