#pragma once

// The one way the tool asks for a file name to save under.
//
// Tests pre-answer with setNextFileName() (an empty name means the user
// cancelled); every question, answered or asked for real, is recorded.

#include <QList>
#include <QString>

class QWidget;

class FileDialog
{
public:
    struct Asked
    {
        QString caption;
        QString suggestedPath;
        QString filter;
    };

    // Modal; returns the chosen absolute path, or an empty string on cancel.
    static QString getSaveFileName(QWidget *parent, const QString &caption,
                                   const QString &suggestedPath, const QString &filter);

    // Test seam: answers are used in the order they were queued.
    static void setNextFileName(const QString &fileName);
    static void clearNextFileNames();
    static QList<Asked> history();
    static void clearHistory();
};
