#include "widgets/PanelAccessible.h"

#include "widgets/CClockCtrl.h"
#include "widgets/CStatusCtrl.h"

#include <QAccessibleWidget>
#include <memory>

namespace brenwick::widgets {

namespace {

class CStatusAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit CStatusAccessible(CStatusCtrl* ctrl) : QAccessibleWidget(ctrl, QAccessible::StatusBar) {}

    QAccessible::Role role() const override {
        return Ctrl()->IsProgressShown() ? QAccessible::ProgressBar : QAccessible::StatusBar;
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return Ctrl()->GetText();
        case QAccessible::Description:
            return Ctrl()->Description();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    // The value is offered only while the bar follows a run; at other times the bar is just empty.
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return Ctrl()->IsProgressShown() ? static_cast<QAccessibleValueInterface*>(this) : nullptr;
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QVariant currentValue() const override { return static_cast<int>(Ctrl()->GetPos()); }
    void setCurrentValue(const QVariant& /*value*/) override {} // the operator cannot set the progress
    QVariant maximumValue() const override { return static_cast<int>(Ctrl()->GetMax()); }
    QVariant minimumValue() const override { return static_cast<int>(Ctrl()->GetMin()); }
    QVariant minimumStepSize() const override { return 1; }

  private:
    CStatusCtrl* Ctrl() const { return static_cast<CStatusCtrl*>(widget()); }
};

class CClockAccessible : public QAccessibleWidget {
  public:
    // Read as text: screen readers know no role for a clock and would call it "unknown".
    explicit CClockAccessible(CClockCtrl* ctrl) : QAccessibleWidget(ctrl, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return static_cast<CClockCtrl*>(widget())->GetText().trimmed();
        }
        return QAccessibleWidget::text(t);
    }
};

// Qt keeps the interfaces it is given in its own cache and deletes them with their controls.
QAccessibleInterface* PanelFactory(const QString& /*className*/, QObject* object) {
    if (auto* status = qobject_cast<CStatusCtrl*>(object)) {
        return std::make_unique<CStatusAccessible>(status).release();
    }
    if (auto* clock = qobject_cast<CClockCtrl*>(object)) {
        return std::make_unique<CClockAccessible>(clock).release();
    }
    return nullptr;
}

} // namespace

void RegisterPanelAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&PanelFactory);
        return true;
    }();
    (void)installed;
}

} // namespace brenwick::widgets
