#pragma once

#include <QPaintEvent>

// A control that counts its paints, to tell a scheduled repaint from a direct one, or from none.
template <class Control>
class CPaintCounting : public Control {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        Control::paintEvent(event);
    }
};
