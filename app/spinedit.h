#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class QLineEdit;
class QToolButton;
class SpinEditField;

// A numeric field with two arrow buttons. The value lives in the text: reading
// never clamps, so a number typed out of range reads as typed until the field
// is left; only setting the value, stepping and leaving the field clamp.
class TSpinEdit : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int MinValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int Increment READ Increment WRITE setIncrement)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE setMaxLength)
    Q_PROPERTY(int Value READ Value WRITE setValue)

public:
    explicit TSpinEdit(QWidget *parent = nullptr);

    std::int32_t Value() const;
    void setValue(std::int32_t value);

    std::int32_t MinValue() const { return minValue_; }
    void setMinValue(std::int32_t value) { minValue_ = value; }
    std::int32_t MaxValue() const { return maxValue_; }
    void setMaxValue(std::int32_t value) { maxValue_ = value; }
    std::int32_t Increment() const { return increment_; }
    void setIncrement(std::int32_t value) { increment_ = value; }
    int MaxLength() const;
    void setMaxLength(int length);

    QString text() const;
    QLineEdit *editor() const;
    QToolButton *upButton() const { return up_; }
    QToolButton *downButton() const { return down_; }

    // The sound for a refused character; replaceable so tests can hear it.
    static void setBeeper(std::function<void()> beeper);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class SpinEditField;

    void step(std::int32_t delta);
    void clampText();
    void enterFromArrow();

    SpinEditField *field_;
    QToolButton *up_;
    QToolButton *down_;
    std::int32_t minValue_ = 0;
    std::int32_t maxValue_ = 100;
    std::int32_t increment_ = 1;
};
