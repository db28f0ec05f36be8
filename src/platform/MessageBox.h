#pragma once

// The one way the tool shows a modal message box. Flags are a button set plus
// an icon (OkOnly or YesNoCancel, plus Exclamation or Information); show()
// answers with the Result of the button pressed.
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
    enum Result { Ok = 1, Cancel = 2, Yes = 6, No = 7, Extra = 100 };

    // Optional parts of a box: a second line of text under the message, and a
    // button beside the others whose press answers Extra.
    struct Details
    {
        QString informativeText;
        QString extraButton;
    };

    struct Shown
    {
        QString text;
        int flags = 0;
        QString title;
        Details details;
    };

    static QString defaultTitle(); // "Lumo系列软件"

    // Modal; returns the pressed button's code. Esc and the close box give
    // Cancel when Cancel is offered, otherwise OK.
    // Every box is wide enough for its whole title.
    static int show(QWidget *parent, const QString &text, int flags,
                    const QString &title = defaultTitle(), const Details &details = {});

    // Test seam: the next show() returns this code at once, without a dialog.
    static void setNextAnswer(int result);
    static void clearAnswers();
    static QList<Shown> history();
    static void clearHistory();
};
