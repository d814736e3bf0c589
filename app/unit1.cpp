#include "unit1.h"

#include "errorreport.h"
#include "link/vacomm.h"
#include "portmap.h"
#include "windowstyle.h"

#include <QCloseEvent>

TForm1 *Form1 = nullptr;
QString ProgramDir;

TForm1::TForm1(QWidget *parent) : QWidget(parent), VaComm1(nullptr)
{
    Form1 = this;

    setFont(ktb::windowFont());
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(233, 186);
    Image1->adjustSize();
    Memo1->setFocusPolicy(Qt::StrongFocus);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

    VaComm1 = new TVaComm(this);
    VaComm1->setObjectName(QStringLiteral("VaComm1"));
    VaComm1->setDeviceName(QStringLiteral("COM%d"));
    // Port names are looked up afresh at every open, so an edited [Ports]
    // section takes effect at the next "Send Now".
    VaComm1->setDevicePathResolver(
        [](const QString &deviceName) { return ktb::portDevicePath(deviceName, ProgramDir); });

    connect(BitBtn1, &QPushButton::clicked, this,
            [this] { ktb::runGuarded([this] { BitBtn1Click(BitBtn1); }); });
    VaComm1->OnRxChar = [this](QObject *sender, int count) { VaComm1RxChar(sender, count); };

    // Focus starts in the frequency field when the window is first activated.
    SpinEdit1->setFocus();

    ktb::runGuarded([this] { FormCreate(this); });
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::closeEvent(QCloseEvent *event)
{
    TCloseAction action = TCloseAction::caHide;
    bool saved = false;
    ktb::runGuarded([&] {
        FormClose(this, action);
        saved = true;
    });
    // A failed save keeps the window open, so nothing the operator chose is lost.
    if (saved && action != TCloseAction::caNone)
        event->accept();
    else
        event->ignore();
}
