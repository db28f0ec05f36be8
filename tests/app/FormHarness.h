#pragma once

// The outside world replaced by recorders (pages opened, program ends), message
// boxes reset, the executable folder in a temporary directory.

#include "AppPaths.h"
#include "Form1.h"
#include "MessageBox.h"
#include "Program.h"
#include "WebOpener.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

class FormHarness
{
public:
    QStringList opened;
    QList<int> ended;
    QTemporaryDir exeDir;

    static void setProgramFont() { QApplication::setFont(Form1::programFont()); }

    void install()
    {
        opened.clear();
        ended.clear();
        WebOpener::setHandlerForTesting([this](const QString &url) { opened.append(url); });
        Program::setEndHandlerForTesting([this](int code) { ended.append(code); });
        AppPaths::setExecutableFolderForTesting(exeDir.path());
        MessageBox::clearAnswers();
        MessageBox::clearHistory();
    }

    void uninstall()
    {
        WebOpener::setHandlerForTesting({});
        Program::setEndHandlerForTesting({});
        AppPaths::setExecutableFolderForTesting(QString());
    }
};

template<typename T = QWidget> T *control(const QObject *form, const char *name)
{
    return form->findChild<T *>(QLatin1String(name));
}

// Keeps the version check out of tests about other things.
inline void stopVersionTimer(const QObject *form)
{
    control<QTimer>(form, "Timer2")->stop();
}
