#include "errorreport.h"

#include <QTextStream>

namespace ktb {
namespace {

void printToStandardError(const QString &text)
{
    QTextStream(stderr) << text << Qt::endl;
}

FailureReporter &currentReporter()
{
    static FailureReporter reporter = printToStandardError;
    return reporter;
}

} // namespace

QString errorReportText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void setFailureReporter(FailureReporter reporter)
{
    currentReporter() = reporter ? std::move(reporter) : FailureReporter(printToStandardError);
}

void reportFailure(const QString &message)
{
    currentReporter()(errorReportText(message));
}

void reportFailure(const std::exception &failure)
{
    reportFailure(QString::fromUtf8(failure.what()));
}

} // namespace ktb
