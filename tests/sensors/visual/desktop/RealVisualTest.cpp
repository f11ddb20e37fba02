#include <gtest/gtest.h>

#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "platform/linux/SystemClock.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/X11WindowList.h"
#include "platform/qt/QtHttpsClient.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtScreenCapture.h"
#include "sensors/visual/CloudVisionClient.h"
#include "sensors/visual/ScreenshotRingBuffer.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

// Runs the event loop until `done` is set; a bound keeps a broken peer from hanging the suite.
void runUntil(const bool& done, int boundMs = 30000) {
    QEventLoop loop;
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] {
        if (done) loop.quit();
    });
    guard.start(5);
    QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
    loop.exec();
}

std::vector<std::uint8_t> jpegOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return {bytes.begin(), bytes.end()};
}

// A loopback TLS server with a certificate made for this test; each connection gets `reply`
// (nothing when empty) once a whole request has arrived.
struct TlsServer {
    TempDir dir;
    QSslServer server;
    QSslCertificate certificate;
    QByteArray reply;
    QByteArray request;

    TlsServer() {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
                        "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                        QString::fromStdString(dir.file("key.pem")), "-out", QString::fromStdString(dir.file("cert.pem"))});
        EXPECT_TRUE(openssl.waitForFinished() && openssl.exitCode() == 0) << openssl.readAll().toStdString();
        QFile certFile(QString::fromStdString(dir.file("cert.pem"))), keyFile(QString::fromStdString(dir.file("key.pem")));
        certFile.open(QIODevice::ReadOnly);
        keyFile.open(QIODevice::ReadOnly);
        certificate = QSslCertificate(certFile.readAll());
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(certificate);
        tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
        server.setSslConfiguration(tls);
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                request += socket->readAll();
                const auto end = request.indexOf("\r\n\r\n");
                const auto field = request.toLower().indexOf("content-length:");
                if (end < 0 || field < 0 || reply.isEmpty()) return;
                if (request.size() >= end + 4 + request.mid(field + 15).split('\r')[0].trimmed().toInt())
                    socket->write(reply);
            });
        });
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    }
    std::string base() const { return "https://127.0.0.1:" + std::to_string(server.serverPort()); }
    QSslConfiguration trustingIt() const {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates({certificate});
        return tls;
    }
};

}  // namespace

TEST(RealTextRecognitionTest, ReadsTheLinesOfAPicture) {
    QImage picture(640, 240, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        QFont font("DejaVu Sans");
        font.setPixelSize(26);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(30, 70, "Quarterly budget review");
        painter.drawText(30, 150, "Meeting notes for Friday");
    }
    QtScheduler scheduler;
    TesseractTextRecognizer recognizer(scheduler);
    std::vector<TextRecognizer::Lines> lines;
    bool done = false;
    recognizer.recognize({jpegOf(picture), {0xFF, 0xD8, 0xFF, 0x00}, {'G', 'I', 'F'}}, [&](auto result) {
        lines = std::move(result);
        done = true;
    });
    runUntil(done);
    ASSERT_TRUE(done);
    EXPECT_EQ(lines, (std::vector<TextRecognizer::Lines>{{"Quarterly budget review", "Meeting notes for Friday"}, {}, {}}));
}

TEST(RealHttpsTest, CloudRequestOverLoopbackTls) {
    TlsServer tls;
    const std::string content = R"({"choices":[{"message":{"content":" A report appears open. "}}]})";
    tls.reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                QByteArray::number(content.size()) + "\r\nConnection: close\r\n\r\n" + QByteArray::fromStdString(content);
    QtHttpsClient http(tls.trustingIt());
    CloudVisionClient cloud(http);
    const std::vector<ScreenshotRingBuffer::Frame> frames{{Uuid::random(), Date{0}, {1, 2, 3}, {}, {}}};
    std::optional<std::string> description;
    bool done = false;
    cloud.requestCloudDescription(frames, "k-42", "Inbox", tls.base(), [&](auto text) {
        description = std::move(text);
        done = true;
    });
    runUntil(done);
    EXPECT_EQ(description, "A report appears open.");
    const QByteArray expectedBody = QByteArray::fromStdString(CloudVisionClient::requestBody(frames, "Inbox"));
    const QByteArray head = tls.request.left(tls.request.indexOf("\r\n\r\n") + 2);
    EXPECT_TRUE(head.startsWith("POST /v1/chat/completions HTTP/1.1\r\n")) << head.toStdString();
    EXPECT_TRUE(head.contains("\r\nAuthorization: Bearer k-42\r\n")) << head.toStdString();
    EXPECT_TRUE(head.contains("\r\nContent-Type: application/json\r\n")) << head.toStdString();
    EXPECT_TRUE(tls.request.endsWith("\r\n\r\n" + expectedBody));
}

TEST(RealHttpsTest, FailuresGiveNothing) {
    struct Case {
        const char* label;
        QByteArray reply;         // empty: the server never answers
        bool trusted;
        std::string url;          // empty: the server's
        std::optional<int> status;
    };
    const QByteArray mebibyte(1024 * 1024, 'x');
    const Case cases[] = {
        {"timeout", {}, true, "", std::nullopt},
        {"reply of 1 MiB", "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + mebibyte, true, "", 200},
        {"reply past 1 MiB", "HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\n" + mebibyte + "x", true, "", std::nullopt},
        {"redirect not followed", "HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n",
         true, "", 302},
        {"server error", "HTTP/1.1 500 Oops\r\nContent-Length: 2\r\n\r\n{}", true, "", 500},
        {"untrusted certificate", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n{}", false, "", std::nullopt},
        {"plain http off loopback", {}, true, "http://192.0.2.1/v1/chat/completions", std::nullopt},
    };
    for (const auto& c : cases) {
        TlsServer tls;
        tls.reply = c.reply;
        auto http = c.trusted ? std::make_unique<QtHttpsClient>(tls.trustingIt()) : std::make_unique<QtHttpsClient>();
        HttpsRequest request{c.url.empty() ? tls.base() + "/v1/chat/completions" : c.url};
        request.timeoutSeconds = 0.3;
        std::optional<HttpsResponse> response;
        bool done = false;
        http->send(request, [&](auto r) {
            response = std::move(r);
            done = true;
        });
        runUntil(done);
        ASSERT_TRUE(done) << c.label;
        EXPECT_EQ(response ? std::optional(response->status) : std::nullopt, c.status) << c.label;
    }
}

namespace {

class CountingCapture final : public ScreenCapture {
public:
    std::unique_ptr<WindowImage> captureWindow(std::uint64_t id) override {
        ++captures;
        return real.captureWindow(id);
    }
    std::optional<std::vector<std::uint8_t>> encodeJpeg(const WindowImage& i, int w, int h, double q) override {
        return real.encodeJpeg(i, w, h, q);
    }
    QtScreenCapture real;
    int captures = 0;
};

}  // namespace

TEST(RealCaptureTest, CapturesTheFrontWindowButNotAPrivateOne) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    QtScreenRecordingPermission permission;
    ASSERT_TRUE(permission.isGranted()) << "an X11 session grants screen capture";
    for (const auto& [title, captured] : {std::pair{"Painted notes", true}, std::pair{"Incognito notes", false}}) {
        QProcess child;
        child.start(VELMORA_TEST_PROGRAMS "/painted_window", {title});
        ASSERT_TRUE(child.waitForStarted());
        ASSERT_TRUE(child.waitForReadyRead(20000)) << title;
        const auto pid = static_cast<std::int32_t>(child.processId());

        X11WindowList windows;
        FakeDesktopSession desktop;  // the child is frontmost whatever else runs on the display
        desktop.apps = {{pid, {}, "painted_window", false, true}};
        CountingCapture capture;
        QtScheduler scheduler;
        SystemClock clock;
        ScreenshotRingBuffer ring(permission, desktop, windows, capture, scheduler, clock, getpid());
        const auto shown = [&] {
            for (const auto& w : windows.windows())
                if (w.ownerPid == pid && w.onScreen) return true;
            return false;
        };
        for (int i = 0; i < 200 && !shown(); ++i) QTest::qWait(50);
        ASSERT_TRUE(shown()) << title;
        ring.start(false);  // captures once at once
        EXPECT_EQ(ring.frameCount(), captured ? 1u : 0u) << title;
        EXPECT_EQ(capture.captures, captured ? 1 : 0) << title;
        if (ring.frameCount() == 1) {
            const auto& jpeg = ring.frames().back().jpegData;
            const QImage frame = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
            EXPECT_EQ(frame.size(), QSize(640, 320));
            const QColor middle = frame.pixelColor(320, 160);
            EXPECT_NEAR(middle.red(), 200, 12);
            EXPECT_NEAR(middle.green(), 30, 12);
            EXPECT_NEAR(middle.blue(), 160, 12);
        }
        child.kill();
        child.waitForFinished();
    }
}
