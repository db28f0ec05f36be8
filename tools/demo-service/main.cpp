// sonavex-demo-service --root DIR [--port N] [--port-file FILE]
// Serves DIR/<host>/<path> for any host, as a forward proxy, so that the tool
// run with http_proxy pointing here sees sample song pages instead of the net.

#include "LocalHttpServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSaveFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop picks the byte up.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

void log(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sonavex-demo-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers HTTP proxy requests for any host from ROOT/<host>/<path>."));
    parser.addHelpOption();
    const QCommandLineOption rootOption(QStringLiteral("root"),
                                        QStringLiteral("Folder with one sub-folder per host."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port on 127.0.0.1 (default: any free)."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption portFileOption(QStringLiteral("port-file"),
                                            QStringLiteral("Write the port chosen into FILE."),
                                            QStringLiteral("FILE"));
    parser.addOptions({rootOption, portOption, portFileOption});
    parser.process(app);

    const QString root = parser.value(rootOption);
    if (root.isEmpty() || !QDir(root).exists()) {
        log(QStringLiteral("--root must name an existing folder"));
        return 2;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        log(QStringLiteral("--port must be a number from 0 to 65535"));
        return 2;
    }
    if (!quitOnSignals(app)) {
        log(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }

    LocalHttpServer server;
    server.serveDirectory(root);
    QObject::connect(&server, &LocalHttpServer::requestReceived, &app, [](const HttpRequest &r) {
        log(QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') +
            QString::fromLatin1(r.method) + QLatin1Char(' ') + r.host + r.path);
    });
    if (!server.listen(quint16(port))) {
        log(QStringLiteral("cannot listen on 127.0.0.1:") + QString::number(port));
        return 1;
    }

    if (parser.isSet(portFileOption)) {
        // Written whole or not at all: a starter polls for a non-empty file.
        QSaveFile file(parser.value(portFileOption));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(server.port())) < 0 ||
            !file.commit()) {
            log(QStringLiteral("cannot write the port file ") + file.fileName());
            return 1;
        }
    }
    log(QStringLiteral("serving ") + QDir(root).absolutePath() + QStringLiteral(" as proxy on ") +
        server.baseUrl());

    const int rc = app.exec();
    log(QStringLiteral("stopped"));
    return rc;
}
