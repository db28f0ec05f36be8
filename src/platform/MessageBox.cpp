#include "MessageBox.h"

#include <QMessageBox>
#include <QQueue>

namespace {

QQueue<int> &pendingAnswers()
{
    static QQueue<int> answers;
    return answers;
}

QList<MessageBox::Shown> &shownBoxes()
{
    static QList<MessageBox::Shown> shown;
    return shown;
}

// The tool's texts separate lines with CR, LF or CR LF; a label breaks on LF only.
QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

QString MessageBox::defaultTitle()
{
    return QStringLiteral("Lumo系列软件");
}

int MessageBox::show(QWidget *parent, const QString &text, int flags, const QString &title)
{
    shownBoxes().append({text, flags, title});
    if (!pendingAnswers().isEmpty())
        return pendingAnswers().dequeue();

    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    box.setIcon((flags & 0x70) == Exclamation ? QMessageBox::Warning : QMessageBox::Information);
    if ((flags & 0x0f) == YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }

    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    case QMessageBox::Ok:
        return Ok;
    default:
        return (flags & 0x0f) == YesNoCancel ? Cancel : Ok;
    }
}

void MessageBox::setNextAnswer(int result)
{
    pendingAnswers().enqueue(result);
}

void MessageBox::clearAnswers()
{
    pendingAnswers().clear();
}

QList<MessageBox::Shown> MessageBox::history()
{
    return shownBoxes();
}

void MessageBox::clearHistory()
{
    shownBoxes().clear();
}
