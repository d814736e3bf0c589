#include "memotext.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace ktb {

void appendText(QPlainTextEdit *box, const QString &text)
{
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
}

void appendLine(QPlainTextEdit *box, const QString &line)
{
    appendText(box, line + u'\n');
}

} // namespace ktb
