// What a screen reader announces: every control that takes the keyboard focus,
// and the logo, must have a name; the name must reach the widget that really
// holds the focus (the text part of a spin edit, not the composite around it).

#include "app/application.h"
#include "app/spinedit.h"
#include "app/unit1.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {

QString settingsPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ktbctl.ini");
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

QString describe(const QWidget *widget)
{
    // The text part of a spin edit has no object name of its own.
    QString name = widget->objectName();
    if (name.isEmpty() && widget->parentWidget())
        name = widget->parentWidget()->objectName() + QStringLiteral("'s child");
    return QStringLiteral("%1 (%2)").arg(name,
                                         QString::fromLatin1(widget->metaObject()->className()));
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyFocusableControlIsNamed();
    void logoIsNamed();
    void spinEditNameReachesItsEditor_data();
    void spinEditNameReachesItsEditor();
    void tabbingAnnouncesADistinctNameForEachControl();

private:
    std::unique_ptr<TForm1> form_;
};

void TestAccessibility::initTestCase()
{
    ktb::setUpApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()),
                          QCoreApplication::applicationFilePath());
}

void TestAccessibility::init()
{
    // No [Ports] to open: these tests never press "Send Now".
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nSend=0\n");
    file.close();
    form_ = std::make_unique<TForm1>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestAccessibility::cleanup()
{
    form_.reset();
    QFile::remove(settingsPath());
}

void TestAccessibility::everyFocusableControlIsNamed()
{
    QStringList unnamed;
    int focusable = 0;
    for (QWidget *widget : form_->findChildren<QWidget *>()) {
        // A widget that hands its focus on is announced through the one it hands it to.
        if (!widget->isVisibleTo(form_.get()) || widget->focusProxy() ||
            !(widget->focusPolicy() & Qt::TabFocus))
            continue;
        ++focusable;
        // Both: the name assistive technology is given, and the one set for the
        // control. A list box on Linux gives its current entry as its name, which
        // says what is chosen but not what for.
        if (accessibleName(widget).trimmed().isEmpty() ||
            widget->accessibleName().trimmed().isEmpty())
            unnamed << describe(widget);
    }
    // Both spin edits' fields, two lists, the button, the box and the check box.
    QVERIFY2(focusable >= 7, qPrintable(QString::number(focusable)));
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
}

void TestAccessibility::logoIsNamed()
{
    // A picture has no text of its own to fall back on.
    auto *logo = form_->findChild<QLabel *>(QStringLiteral("Image1"));
    QVERIFY(logo);
    QVERIFY(logo->text().isEmpty());
    QVERIFY(!accessibleName(logo).trimmed().isEmpty());
}

void TestAccessibility::spinEditNameReachesItsEditor_data()
{
    QTest::addColumn<QString>("spinEdit");
    QTest::newRow("frequency") << QStringLiteral("SpinEdit1");
    QTest::newRow("level") << QStringLiteral("SpinEdit2");
}

void TestAccessibility::spinEditNameReachesItsEditor()
{
    QFETCH(QString, spinEdit);
    auto *spin = form_->findChild<TSpinEdit *>(spinEdit);
    QVERIFY(spin);
    QVERIFY(!spin->accessibleName().isEmpty());
    QCOMPARE(accessibleName(spin->editor()), spin->accessibleName());
}

void TestAccessibility::tabbingAnnouncesADistinctNameForEachControl()
{
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QWidget *first = QApplication::focusWidget();
    QVERIFY(first);
    // What a screen reader says on each focus change is the name of the widget
    // that got the focus; once round the whole chain, back to where it started.
    QStringList announced{first->accessibleName()};
    for (int press = 0; press < 20; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        if (focused == first)
            break;
        QVERIFY2(!accessibleName(focused).trimmed().isEmpty(), qPrintable(describe(focused)));
        QVERIFY2(!focused->accessibleName().trimmed().isEmpty(), qPrintable(describe(focused)));
        announced << focused->accessibleName();
    }
    QCOMPARE(QApplication::focusWidget(), first);
    QVERIFY2(announced.size() >= 7, qPrintable(announced.join(QStringLiteral(" | "))));
    // Two controls of the same name could not be told apart by ear.
    QCOMPARE(QSet<QString>(announced.begin(), announced.end()).size(), announced.size());
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
