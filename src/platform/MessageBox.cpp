#include "MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>
#include <QSpacerItem>

namespace {

// Room for the title bar's icon and its minimize, maximize and close buttons.
const int TitleBarButtons = 140;

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

int MessageBox::show(QWidget *parent, const QString &text, int flags, const QString &title,
                     const Details &details)
{
    shownBoxes().append({text, flags, title, details});
    if (!pendingAnswers().isEmpty())
        return pendingAnswers().dequeue();

    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    if (!details.informativeText.isEmpty())
        box.setInformativeText(displayText(details.informativeText));
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
    const QAbstractButton *extra =
        details.extraButton.isEmpty() ? nullptr
                                      : box.addButton(details.extraButton, QMessageBox::ActionRole);

    // The box sizes itself to its text; a short text would leave the title bar
    // too narrow for the title next to the window manager's buttons. Added
    // last: setting the icon or the buttons lays the box out anew.
    const QFontMetrics titleFont(QApplication::font("QMdiSubWindowTitleBar"));
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (grid)
        grid->addItem(new QSpacerItem(titleFont.horizontalAdvance(title) * 3 / 2 + TitleBarButtons,
                                      0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    const int pressed = box.exec();
    if (extra && box.clickedButton() == extra)
        return Extra;
    switch (pressed) {
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
