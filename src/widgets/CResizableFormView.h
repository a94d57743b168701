#pragma once

#include "widgets/AnchorLayout.h"

#include <QScrollArea>
#include <QSize>

namespace brenwick::widgets {

// A form whose controls follow the window's size by their anchors. The controls are children of Form().
// Below the design size the form keeps its design size in that direction, the controls keep their design
// places, and the view scrolls; above it the form fills the view and the controls follow their anchors.
//
// A derived view registers its controls with AnchorControl before calling OnInitialUpdate, so that every
// offset is taken against the design size.
class CResizableFormView : public QScrollArea, public CAnchorLayout {
    Q_OBJECT

  public:
    explicit CResizableFormView(QSize designSize, QWidget* parent = nullptr);

    QWidget* Form() const { return m_Form; }
    QSize DesignSize() const { return m_DesignSize; }
    bool IsLayoutActive() const { return m_bLayoutActive != 0; }

    // Activates the layout and runs the first pass. Later calls only run a pass.
    virtual void OnInitialUpdate();

    QSize sizeHint() const override;

  protected:
    QWidget* GetLayoutWindow() const override { return m_Form; }
    // The design size until the layout is active; then the visible area, widened or heightened to the
    // design size in a direction where the view is smaller.
    QRect GetLayoutRect() const override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitForm();

    QWidget* m_Form; // owned by the scroll area
    QSize m_DesignSize;
    int m_bLayoutActive = 0;
};

} // namespace brenwick::widgets
