// The module's replies, shown as they arrive.

#include "app/memotext.h"
#include "app/unit1.h"
#include "link/hextext.h"
#include "link/vacomm.h"

void TForm1::VaComm1RxChar(QObject * /*Sender*/, int /*Count*/)
{
    // Count was taken when the notification was dispatched; the read takes
    // whatever is waiting now, which includes anything that came since.
    const QByteArray received = VaComm1->ReadWaiting();
    if (!received.isEmpty())
        ktb::appendText(Memo1, ktb::hexText(received));
}
