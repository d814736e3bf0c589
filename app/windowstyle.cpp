#include "windowstyle.h"

#include <QStyleFactory>
#include <QStyleOptionComplex>

namespace ktb {

WindowStyle::WindowStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

int WindowStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                           QStyleHintReturn *returnData) const
{
    switch (hint) {
    case SH_ToolTip_WakeUpDelay:
        return 500;
    case SH_ToolTip_FallAsleepDelay:
        return 0;
    // No caption has a keyboard accelerator, so no underline is ever shown.
    case SH_UnderlineShortcut:
        return 0;
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

QRect WindowStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                  SubControl subControl, const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, subControl, widget);
    // The base style keeps a wide gap between the text and the arrow; the
    // list entries need that room at this width.
    if (control == CC_ComboBox && subControl == SC_ComboBoxEditField) {
        const QRect arrow = QProxyStyle::subControlRect(control, option, SC_ComboBoxArrow, widget);
        rect.setRight(arrow.left() - 1);
    }
    return rect;
}

QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace ktb
