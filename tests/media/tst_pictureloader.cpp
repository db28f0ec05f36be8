#include "LocalHttpServer.h"
#include "PictureFiles.h"
#include "PictureLoader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum class Expect { Picture, Nothing, Error };

// Twelve 8x8 cells of different colours: a decoder that drops, flips or
// shifts pixels shows, and a lossy one can still be judged at cell centres.
QImage sourcePicture()
{
    QImage image(32, 24, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int cx = x / 8;
            const int cy = y / 8;
            image.setPixel(x, y, qRgb(40 + 50 * cx, 30 + 90 * cy, 200 - 40 * cx));
        }
    }
    return image;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// Qt reads GIF but cannot write it: a minimal GIF89a with a 128-colour global
// table whose LZW stream is one literal code per pixel, with a clear code
// often enough that the code size never grows past its initial 8 bits.
QByteArray gifOf(const QImage &image)
{
    QList<QRgb> palette;
    QList<int> indices;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb rgb = image.pixel(x, y) & 0xffffff;
            if (!palette.contains(rgb))
                palette.append(rgb);
            indices.append(int(palette.indexOf(rgb)));
        }
    }

    QByteArray out("GIF89a");
    const auto word = [&out](int v) {
        out.append(char(v & 0xff));
        out.append(char(v >> 8));
    };
    word(image.width());
    word(image.height());
    out.append(char(0xF6)); // global table of 2^(6+1) = 128 entries
    out.append('\0');
    out.append('\0');
    for (int i = 0; i < 128; ++i) {
        const QRgb rgb = i < palette.size() ? palette.at(i) : 0;
        out.append(char(qRed(rgb)));
        out.append(char(qGreen(rgb)));
        out.append(char(qBlue(rgb)));
    }
    out.append(',');
    word(0);
    word(0);
    word(image.width());
    word(image.height());
    out.append('\0');
    out.append(char(7)); // minimum code size: clear = 128, end = 129

    QByteArray packed; // 8-bit codes need no bit packing
    for (int i = 0; i < indices.size(); ++i) {
        if (i % 100 == 0)
            packed.append(char(128));
        packed.append(char(indices.at(i)));
    }
    packed.append(char(129));
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append('\0');
    out.append(';');
    return out;
}

QString firstMismatch(const QImage &got, const QImage &want)
{
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb a = got.pixel(x, y) & 0xffffff;
            const QRgb b = want.pixel(x, y) & 0xffffff;
            if (a != b)
                return QStringLiteral("pixel %1,%2 is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(a, 6, 16, QLatin1Char('0'))
                    .arg(b, 6, 16, QLatin1Char('0'));
        }
    }
    return QString();
}

HttpResponse pictureResponse(const QByteArray &body, const QByteArray &type)
{
    HttpResponse response;
    response.headers = {{"Content-Type", type}};
    response.body = body;
    return response;
}

// Pads a PNG to an exact size; decoders stop at the end chunk.
QByteArray paddedPng(qint64 size)
{
    QByteArray bytes = encoded(sourcePicture(), "PNG");
    bytes.append(QByteArray(size - bytes.size(), '\0'));
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Expect)

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void webAddresses_data();
    void webAddresses();
    void slowTransfersAreCutOff_data();
    void slowTransfersAreCutOff();
    void bodyWithoutLengthIsCapped_data();
    void bodyWithoutLengthIsCapped();
    void unreachableServerGivesNothing();
    void everyCallFetchesAgain();
    void webAddressHonoursSystemProxy();

    void localLocations_data();
    void localLocations();
    void fallbackPictureReachesCaller();

private:
    void checkOutcome(const LoadedPicture &loaded, Expect expect, const QImage &expected,
                      bool lossy);

    QPointer<LocalHttpServer> m_server;
};

void TestPictureLoader::init()
{
    PictureFiles::setTimeoutMsForTesting(0);
    m_server = new LocalHttpServer(this);
    QVERIFY(m_server->listen());
}

void TestPictureLoader::cleanup()
{
    PictureFiles::setTimeoutMsForTesting(0);
    delete m_server;
}

void TestPictureLoader::checkOutcome(const LoadedPicture &loaded, Expect expect,
                                     const QImage &expected, bool lossy)
{
    switch (expect) {
    case Expect::Picture:
        QVERIFY2(!loaded.error, qPrintable(loaded.errorText));
        QVERIFY(!loaded.picture.isNull());
        QCOMPARE(loaded.picture.size(), expected.size());
        if (lossy) {
            for (const QPoint centre : {QPoint(4, 4), QPoint(28, 4), QPoint(12, 20)}) {
                const QColor got = loaded.picture.pixelColor(centre);
                const QColor want = expected.pixelColor(centre);
                QVERIFY2(qAbs(got.red() - want.red()) < 24 &&
                             qAbs(got.green() - want.green()) < 24 &&
                             qAbs(got.blue() - want.blue()) < 24,
                         qPrintable(got.name() + QStringLiteral(" vs ") + want.name()));
            }
        } else {
            const QString mismatch = firstMismatch(loaded.picture, expected);
            QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        }
        break;
    case Expect::Nothing:
        QVERIFY2(!loaded.error, qPrintable(loaded.errorText));
        QVERIFY(loaded.picture.isNull());
        break;
    case Expect::Error:
        QVERIFY(loaded.error);
        QVERIFY(loaded.picture.isNull());
        QVERIFY(!loaded.errorText.isEmpty());
        break;
    }
}

void TestPictureLoader::webAddresses_data()
{
    QTest::addColumn<HttpResponse>("response");
    QTest::addColumn<Expect>("expect");
    QTest::addColumn<bool>("lossy");
    QTest::addColumn<int>("requests");

    const QImage picture = sourcePicture();
    const QByteArray png = encoded(picture, "PNG");
    const qint64 cap = PictureFiles::maxPictureBytes;

    QTest::newRow("png decoded from the first fetch")
        << pictureResponse(png, "image/png") << Expect::Picture << false << 1;
    QTest::newRow("jpeg decoded from the first fetch")
        << pictureResponse(encoded(picture, "JPEG"), "image/jpeg") << Expect::Picture << true << 1;
    QTest::newRow("gif decoded from the first fetch")
        << pictureResponse(gifOf(picture), "image/gif") << Expect::Picture << false << 1;
    QTest::newRow("bmp decoded from the first fetch")
        << pictureResponse(encoded(picture, "BMP"), "image/bmp") << Expect::Picture << false << 1;
    QTest::newRow("format sniffed from content, not from a wrong type")
        << pictureResponse(png, "text/html") << Expect::Picture << false << 1;
    QTest::newRow("picture exactly at the size cap still loads")
        << pictureResponse(paddedPng(cap), "image/png") << Expect::Picture << false << 1;

    QTest::newRow("404 is nothing and does not refetch")
        << HttpResponse::text("<html>missing</html>", "text/html", 404) << Expect::Nothing << false
        << 1;
    QTest::newRow("500 carrying a picture body is still nothing")
        << HttpResponse::text(png, "image/png", 500) << Expect::Nothing << false << 1;
    HttpResponse cut = pictureResponse(png, "image/png");
    cut.behaviour = HttpResponse::Behaviour::HangUpMidBody;
    QTest::newRow("connection dropped mid-body is nothing") << cut << Expect::Nothing << false << 1;
    QTest::newRow("one byte over the size cap is nothing")
        << pictureResponse(paddedPng(cap + 1), "image/png") << Expect::Nothing << false << 1;
    HttpResponse announced = pictureResponse(png, "image/png");
    announced.headers.append({"Content-Length", QByteArray::number(cap * 2)});
    QTest::newRow("announced length over the cap aborts without waiting for the body")
        << announced << Expect::Nothing << false << 1;

    QTest::newRow("html page is an error")
        << HttpResponse::text("<html><body>not a picture</body></html>") << Expect::Error << false
        << 1;
    QTest::newRow("empty body is an error")
        << pictureResponse(QByteArray(), "image/png") << Expect::Error << false << 1;
    QTest::newRow("truncated header is an error")
        << pictureResponse(png.left(12), "image/png") << Expect::Error << false << 1;
}

void TestPictureLoader::webAddresses()
{
    QFETCH(HttpResponse, response);
    QFETCH(Expect, expect);
    QFETCH(bool, lossy);
    QFETCH(int, requests);

    m_server->route(QStringLiteral("/pic/a.png"), response);
    const LoadedPicture loaded = LoadPicture(m_server->baseUrl() + QStringLiteral("/pic/a.png"));
    checkOutcome(loaded, expect, sourcePicture(), lossy);
    QCOMPARE(m_server->requests().size(), requests);
}

void TestPictureLoader::slowTransfersAreCutOff_data()
{
    QTest::addColumn<HttpResponse>("response");

    HttpResponse silent = pictureResponse(encoded(sourcePicture(), "PNG"), "image/png");
    silent.behaviour = HttpResponse::Behaviour::Silent;
    QTest::newRow("server never answers") << silent;

    // Data keeps arriving, so only a deadline on the whole transfer stops it.
    HttpResponse trickle = pictureResponse(paddedPng(4000), "image/png");
    trickle.behaviour = HttpResponse::Behaviour::Trickle;
    trickle.chunkBytes = 16;
    trickle.chunkDelayMs = 50;
    QTest::newRow("body trickles past the deadline") << trickle;
}

void TestPictureLoader::slowTransfersAreCutOff()
{
    QFETCH(HttpResponse, response);

    PictureFiles::setTimeoutMsForTesting(600);
    m_server->route(QStringLiteral("/slow.png"), response);
    const LoadedPicture loaded = LoadPicture(m_server->baseUrl() + QStringLiteral("/slow.png"));
    checkOutcome(loaded, Expect::Nothing, QImage(), false);
    QCOMPARE(m_server->requests().size(), 1);
}

void TestPictureLoader::bodyWithoutLengthIsCapped_data()
{
    QTest::addColumn<qint64>("bodySize");
    QTest::addColumn<Expect>("expect");

    QTest::newRow("small body ended by close loads") << qint64(2000) << Expect::Picture;
    QTest::newRow("body ended by close past the cap is nothing")
        << PictureFiles::maxPictureBytes + 1 << Expect::Nothing;
}

// No Content-Length: the cap can only be applied while the body streams in.
void TestPictureLoader::bodyWithoutLengthIsCapped()
{
    QFETCH(qint64, bodySize);
    QFETCH(Expect, expect);

    const QByteArray body = paddedPng(bodySize);
    QTcpServer raw;
    QVERIFY(raw.listen(QHostAddress::LocalHost));
    connect(&raw, &QTcpServer::newConnection, this, [&raw, &body] {
        QTcpSocket *socket = raw.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, &body] {
            if (!socket->readAll().contains("\r\n\r\n"))
                return;
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n\r\n");
            socket->write(body);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    });

    const LoadedPicture loaded =
        LoadPicture(QStringLiteral("http://127.0.0.1:%1/stream.png").arg(raw.serverPort()));
    checkOutcome(loaded, expect, sourcePicture(), false);
}

void TestPictureLoader::unreachableServerGivesNothing()
{
    const QString address = m_server->baseUrl() + QStringLiteral("/gone.png");
    delete m_server; // nobody listens on that port now
    checkOutcome(LoadPicture(address), Expect::Nothing, QImage(), false);
}

void TestPictureLoader::everyCallFetchesAgain()
{
    QImage second = sourcePicture();
    second.fill(qRgb(10, 200, 30));
    const QString address = m_server->baseUrl() + QStringLiteral("/same.png");

    m_server->route(QStringLiteral("/same.png"),
                    pictureResponse(encoded(sourcePicture(), "PNG"), "image/png"));
    checkOutcome(LoadPicture(address), Expect::Picture, sourcePicture(), false);
    m_server->route(QStringLiteral("/same.png"),
                    pictureResponse(encoded(second, "PNG"), "image/png"));
    checkOutcome(LoadPicture(address), Expect::Picture, second, false);
    QCOMPARE(m_server->requests().size(), 2);
}

void TestPictureLoader::webAddressHonoursSystemProxy()
{
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy", m_server->baseUrl().toLatin1());
    m_server->route(QStringLiteral("pictures.vantre.example/p.png"),
                    pictureResponse(encoded(sourcePicture(), "PNG"), "image/png"));

    const LoadedPicture loaded =
        LoadPicture(QStringLiteral("http://pictures.vantre.example/p.png"));
    if (saved.isEmpty())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", saved);

    checkOutcome(loaded, Expect::Picture, sourcePicture(), false);
    QCOMPARE(m_server->requests().size(), 1);
    QVERIFY(m_server->requests().constFirst().viaProxy);
}

void TestPictureLoader::localLocations_data()
{
    QTest::addColumn<QString>("fileName"); // created in the temporary folder unless empty
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("location"); // %1 = the temporary folder
    QTest::addColumn<Expect>("expect");

    const QByteArray png = encoded(sourcePicture(), "PNG");
    const QString path = QStringLiteral("%1/p.png");

    QTest::newRow("absolute path") << QStringLiteral("p.png") << png << path << Expect::Picture;
    QTest::newRow("file URL") << QStringLiteral("p.png") << png << QStringLiteral("file://%1/p.png")
                              << Expect::Picture;
    QTest::newRow("name with Chinese and spaces")
        << QStringLiteral("歌手 照片.png") << png << QStringLiteral("%1/歌手 照片.png")
        << Expect::Picture;
    QTest::newRow("gif file") << QStringLiteral("p.gif") << gifOf(sourcePicture())
                              << QStringLiteral("%1/p.gif") << Expect::Picture;

    QTest::newRow("missing file is nothing")
        << QString() << QByteArray() << QStringLiteral("%1/none.png") << Expect::Nothing;
    QTest::newRow("missing file URL is nothing")
        << QString() << QByteArray() << QStringLiteral("file://%1/none.png") << Expect::Nothing;
    QTest::newRow("folder is nothing")
        << QString() << QByteArray() << QStringLiteral("%1") << Expect::Nothing;
    QTest::newRow("file over the size cap is nothing")
        << QStringLiteral("p.png") << paddedPng(PictureFiles::maxPictureBytes + 1) << path
        << Expect::Nothing;
    QTest::newRow("empty location is nothing")
        << QString() << QByteArray() << QString() << Expect::Nothing;

    QTest::newRow("text file is an error")
        << QStringLiteral("p.png") << QByteArray("just text\r\n") << path << Expect::Error;
    QTest::newRow("empty file is an error")
        << QStringLiteral("p.png") << QByteArray() << path << Expect::Error;
    QTest::newRow("unsupported scheme is an error without any traffic")
        << QString() << QByteArray() << QStringLiteral("ftp://127.0.0.1/p.png") << Expect::Error;
}

void TestPictureLoader::localLocations()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, location);
    QFETCH(Expect, expect);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!fileName.isEmpty()) {
        QFile file(dir.filePath(fileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    const QString resolved =
        location.contains(QLatin1String("%1")) ? location.arg(dir.path()) : location;
    checkOutcome(LoadPicture(resolved), expect, sourcePicture(), false);
}

// The path loader refuses a location that looks like an unknown URL scheme;
// the basic loader then reads it as the relative file name it also is.
void TestPictureLoader::fallbackPictureReachesCaller()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("odd:p.png")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(encoded(sourcePicture(), "PNG"));
    file.close();

    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const PictureFiles::Result first = PictureFiles::loadPath(QStringLiteral("odd:p.png"));
    const LoadedPicture loaded = LoadPicture(QStringLiteral("odd:p.png"));
    QDir::setCurrent(saved);

    QCOMPARE(first.outcome, PictureFiles::Outcome::Error);
    checkOutcome(loaded, Expect::Picture, sourcePicture(), false);
}

QTEST_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
