#pragma once

#include "ui_unit1.h"

#include <QString>
#include <QWidget>

class TVaComm;

// What closing the window does once the close handler has run.
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// The program's one window. Its controls come from the layout (unit1.ui) under
// the names they carry there; its four handlers hold all of the program's logic.
class TForm1 : public QWidget, public Ui::TForm1
{
    Q_OBJECT

public:
    TVaComm *VaComm1;

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    void BitBtn1Click(QObject *Sender);
    void VaComm1RxChar(QObject *Sender, int Count);
    void FormCreate(QObject *Sender);
    void FormClose(QObject *Sender, TCloseAction &Action);

protected:
    void closeEvent(QCloseEvent *event) override;
};

// The one window; set as soon as its construction begins, so that the create
// handler can already reach it.
extern TForm1 *Form1;

// The directory of the running program with its trailing '/', found once when
// the window is created and kept for the save at closing.
extern QString ProgramDir;
