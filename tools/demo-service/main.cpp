// sonavex-demo-service --root DIR [--port N] [--port-file FILE] [--run PROGRAM]
// Serves DIR/<host>/<path> for any host, as a forward proxy, so that the tool
// run with http_proxy pointing here sees sample song pages instead of the net.
// With --run, it starts PROGRAM pointed at itself and stops when PROGRAM ends:
// one command for the demo where no shell script starts the pair.

#include "LocalHttpServer.h"
#include "StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

namespace {

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
    const QCommandLineOption runOption(
        QStringLiteral("run"),
        QStringLiteral("Start PROGRAM with http_proxy set to this service; stop when it ends."),
        QStringLiteral("PROGRAM"));
    parser.addOptions({rootOption, portOption, portFileOption, runOption});
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
    if (!StopSignals::quitOnStop(app)) {
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

    QProcess program;
    if (parser.isSet(runOption)) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : {QStringLiteral("http_proxy"), QStringLiteral("HTTP_PROXY")})
            env.insert(name, server.baseUrl());
        for (const QString &name : {QStringLiteral("no_proxy"), QStringLiteral("NO_PROXY")})
            env.remove(name);
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(&program, &QProcess::finished, &app,
                         [&app](int exitCode) { app.exit(exitCode); });
        program.start(parser.value(runOption), QStringList());
        if (!program.waitForStarted()) {
            log(QStringLiteral("cannot start ") + parser.value(runOption) + QStringLiteral(": ") +
                program.errorString());
            return 1;
        }
        log(QStringLiteral("started ") + parser.value(runOption));
    }

    const int rc = app.exec();
    log(QStringLiteral("stopped"));
    return rc;
}
