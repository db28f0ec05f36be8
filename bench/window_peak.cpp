// window-peak [MIB]
//
// Peak resident memory of the real main window extracting one large UTF-8
// song page (default 60 MiB, under the fetch's 64 MiB cap). The page comes
// from the demo service in its own process, so only the window is measured.
// Prints the window's resident memory once the version check has passed
// (idle), its peak after the extraction, and the difference.

#include "Form1.h"

#include "WindowBench.h"
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

QByteArray worstPage(qsizetype bytes)
{
    const QByteArray head = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                            "<title>因为爱情 - Heightened - 唱吧";
    const QByteArray tail =
        "</title><style>.pcsong_head {background: url( \"http://img.example/bg/100/h.jpg\");}"
        "</style></head><body><div class=\"pcsong_photos\"><img src=\"http://img.example/u/7.jpg\" "
        "/></div><div class=\"pcsong_title\">有 2718</div><div class=\"pcsong_listen_icon fl\">"
        "12,034</div><script>var s = {mp3:\"http://mp3.example/88123.mp3\"};</script></html>\n";
    const QByteArray filler = "<p class=\"c\">为爱情唱一首歌: la la la, once more!</p>\n";
    QByteArray page = head;
    page.reserve(bytes);
    while (page.size() + filler.size() + tail.size() <= bytes)
        page += filler;
    return page + tail;
}

} // namespace

int main(int argc, char *argv[])
{
    const int mib = argc > 1 ? std::atoi(argv[1]) : 60;
    QTemporaryDir root;
    const QDir dir(root.path());
    dir.mkpath(QStringLiteral("changba.com/s"));
    dir.mkpath(QStringLiteral("soft.vantre.example/brelvane/sonav/jc"));
    QFile page(dir.filePath(QStringLiteral("changba.com/s/big")));
    QFile version(dir.filePath(QStringLiteral("soft.vantre.example/brelvane/sonav/jc/jc.txt")));
    if (!page.open(QIODevice::WriteOnly) || !version.open(QIODevice::WriteOnly))
        return 2;
    page.write(worstPage(qsizetype(mib) << 20));
    page.close();
    version.write("V1.0");
    version.close();

    QApplication app(argc, argv);
    QProcess service;
    if (!serveThroughDemo(service, root.path(), dir.filePath(QStringLiteral("port"))))
        return 2;

    int rc = 0;
    {
        Form1 form;
        form.show();
        auto *text1 = form.findChild<QLineEdit *>(QStringLiteral("Text1"));
        auto *command1 = form.findChild<QPushButton *>(QStringLiteral("Command1"));
        if (!text1 || !command1 || !waitFor([&] { return command1->isEnabled(); }, 20000)) {
            std::fprintf(stderr, "window-peak: the version check did not pass\n");
            rc = 1;
        } else {
            const long idle = statusKiB("VmRSS:");
            text1->setText(QStringLiteral("http://changba.com/s/big"));
            command1->click();
            const long peak = statusKiB("VmHWM:");
            const bool parsed = form.songPage().strMp3Url == u"http://mp3.example/88123.mp3";
            std::printf("%d MiB page%s: idle %.1f MiB, peak %.1f MiB, peak - idle %.1f MiB\n", mib,
                        parsed ? "" : " (NOT PARSED)", idle / 1024.0, peak / 1024.0,
                        (peak - idle) / 1024.0);
            rc = parsed ? 0 : 1;
        }
    }
    service.terminate();
    service.waitForFinished();
    return rc;
}
