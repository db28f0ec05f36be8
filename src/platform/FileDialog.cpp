#include "FileDialog.h"

#include <QFileDialog>
#include <QQueue>

namespace {

QQueue<QString> &pendingNames()
{
    static QQueue<QString> names;
    return names;
}

QList<FileDialog::Asked> &askedQuestions()
{
    static QList<FileDialog::Asked> asked;
    return asked;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget *parent, const QString &caption,
                                    const QString &suggestedPath, const QString &filter)
{
    askedQuestions().append({caption, suggestedPath, filter});
    if (!pendingNames().isEmpty())
        return pendingNames().dequeue();
    return QFileDialog::getSaveFileName(parent, caption, suggestedPath, filter);
}

void FileDialog::setNextFileName(const QString &fileName)
{
    pendingNames().enqueue(fileName);
}

void FileDialog::clearNextFileNames()
{
    pendingNames().clear();
}

QList<FileDialog::Asked> FileDialog::history()
{
    return askedQuestions();
}

void FileDialog::clearHistory()
{
    askedQuestions().clear();
}
