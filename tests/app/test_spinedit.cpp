#include "app/spinedit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

// Two fields like the window's frequency and level fields, and a line edit after
// them so that Tab has somewhere to go.
class Host : public QWidget
{
public:
    Host()
    {
        auto *layout = new QVBoxLayout(this);
        frequency->setMinValue(76000);
        frequency->setMaxValue(108000);
        frequency->setIncrement(10);
        frequency->setMaxLength(6);
        frequency->setValue(100000);
        level->setMinValue(88);
        level->setMaxValue(120);
        level->setIncrement(1);
        level->setMaxLength(3);
        level->setValue(115);
        for (QWidget *w : {static_cast<QWidget *>(frequency), static_cast<QWidget *>(level),
                           static_cast<QWidget *>(other)}) {
            w->setFixedSize(97, 22);
            layout->addWidget(w);
        }
    }
    TSpinEdit *frequency = new TSpinEdit(this);
    TSpinEdit *level = new TSpinEdit(this);
    QLineEdit *other = new QLineEdit(this);
};

class TestSpinEdit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void behaviour_data();
    void behaviour();
    void valueRules_data();
    void valueRules();
    void equalBoundsDoNotClamp();
    void mouseClickIntoTextKeepsCaret();
    void arrowClickStepsOnceAndTakesFocus();
    void holdingAnArrowRepeats();

private:
    // Runs one step of a scripted session on the field.
    void perform(TSpinEdit *field, const QString &step);

    std::unique_ptr<Host> host_;
    int beeps_ = 0;
};

void TestSpinEdit::init()
{
    host_ = std::make_unique<Host>();
    host_->show();
    QVERIFY(QTest::qWaitForWindowActive(host_.get()));
    beeps_ = 0;
    TSpinEdit::setBeeper([this] { ++beeps_; });
}

void TestSpinEdit::cleanup()
{
    TSpinEdit::setBeeper(nullptr);
    host_.reset();
}

void TestSpinEdit::perform(TSpinEdit *field, const QString &step)
{
    QLineEdit *editor = field->editor();
    const QString argument = step.section(u':', 1);
    if (step.startsWith(u"type:")) {
        QTest::keyClicks(editor, argument);
    } else if (step.startsWith(u"paste:")) {
        QGuiApplication::clipboard()->setText(argument);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    } else if (step == u"clear") {
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Backspace);
    } else if (step == u"tab") {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } else if (step == u"up" || step == u"down") {
        QTest::keyClick(editor, step == u"up" ? Qt::Key_Up : Qt::Key_Down);
    } else if (step == u"enter") {
        QTest::keyClick(editor, Qt::Key_Return);
    } else if (step == u"space") {
        QTest::keyClick(editor, Qt::Key_Space, Qt::NoModifier);
    } else if (step == u"arrow-up" || step == u"arrow-down") {
        QTest::mouseClick(step == u"arrow-up" ? field->upButton() : field->downButton(),
                          Qt::LeftButton);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

void TestSpinEdit::behaviour_data()
{
    QTest::addColumn<bool>("level");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("beeps");

    auto row = [](const char *name, bool level, const char *start, QStringList steps,
                  const char *text, int value, int beeps = 0) {
        QTest::newRow(name) << level << QString::fromLatin1(start) << steps
                            << QString::fromLatin1(text) << value << beeps;
    };
    row("5 then Tab clamps up", false, "100000", {"type:5", "tab"}, "76000", 76000);
    row("999999 then Tab clamps down", false, "100000", {"type:999999", "tab"}, "108000", 108000);
    row("5 reads as 5 while focused", false, "100000", {"type:5"}, "5", 5);
    row("emptied then Tab stays empty", false, "100000", {"clear", "tab"}, "", 76000);
    row("emptied, then up arrow", false, "100000", {"clear", "tab", "arrow-up"}, "76010", 76010);
    row("100005 plus a step, not snapped", false, "100000", {"type:100005", "up"}, "100015",
        100015);
    row("level 120 plus a step stays", true, "120", {"up"}, "120", 120);
    row("level arrow up at 120 stays", true, "120", {"arrow-up"}, "120", 120);
    row("frequency 76000 step down stays", false, "76000", {"down"}, "76000", 76000);
    row("down arrow steps by increment", false, "100000", {"arrow-down"}, "99990", 99990);
    row("seventh character typed is not taken", false, "100000", {"type:1234567"}, "123456",
        123456);
    row("seventh character pasted is not taken", false, "100000", {"paste:7654321"}, "765432",
        765432);
    row("fourth character into level not taken", true, "115", {"type:1000"}, "100", 100);
    row("letter dropped with beep", false, "100000", {"type:a"}, "100000", 100000, 1);
    row("space dropped with beep", false, "100000", {"space"}, "100000", 100000, 1);
    row("enter dropped with beep", false, "100000", {"enter"}, "100000", 100000, 1);
    row("only refused characters beep", false, "100000", {"type:1z2"}, "12", 12, 1);
    row("paste is not filtered", false, "100000", {"paste:$186A0"}, "$186A0", 100000);
    row("hex prefix x reads while focused", false, "100000", {"paste:x186A0"}, "x186A0", 100000);
    row("minus between digits reads as minimum", false, "100000", {"type:1-2"}, "1-2", 76000);
    row("decimal separator typed", false, "100000", {"type:1.5"}, "1.5", 76000);
    row("unreadable text stays when left", false, "100000", {"type:1.5", "tab"}, "1.5", 76000);
    row("negative typed then left", true, "115", {"type:-5", "tab"}, "88", 88);
}

void TestSpinEdit::behaviour()
{
    QFETCH(bool, level);
    QFETCH(QString, start);
    QFETCH(QStringList, steps);
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(int, beeps);

    TSpinEdit *field = level ? host_->level : host_->frequency;
    field->setValue(start.toInt());
    host_->other->setFocus(Qt::TabFocusReason);
    // Entering by Tab selects the whole text, so typing replaces it.
    field->setFocus(Qt::TabFocusReason);
    QVERIFY(field->editor()->hasFocus());
    QCOMPARE(field->editor()->selectedText(), start);

    for (const QString &step : steps)
        perform(field, step);

    QCOMPARE(field->text(), text);
    QCOMPARE(field->Value(), value);
    QCOMPARE(beeps_, beeps);
}

void TestSpinEdit::valueRules_data()
{
    QTest::addColumn<int>("set");
    QTest::addColumn<QString>("text");
    QTest::newRow("in range unchanged, off the step") << 100005 << "100005";
    QTest::newRow("below clamps") << 50000 << "76000";
    QTest::newRow("above clamps") << 200000 << "108000";
    QTest::newRow("negative clamps") << -1 << "76000";
}

void TestSpinEdit::valueRules()
{
    QFETCH(int, set);
    QFETCH(QString, text);
    host_->frequency->setValue(set);
    QCOMPARE(host_->frequency->text(), text);
}

void TestSpinEdit::equalBoundsDoNotClamp()
{
    // Equal bounds switch the clamp off, and setting is not cut by MaxLength.
    TSpinEdit unbounded;
    unbounded.setMinValue(0);
    unbounded.setMaxValue(0);
    unbounded.setMaxLength(3);
    unbounded.setValue(-123456);
    QCOMPARE(unbounded.text(), QStringLiteral("-123456"));
}

void TestSpinEdit::mouseClickIntoTextKeepsCaret()
{
    TSpinEdit *field = host_->frequency;
    host_->other->setFocus(Qt::TabFocusReason);
    QTest::mouseClick(field->editor(), Qt::LeftButton, {}, QPoint(5, 11));
    QVERIFY(field->editor()->hasFocus());
    QVERIFY(!field->editor()->hasSelectedText());
}

void TestSpinEdit::arrowClickStepsOnceAndTakesFocus()
{
    TSpinEdit *field = host_->frequency;
    host_->other->setFocus(Qt::TabFocusReason);
    // The press brings the focus, with the whole text selected; the release steps.
    QTest::mousePress(field->upButton(), Qt::LeftButton);
    QVERIFY(field->editor()->hasFocus());
    QCOMPARE(field->editor()->selectedText(), QStringLiteral("100000"));
    QCOMPARE(field->text(), QStringLiteral("100000"));
    QTest::mouseRelease(field->upButton(), Qt::LeftButton);
    QCOMPARE(field->text(), QStringLiteral("100010"));
    QVERIFY(!field->upButton()->hasFocus());
}

void TestSpinEdit::holdingAnArrowRepeats()
{
    TSpinEdit *field = host_->level;
    field->setValue(90);
    QTest::mousePress(field->upButton(), Qt::LeftButton);
    // Held well past the first repeat; only a lower bound, since timers can be late.
    QTest::qWait(900);
    QTest::mouseRelease(field->upButton(), Qt::LeftButton);
    QVERIFY2(field->Value() >= 92, qPrintable(field->text()));
}

QTEST_MAIN(TestSpinEdit)
#include "test_spinedit.moc"
