#pragma once

// The one way the tool shows a modal message box. Flags and results use the
// classic numeric codes (0 OK, 3 Yes/No/Cancel; 48 warning, 64 information;
// results 1 OK, 2 Cancel, 6 Yes, 7 No) because the texts and answers of the
// tool are written in those terms.
//
// Tests pre-answer boxes with setNextAnswer(); every box, answered or shown
// for real, is recorded in history().

#include <QList>
#include <QString>

class QWidget;

class MessageBox
{
public:
    enum Buttons { OkOnly = 0, YesNoCancel = 3 };
    enum Icon { Exclamation = 48, Information = 64 };
    enum Result { Ok = 1, Cancel = 2, Yes = 6, No = 7 };

    struct Shown
    {
        QString text;
        int flags = 0;
        QString title;
    };

    static QString defaultTitle(); // "Lumo系列软件"

    // Modal; returns the pressed button's code. Esc and the close box give
    // Cancel when Cancel is offered, otherwise OK.
    static int show(QWidget *parent, const QString &text, int flags,
                    const QString &title = defaultTitle());

    // Test seam: the next show() returns this code at once, without a dialog.
    static void setNextAnswer(int result);
    static void clearAnswers();
    static QList<Shown> history();
    static void clearHistory();
};
