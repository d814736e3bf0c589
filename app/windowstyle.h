#pragma once

#include <QFont>
#include <QProxyStyle>

namespace ktb {

// The classic flat look the window was laid out for, with the few metrics the
// fixed pixel layout needs: a drop-down at 97 px must show "50 us (EU, JP)" whole.
class WindowStyle : public QProxyStyle
{
public:
    WindowStyle();

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl subControl, const QWidget *widget) const override;
};

// "MS Sans Serif" is not on Linux; Liberation Sans at the same 11 px keeps every
// caption inside the boxes of the layout, which DejaVu Sans does not.
QFont windowFont();

} // namespace ktb
