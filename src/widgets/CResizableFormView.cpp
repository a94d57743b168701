#include "widgets/CResizableFormView.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <memory>

namespace brenwick::widgets {

CResizableFormView::CResizableFormView(QSize designSize, QWidget* parent)
    : QScrollArea(parent), m_DesignSize(designSize.expandedTo(QSize(0, 0))) {
    auto form = std::make_unique<QWidget>();
    form->resize(m_DesignSize);
    m_Form = form.get();
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    // Tab goes from control to control; the view scrolls to the focused one and is no stop of its own.
    setFocusPolicy(Qt::NoFocus);
    setWidget(form.release()); // the scroll area takes ownership
}

QSize CResizableFormView::sizeHint() const {
    return m_DesignSize;
}

QRect CResizableFormView::GetLayoutRect() const {
    if (m_bLayoutActive == 0) {
        return {QPoint(0, 0), m_DesignSize};
    }
    // The area the view offers, less the room of a scroll bar that the other direction needs. A scroll bar
    // in one direction can make the other one necessary, hence the second round.
    const QSize whole = maximumViewportSize();
    const int barExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    QSize visible = whole;
    for (int round = 0; round < 2; ++round) {
        const bool needsHorizontal = visible.width() < m_DesignSize.width();
        const bool needsVertical = visible.height() < m_DesignSize.height();
        visible = QSize(whole.width() - (needsVertical ? barExtent : 0),
                        whole.height() - (needsHorizontal ? barExtent : 0));
    }
    return {QPoint(0, 0), visible.expandedTo(m_DesignSize)};
}

void CResizableFormView::FitForm() {
    const QSize size = GetLayoutRect().size();
    if (m_Form->size() != size) {
        m_Form->resize(size);
    }
}

void CResizableFormView::OnInitialUpdate() {
    m_bLayoutActive = 1;
    FitForm();
    RepositionControls();
}

void CResizableFormView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (m_bLayoutActive != 0) {
        FitForm();
        RepositionControls();
    }
}

} // namespace brenwick::widgets
