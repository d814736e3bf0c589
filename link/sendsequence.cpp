// "Send Now": the window's values go to the module as two passes of four
// command frames, each followed by a 100 ms pause.

#include "app/application.h"
#include "app/memotext.h"
#include "app/unit1.h"
#include "link/failurecause.h"
#include "link/frames.h"
#include "link/pause.h"
#include "link/vacomm.h"

#include <QSignalBlocker>
#include <QTextStream>

namespace {

constexpr auto framePause = std::chrono::milliseconds(100);
constexpr int passes = 2;

} // namespace

void TForm1::BitBtn1Click(QObject * /*Sender*/)
{
    // A press handled in this sequence's own event drain would start a second
    // sequence on the open port; while this one runs the button says nothing.
    const QSignalBlocker noNestedSequence(BitBtn1);

    Memo1->clear();
    Memo1->setToolTip(QString());
    VaComm1->setPortNum(ComboBox2->currentIndex() + 1);

    const auto frames =
        ktb::passFrames(SpinEdit1->Value(), SpinEdit2->Value(), ComboBox1->currentIndex());

    try {
        VaComm1->Open();
        for (int pass = 0; pass < passes; ++pass) {
            for (const ktb::Frame &frame : frames) {
                const auto written = std::chrono::steady_clock::now();
                VaComm1->WriteBytes(QByteArrayView(frame.data(), frame.size()));
                ktb::sleepUntil(written + framePause);
            }
        }
        ktb::drainEvents();
        // A reply that came in during the last pause may not have been
        // announced yet; it was received before the close, so show it.
        VaComm1RxChar(VaComm1, VaComm1->WaitingCount());
        VaComm1->Close();
    } catch (const std::exception &failure) {
        // Closing here lets the next press start afresh instead of finding
        // the port still open.
        VaComm1->Close();
        ktb::appendLine(Memo1, QStringLiteral("Unable to open the COM port!"));
        const QString cause = ktb::failureCause(QString::fromUtf8(failure.what()));
        Memo1->setToolTip(cause);
        QTextStream(stderr) << QCoreApplication::applicationName() << ": " << cause << Qt::endl;
    }
}
