#include "bitbtn.h"

#include <QBitmap>
#include <QIcon>
#include <QKeyEvent>

TBitBtn::TBitBtn(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
}

void TBitBtn::setGlyph(const QPixmap &glyph)
{
    glyph_ = glyph;
    updateIcon();
}

void TBitBtn::setNumGlyphs(int count)
{
    numGlyphs_ = std::max(1, count);
    updateIcon();
}

void TBitBtn::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const auto held =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (enter && !held && !event->isAutoRepeat()) {
        click();
        return;
    }
    QPushButton::keyPressEvent(event);
}

void TBitBtn::updateIcon()
{
    if (glyph_.isNull()) {
        setIcon(QIcon());
        return;
    }
    const QImage image = glyph_.toImage();
    const QColor transparent = image.pixelColor(0, image.height() - 1);
    const int width = glyph_.width() / numGlyphs_;

    auto picture = [&](int index) {
        QPixmap part = glyph_.copy(index * width, 0, width, glyph_.height());
        part.setMask(part.createMaskFromColor(transparent, Qt::MaskInColor));
        return part;
    };

    QIcon icon;
    icon.addPixmap(picture(0), QIcon::Normal);
    if (numGlyphs_ > 1)
        icon.addPixmap(picture(1), QIcon::Disabled);
    setIcon(icon);
    setIconSize(QSize(width, glyph_.height()));
}
