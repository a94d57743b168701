#include "widgets/AnchorLayout.h"
#include "widgets/CResizableFormView.h"
#include "widgets/DialogUnits.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace bp = brenwick::widgets;

// How GoogleTest prints a rectangle in a failure message.
namespace brenwick::panel {
void PrintTo(const EdgeRect& r, std::ostream* os);
void PrintTo(const EdgeRect& r, std::ostream* os) {
    *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
} // namespace brenwick::panel

namespace {

// Counts the moves and resizes a control receives.
class MoveCounter : public QObject {
  public:
    int moves = 0, resizes = 0;

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        moves += event->type() == QEvent::Move ? 1 : 0;
        resizes += event->type() == QEvent::Resize ? 1 : 0;
        return false;
    }
};

// A form of design size 300 x 150 with four controls, laid out like a small panel.
class TestForm : public bp::CResizableFormView {
  public:
    TestForm() : bp::CResizableFormView(QSize(300, 150)) {
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
    bp::EdgeRect Place(const QWidget& w) const { return bp::EdgesOf(w.geometry()); }

    QLabel title{QStringLiteral("Title"), Form()};
    QPushButton button{QStringLiteral("Start"), Form()};
    QLabel footer{QStringLiteral("Footer"), Form()};
    QLabel corner{QStringLiteral("Corner"), Form()};
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

// Below the design size the form keeps it and the controls their design places; growing back resumes
// proportional placement.
TEST_F(FormTest, ControlsFollowTheirAnchorsInARealResizedForm) {
    const struct {
        QSize view;
        bp::EdgeRect title, button, footer, corner;
    } cases[] = {
        {{300, 150}, {6, 6, 294, 24}, {10, 40, 110, 60}, {4, 126, 296, 146}, {250, 100, 290, 120}},
        {{500, 150}, {6, 6, 494, 24}, {110, 40, 210, 60}, {4, 126, 496, 146}, {450, 100, 490, 120}},
        {{301, 150}, {6, 6, 295, 24}, {10, 40, 110, 60}, {4, 126, 297, 146}, {251, 100, 291, 120}},
        {{302, 151}, {6, 6, 296, 24}, {11, 40, 111, 60}, {4, 127, 298, 147}, {252, 101, 292, 121}},
        {{200, 100}, {6, 6, 294, 24}, {10, 40, 110, 60}, {4, 126, 296, 146}, {250, 100, 290, 120}},
        {{640, 400}, {6, 6, 634, 24}, {180, 40, 280, 60}, {4, 376, 636, 396}, {590, 350, 630, 370}},
        {{300, 151}, {6, 6, 294, 24}, {10, 40, 110, 60}, {4, 127, 296, 147}, {250, 101, 290, 121}},
    };
    for (const auto& c : cases) {
        ResizeTo(c.view.width(), c.view.height());
        SCOPED_TRACE(testing::Message() << c.view.width() << "x" << c.view.height());
        EXPECT_EQ(form.Place(form.title), c.title);
        EXPECT_EQ(form.Place(form.button), c.button);
        EXPECT_EQ(form.Place(form.footer), c.footer);
        EXPECT_EQ(form.Place(form.corner), c.corner);
        EXPECT_EQ(form.Form()->size(), c.view.expandedTo(QSize(300, 150)));
        EXPECT_EQ(form.horizontalScrollBar()->maximum() > 0, c.view.width() < 300);
    }
    // Narrower only: the width stays at the design width, the height follows the view less the scroll bar.
    ResizeTo(250, 400);
    EXPECT_EQ(form.Form()->width(), 300);
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{10, 40, 110, 60}));
    EXPECT_EQ(form.footer.geometry().bottom() + 1, form.Form()->height() - 4);
    EXPECT_EQ(form.Form()->height(), form.viewport()->height());
}

// A pass that changes nothing moves nothing; taller only moves the bottom-anchored controls without resizing
// them; wider only resizes the stretched title in place.
TEST_F(FormTest, OnlyControlsWhosePlaceChangesAreMoved) {
    ResizeTo(500, 200);
    std::vector<std::unique_ptr<MoveCounter>> counters;
    for (QWidget* w :
         std::initializer_list<QWidget*>{&form.title, &form.button, &form.footer, &form.corner}) {
        counters.push_back(std::make_unique<MoveCounter>());
        w->installEventFilter(counters.back().get());
    }
    EXPECT_EQ(form.RepositionControls(), 0);
    ResizeTo(500, 260);
    const int moved[][2] = {
        {0, 0}, {0, 0}, {1, 0}, {1, 0}}; // moves and resizes: title, button, footer, corner
    for (size_t i = 0; i < counters.size(); ++i) {
        EXPECT_EQ(counters[i]->moves, moved[i][0]) << i;
        EXPECT_EQ(counters[i]->resizes, moved[i][1]) << i;
    }
    ResizeTo(560, 260);
    EXPECT_EQ(counters[0]->moves, 0);
    EXPECT_EQ(counters[0]->resizes, 1);
}

// Offsets are taken against the design size whatever the view's size before activation; an entry without a
// window, and one whose control went away, are skipped; a control in a nested widget keeps its offset there.
TEST(AnchorLayout, BeforeActivationAndEntriesWithoutAWindow) {
    TestForm form;
    QWidget group(form.Form());
    group.setGeometry(20, 60, 200, 60);
    QLabel inner(QStringLiteral("inner"), &group);
    inner.setGeometry(10, 10, 50, 20); // 30,70 - 80,90 in the form
    auto extra = std::make_unique<QLabel>(QStringLiteral("gone"), form.Form());
    extra->setGeometry(20, 70, 50, 20);
    form.resize(500, 150);
    form.show();
    QApplication::processEvents();
    form.AnchorControl(nullptr, bp::AnchorTopLeft);
    form.AnchorControl(extra.get(), bp::AnchorTopCenter);
    form.AnchorControl(&inner, bp::AnchorTopLeft, bp::AnchorTopRight);
    form.Register();
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{10, 40, 110, 60})) << "moved before activation";
    ASSERT_EQ(form.Entries().size(), 7U);
    EXPECT_EQ(form.WindowEntryCount(), 7);
    EXPECT_EQ(form.Entries()[4].firstMargin, (brenwick::panel::Point{-140, 40})); // the button's
    EXPECT_FALSE(form.IsLayoutActive());
    extra.reset(); // the control goes away while still registered
    form.OnInitialUpdate();
    EXPECT_TRUE(form.IsLayoutActive());
    EXPECT_EQ(form.Place(form.button), (bp::EdgeRect{110, 40, 210, 60}));
    EXPECT_EQ(inner.geometry(), QRect(10, 10, 250, 20));
    EXPECT_TRUE(form.Entries()[0].hWnd.isNull());
    EXPECT_TRUE(form.Entries()[1].hWnd.isNull());
}

// Four horizontal units are one average character and eight vertical ones a line, both from the font; edges
// are converted, not sizes, so that adjacent controls stay adjacent.
TEST(DialogUnits, UnitsComeFromTheFontAndEdgesAreConverted) {
    const bp::CDialogUnits units(6, 13); // Qt's sizes and rectangles go through the panel's arithmetic
    EXPECT_EQ(units.ToPixels(QSize(157, 77)), QSize(236, 125));
    EXPECT_EQ(units.ToPixels(QRect(4, 62, 150, 11)), QRect(6, 101, 225, 18));

    const QFont font = bp::CDialogUnits::DialogFont();
    const bp::CDialogUnits fromFont(font);
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_LE(std::abs(fromFont.BaseX() - metrics.horizontalAdvance(letters) / 52.0), 0.5 + 1e-9);
    EXPECT_EQ(fromFont.BaseY(), metrics.height());
    QFont larger = font;
    larger.setPointSize(16);
    EXPECT_GT(bp::CDialogUnits(larger).ToPixelsX(157), fromFont.ToPixelsX(157));
    EXPECT_GT(bp::CDialogUnits(larger).ToPixelsY(77), fromFont.ToPixelsY(77));
}
