// download-rss [MIB]
//
// Resident memory of the real main window downloading one large song (default
// 600 MiB) from the demo service, which runs in its own process so only the
// window is measured. Prints the resident memory once the version check has
// passed (idle), the peak during the download, and the difference.

#include "FileDialog.h"
#include "Form1.h"
#include "MessageBox.h"

#include "WindowBench.h"
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

bool writeFile(const QString &path, const QByteArray &data, qint64 repeat = 1)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (qint64 i = 0; i < repeat; ++i)
        file.write(data);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    const int mib = argc > 1 ? std::atoi(argv[1]) : 600;
    QTemporaryDir root;
    const QDir dir(root.path());
    const QByteArray chunk(1 << 20, char(0x55)); // not audio: measured without tagging
    const bool written =
        writeFile(dir.filePath(QStringLiteral("changba.com/s/big")),
                  "<html><head><title>大 - 歌手 - 唱吧</title></head><body><script>"
                  "var s = {mp3:\"http://mp3.example/big.mp3\"};</script></body></html>") &&
        writeFile(dir.filePath(QStringLiteral("soft.vantre.example/brelvane/sonav/jc/jc.txt")),
                  "V1.0") &&
        writeFile(dir.filePath(QStringLiteral("mp3.example/big.mp3")), chunk, mib);
    if (!written)
        return 2;

    QApplication app(argc, argv);
    QProcess service;
    if (!serveThroughDemo(service, root.path(), dir.filePath(QStringLiteral("port"))))
        return 2;

    QTemporaryDir saveDir(QDir::currentPath() + QStringLiteral("/download-rss-XXXXXX"));
    const QString target = saveDir.filePath(QStringLiteral("big.mp3"));
    // An older file of that name, which only a complete, synced download replaces.
    writeFile(target, "older");
    int rc = 1;
    {
        Form1 form;
        form.show();
        auto *text1 = form.findChild<QLineEdit *>(QStringLiteral("Text1"));
        auto *command1 = form.findChild<QPushButton *>(QStringLiteral("Command1"));
        auto *command2 = form.findChild<QPushButton *>(QStringLiteral("Command2"));
        if (text1 && command1 && command2 &&
            waitFor([&] { return command1->isEnabled(); }, 20000)) {
            text1->setText(QStringLiteral("http://changba.com/s/big"));
            command1->click();
            const long idle = statusKiB("VmRSS:");
            FileDialog::setNextFileName(target);
            MessageBox::setNextAnswer(MessageBox::Ok);
            command2->click();
            const bool done = waitFor([] { return !MessageBox::history().isEmpty(); }, 600000);
            const long peak = statusKiB("VmHWM:");
            std::printf("%d MiB download: idle %.1f MiB, peak %.1f MiB, peak - idle %.1f MiB\n",
                        mib, idle / 1024.0, peak / 1024.0, (peak - idle) / 1024.0);
            // With a failed sync injected, the box says so and the older file stays.
            std::printf("box: %s; %s holds %lld bytes\n",
                        done ? qPrintable(MessageBox::history().first().text) : "(none)",
                        qPrintable(target), QFileInfo(target).size());
            rc = done ? 0 : 1;
        }
    }
    service.terminate();
    service.waitForFinished();
    return rc;
}
