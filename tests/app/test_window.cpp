#include "app/application.h"
#include "app/unit1.h"
#include "app/windowstyle.h"
#include "link/vacomm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QToolButton>
#include <QtTest>

namespace {

QString settingsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ktbctl.ini");
}

// No port of this machine is ever opened by these tests.
void writeSettings(const QByteArray &general)
{
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\n" + general + "[Ports]\n");
    for (int n = 1; n <= 9; ++n)
        file.write(QByteArray("COM") + QByteArray::number(n) + "=/nonexistent/ttyTEST\n");
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void components_data();
    void components();
    void windowSettings();
    void comboEntries();
    void everyCaptionFits();
    void tabOrderCyclesThroughTheControls();
    void firstFocusSelectsFrequency();
    void preemphasisHint();
    void enterAndSpaceClickSendNow();

private:
    std::unique_ptr<TForm1> form_;
};

void TestWindow::initTestCase()
{
    ktb::setUpApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()),
                          QCoreApplication::applicationFilePath());
}

void TestWindow::init()
{
    writeSettings("");
    form_ = std::make_unique<TForm1>();
}

void TestWindow::cleanup()
{
    form_.reset();
    QFile::remove(settingsPath());
}

void TestWindow::components_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");

    QTest::newRow("GroupBox1") << "GroupBox1"
                               << "QGroupBox"
                               << "Form1" << QRect(0, 0, 113, 49) << "Frequency [kHz]";
    QTest::newRow("SpinEdit1") << "SpinEdit1"
                               << "TSpinEdit"
                               << "GroupBox1" << QRect(8, 16, 97, 22) << "100000";
    QTest::newRow("GroupBox2") << "GroupBox2"
                               << "QGroupBox"
                               << "Form1" << QRect(120, 0, 113, 49) << "Output Level [dBuV]";
    QTest::newRow("SpinEdit2") << "SpinEdit2"
                               << "TSpinEdit"
                               << "GroupBox2" << QRect(8, 16, 97, 22) << "115";
    QTest::newRow("GroupBox3") << "GroupBox3"
                               << "QGroupBox"
                               << "Form1" << QRect(0, 48, 113, 49) << "Preemphasis";
    QTest::newRow("ComboBox1") << "ComboBox1"
                               << "QComboBox"
                               << "GroupBox3" << QRect(8, 16, 97, 21) << "75 us (US)";
    QTest::newRow("GroupBox4") << "GroupBox4"
                               << "QGroupBox"
                               << "Form1" << QRect(120, 48, 113, 49) << "COM Port";
    QTest::newRow("ComboBox2") << "ComboBox2"
                               << "QComboBox"
                               << "GroupBox4" << QRect(8, 16, 97, 21) << "COM1";
    QTest::newRow("CheckBox1") << "CheckBox1"
                               << "QCheckBox"
                               << "Form1" << QRect(7, 102, 105, 17) << "Send on Start-up";
    QTest::newRow("BitBtn1") << "BitBtn1"
                             << "TBitBtn"
                             << "Form1" << QRect(120, 102, 113, 43) << "Send Now";
    QTest::newRow("Image1") << "Image1"
                            << "QLabel"
                            << "Form1" << QRect(8, 123, 93, 20) << "";
    QTest::newRow("Bevel1") << "Bevel1"
                            << "QFrame"
                            << "Form1" << QRect(6, 121, 97, 24) << "";
    QTest::newRow("Memo1") << "Memo1"
                           << "QPlainTextEdit"
                           << "Form1" << QRect(0, 148, 233, 37) << "Response:\n";
}

void TestWindow::components()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);

    auto *widget = form_->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), geometry);

    QString shown;
    if (auto *group = qobject_cast<QGroupBox *>(widget))
        shown = group->title();
    else if (auto *spin = qobject_cast<TSpinEdit *>(widget))
        shown = spin->text();
    else if (auto *combo = qobject_cast<QComboBox *>(widget))
        shown = combo->currentText();
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *memo = qobject_cast<QPlainTextEdit *>(widget))
        shown = memo->toPlainText();
    QCOMPARE(shown, caption);
    QVERIFY2(!shown.contains(u'&'), "no caption has a keyboard accelerator");
}

void TestWindow::windowSettings()
{
    QCOMPARE(form_->windowTitle(), QStringLiteral("KTB7840 TX Control"));
    QCOMPARE(form_->minimumSize(), QSize(233, 186));
    QCOMPARE(form_->maximumSize(), QSize(233, 186));
    const Qt::WindowFlags flags = form_->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(Form1, form_.get());
    QCOMPARE(form_->VaComm1->objectName(), QStringLiteral("VaComm1"));
    QCOMPARE(form_->VaComm1->DeviceName(), QStringLiteral("COM%d"));
    QVERIFY(!form_->VaComm1->Active());

    QCOMPARE(form_->SpinEdit1->MinValue(), 76000);
    QCOMPARE(form_->SpinEdit1->MaxValue(), 108000);
    QCOMPARE(form_->SpinEdit1->Increment(), 10);
    QCOMPARE(form_->SpinEdit1->MaxLength(), 6);
    QCOMPARE(form_->SpinEdit2->MinValue(), 88);
    QCOMPARE(form_->SpinEdit2->MaxValue(), 120);
    QCOMPARE(form_->SpinEdit2->Increment(), 1);
    QCOMPARE(form_->SpinEdit2->MaxLength(), 3);

    QVERIFY(form_->Memo1->isReadOnly());
    QCOMPARE(form_->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form_->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(form_->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(!form_->CheckBox1->isChecked());
    QVERIFY(!form_->BitBtn1->isDefault());
    QVERIFY(!form_->BitBtn1->autoDefault());
    QCOMPARE(form_->BitBtn1->iconSize(), QSize(18, 18));
    QCOMPARE(form_->Image1->pixmap().size(), QSize(93, 20));

    // The logo sits in the bevel with two pixels to spare on every side.
    QCOMPARE(form_->Bevel1->geometry().adjusted(2, 2, -2, -2), form_->Image1->geometry());
    QCOMPARE(QFontInfo(form_->SpinEdit1->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(form_->font().pixelSize(), 11);
}

void TestWindow::comboEntries()
{
    auto entries = [](QComboBox *combo) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        return items;
    };
    QCOMPARE(entries(form_->ComboBox1), (QStringList{"75 us (US)", "50 us (EU, JP)", "none"}));
    QCOMPARE(entries(form_->ComboBox2),
             (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9"}));
    QCOMPARE(form_->ComboBox1->maxVisibleItems(), 3);
    QCOMPARE(form_->ComboBox2->maxVisibleItems(), 8);
    QVERIFY(!form_->ComboBox1->isEditable());
    QVERIFY(!form_->ComboBox2->isEditable());
}

void TestWindow::everyCaptionFits()
{
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));

    for (QComboBox *combo : {form_->ComboBox1, form_->ComboBox2}) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = false;
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            const int needed = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
            QVERIFY2(needed <= field.width(), qPrintable(QStringLiteral("%1 needs %2 px of %3")
                                                             .arg(combo->itemText(i))
                                                             .arg(needed)
                                                             .arg(field.width())));
        }
    }

    for (QGroupBox *group :
         {form_->GroupBox1, form_->GroupBox2, form_->GroupBox3, form_->GroupBox4}) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, group);
        const int needed = group->fontMetrics().horizontalAdvance(group->title());
        QVERIFY2(label.width() >= needed && label.right() < group->width(),
                 qPrintable(group->title()));
    }

    {
        QCheckBox *box = form_->CheckBox1;
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect contents =
            box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) <=
                     contents.intersected(box->rect()).width(),
                 "Send on Start-up");
    }

    {
        TBitBtn *button = form_->BitBtn1;
        const int needed = button->iconSize().width() + 4 +
                           button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY(needed <= button->width() - 8);
    }

    // The spin edits' text stays clear of their arrow buttons.
    for (TSpinEdit *spin : {form_->SpinEdit1, form_->SpinEdit2}) {
        const int needed = spin->fontMetrics().horizontalAdvance(QStringLiteral("108000"));
        QVERIFY(needed < spin->upButton()->x() - 4);
    }
}

void TestWindow::tabOrderCyclesThroughTheControls()
{
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));

    auto current = [this]() -> QString {
        QWidget *focus = QApplication::focusWidget();
        while (focus && focus->parentWidget() != form_.get() && !qobject_cast<TSpinEdit *>(focus) &&
               !qobject_cast<QComboBox *>(focus))
            focus = focus->parentWidget();
        return focus ? focus->objectName() : QString();
    };
    const QStringList order{"SpinEdit1", "SpinEdit2", "ComboBox1", "BitBtn1",
                            "ComboBox2", "Memo1",     "CheckBox1", "SpinEdit1"};
    QCOMPARE(current(), order.first());
    QStringList forward{current()};
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward << current();
    }
    QCOMPARE(forward, order);

    QStringList backward{current()};
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward << current();
    }
    QStringList reversed(order.rbegin(), order.rend());
    QCOMPARE(backward, reversed);
}

void TestWindow::firstFocusSelectsFrequency()
{
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QCOMPARE(QApplication::focusWidget(), form_->SpinEdit1->editor());
    QCOMPARE(form_->SpinEdit1->editor()->selectedText(), QStringLiteral("100000"));
}

void TestWindow::preemphasisHint()
{
    const QString hint =
        QStringLiteral("Setting no preemphasis may not work due to error in the KTB7840 module.");
    QCOMPARE(form_->GroupBox3->toolTip(), hint);
    QCOMPARE(form_->GroupBox3->toolTipDuration(), 2500);
    // The list has no hint of its own: Qt passes its tooltip request to the group.
    QVERIFY(form_->ComboBox1->toolTip().isEmpty());
    QCOMPARE(form_->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
    QCOMPARE(form_->GroupBox3->cursor().shape(), Qt::WhatsThisCursor);
    QCOMPARE(form_->ComboBox1->cursor().shape(), Qt::ArrowCursor);
    for (QWidget *other : form_->findChildren<QWidget *>()) {
        if (other != form_->GroupBox3)
            QVERIFY2(other->toolTip().isEmpty(), qPrintable(other->objectName()));
    }
}

void TestWindow::enterAndSpaceClickSendNow()
{
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    form_->BitBtn1->setFocus(Qt::TabFocusReason);
    // Every port of this test's settings is missing, so each click shows the failure line.
    QSignalSpy clicks(form_->BitBtn1, &QPushButton::clicked);
    QTest::keyClick(form_->BitBtn1, Qt::Key_Return);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(form_->Memo1->toPlainText(), QStringLiteral("Unable to open the COM port!\n"));
    QTest::keyClick(form_->BitBtn1, Qt::Key_Space);
    QCOMPARE(clicks.count(), 2);
    QTest::keyClick(form_->BitBtn1, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(clicks.count(), 2);
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"
