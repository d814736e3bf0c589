// The operator's five choices: loaded into the window when it is created,
// saved from it when it closes.

#include "app/unit1.h"
#include "settings/inifile.h"
#include "settings/location.h"

namespace {

const QString general = QStringLiteral("General");

// An index outside the list leaves no entry selected rather than a stale one.
void selectEntry(QComboBox *list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

} // namespace

void TForm1::FormCreate(QObject * /*Sender*/)
{
    ProgramDir = ktb::programDirectory();
    {
        const TIniFile ini(ktb::settingsLocation(ProgramDir).readPath);
        SpinEdit1->setValue(ini.ReadInteger(general, QStringLiteral("Frequency"), 100000));
        SpinEdit2->setValue(ini.ReadInteger(general, QStringLiteral("Level"), 115));
        selectEntry(ComboBox1, ini.ReadInteger(general, QStringLiteral("Preemphasis"), 0));
        selectEntry(ComboBox2, ini.ReadInteger(general, QStringLiteral("PortNum"), 0));
        CheckBox1->setChecked(ini.ReadBool(general, QStringLiteral("Send"), false));
    }
    if (CheckBox1->isChecked())
        BitBtn1Click(this);
}

void TForm1::FormClose(QObject * /*Sender*/, TCloseAction & /*Action*/)
{
    TIniFile ini(ktb::prepareWritePath(ktb::settingsLocation(ProgramDir)));
    // Each value is taken as the control holds it now: a number typed out of
    // range is stored as typed and clamped by the field at the next start.
    ini.WriteInteger(general, QStringLiteral("Frequency"), SpinEdit1->Value());
    ini.WriteInteger(general, QStringLiteral("Level"), SpinEdit2->Value());
    ini.WriteInteger(general, QStringLiteral("Preemphasis"), ComboBox1->currentIndex());
    ini.WriteInteger(general, QStringLiteral("PortNum"), ComboBox2->currentIndex());
    ini.WriteBool(general, QStringLiteral("Send"), CheckBox1->isChecked());
}
