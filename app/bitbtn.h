#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button with a picture left of its caption. The glyph bitmap holds
// NumGlyphs pictures side by side (normal, then disabled); the colour of its
// bottom-left pixel is transparent. Enter clicks it like Space does.
class TBitBtn : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QPixmap Glyph READ Glyph WRITE setGlyph)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE setNumGlyphs)

public:
    explicit TBitBtn(QWidget *parent = nullptr);

    QPixmap Glyph() const { return glyph_; }
    void setGlyph(const QPixmap &glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void setNumGlyphs(int count);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void updateIcon();

    QPixmap glyph_;
    int numGlyphs_ = 1;
};
