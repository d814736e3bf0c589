#include "spinedit.h"

#include "settings/inttext.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QToolButton>
#include <algorithm>
#include <limits>

namespace {

std::function<void()> &beeper()
{
    static std::function<void()> beep = [] { QApplication::beep(); };
    return beep;
}

// Typing takes digits, signs, the decimal separator and control characters
// (Backspace, clipboard shortcuts); Enter is a control character that is refused.
bool isAcceptedCharacter(QChar c)
{
    if (c == u'\r')
        return false;
    if (c.unicode() < 32)
        return true;
    if (c.isDigit() && c.unicode() < 128)
        return true;
    return c == u'+' || c == u'-' || QLocale().decimalPoint().contains(c);
}

bool leavesTheWindowControls(Qt::FocusReason reason)
{
    // Switching to another program or opening a menu is not leaving the field.
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

// The text part of the spin edit. Its length limit applies to typing and
// pasting only, so it is kept here rather than in QLineEdit, whose limit would
// also cut a value that is set.
class SpinEditField : public QLineEdit
{
public:
    explicit SpinEditField(TSpinEdit *owner) : QLineEdit(owner), owner_(owner)
    {
        setAcceptDrops(false);
    }

    int maxLength = 0;

protected:
    bool event(QEvent *event) override
    {
        // The field holds the focus, so it is what a screen reader announces:
        // it goes by the name given to the whole control.
        if (event->type() == QEvent::Polish && accessibleName().isEmpty())
            setAccessibleName(owner_->accessibleName());
        return QLineEdit::event(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            owner_->step(event->key() == Qt::Key_Up ? owner_->Increment() : -owner_->Increment());
            return;
        }
        if (event->matches(QKeySequence::Paste)) {
            pasteWithinLimit();
            return;
        }
        const QString typed = event->text();
        // With Ctrl held a key is a shortcut (select all, copy, undo), not a character.
        const bool shortcut = event->modifiers() & Qt::ControlModifier;
        if (!shortcut && !typed.isEmpty() &&
            !std::all_of(typed.begin(), typed.end(), isAcceptedCharacter)) {
            beeper()();
            return;
        }
        if (!shortcut && !typed.isEmpty() && typed.front().unicode() >= 32 && room() < typed.size())
            return;
        QLineEdit::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent *event) override
    {
        QMenu *menu = createStandardContextMenu();
        if (auto *paste = menu->findChild<QAction *>(QStringLiteral("edit-paste"))) {
            paste->disconnect();
            connect(paste, &QAction::triggered, this, &SpinEditField::pasteWithinLimit);
        }
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(event->globalPos());
    }

    void focusInEvent(QFocusEvent *event) override
    {
        QLineEdit::focusInEvent(event);
        // Only a click into the text keeps the caret where the click put it.
        if (event->reason() != Qt::MouseFocusReason && event->reason() != Qt::PopupFocusReason)
            selectAll();
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        QLineEdit::focusOutEvent(event);
        if (leavesTheWindowControls(event->reason()))
            owner_->clampText();
    }

private:
    qsizetype room() const
    {
        if (maxLength <= 0)
            return std::numeric_limits<qsizetype>::max();
        return maxLength - (text().size() - selectedText().size());
    }

    // Pasting is not filtered by the typing rule, but it stops at the limit.
    void pasteWithinLimit()
    {
        if (isReadOnly())
            return;
        QString pasted = QGuiApplication::clipboard()->text();
        pasted.truncate(std::max<qsizetype>(0, std::min(room(), pasted.size())));
        insert(pasted);
    }

    TSpinEdit *owner_;
};

TSpinEdit::TSpinEdit(QWidget *parent)
    : QWidget(parent), field_(new SpinEditField(this)), up_(new QToolButton(this)),
      down_(new QToolButton(this))
{
    // Tab reaches the field through this widget; a click on an arrow must not
    // count as a click into the text, so the arrows bring the focus themselves.
    // Qt hands a policy on to the focus proxy, so the field's own comes last.
    setFocusPolicy(Qt::TabFocus);
    setFocusProxy(field_);
    field_->setFocusPolicy(Qt::StrongFocus);
    for (QToolButton *arrow : {up_, down_}) {
        arrow->setFocusPolicy(Qt::NoFocus);
        arrow->setAutoRepeat(true);
        arrow->setAutoRepeatDelay(400);
        arrow->setAutoRepeatInterval(100);
        arrow->setIconSize(QSize(5, 3));
        connect(arrow, &QToolButton::pressed, this, &TSpinEdit::enterFromArrow);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] { step(increment_); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-increment_); });
}

std::int32_t TSpinEdit::Value() const
{
    return ktb::parseInteger(field_->text()).value_or(minValue_);
}

void TSpinEdit::setValue(std::int32_t value)
{
    if (minValue_ != maxValue_)
        value = std::clamp(value, minValue_, maxValue_);
    field_->setText(QString::number(value));
}

int TSpinEdit::MaxLength() const
{
    return field_->maxLength;
}

void TSpinEdit::setMaxLength(int length)
{
    field_->maxLength = length;
}

QString TSpinEdit::text() const
{
    return field_->text();
}

QLineEdit *TSpinEdit::editor() const
{
    return field_;
}

void TSpinEdit::setBeeper(std::function<void()> beep)
{
    beeper() = beep ? std::move(beep) : [] { QApplication::beep(); };
}

void TSpinEdit::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The arrows sit inside the field's frame, on its right, like one control.
    constexpr int frame = 2;
    constexpr int arrowWidth = 15;
    const int inner = height() - 2 * frame;
    const int upper = inner / 2;
    field_->setGeometry(rect());
    field_->setTextMargins(0, 0, arrowWidth, 0);
    up_->setGeometry(width() - frame - arrowWidth, frame, arrowWidth, upper);
    down_->setGeometry(width() - frame - arrowWidth, frame + upper, arrowWidth, inner - upper);
}

void TSpinEdit::step(std::int32_t delta)
{
    const std::int64_t next = std::int64_t{Value()} + delta;
    setValue(static_cast<std::int32_t>(std::clamp<std::int64_t>(next, INT32_MIN, INT32_MAX)));
}

void TSpinEdit::clampText()
{
    const auto value = ktb::parseInteger(field_->text());
    if (value && (*value < minValue_ || *value > maxValue_))
        setValue(*value);
}

void TSpinEdit::enterFromArrow()
{
    if (!field_->hasFocus())
        field_->setFocus(Qt::OtherFocusReason);
}
