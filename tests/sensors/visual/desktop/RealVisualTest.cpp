#include <gtest/gtest.h>

#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "platform/linux/SystemClock.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/linux/X11WindowList.h"
#include "platform/qt/QtHttpsClient.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtScreenCapture.h"
#include "sensors/visual/ScreenshotRingBuffer.h"
#include "tests/fakes/FakeSources.h"
#include "tests/fakes/TempDir.h"

using namespace velmora;

namespace {

// Calls `start` with a completion and runs the event loop until it has run; the bound only
// keeps a broken peer from hanging the suite.
template <class Result, class Start>
std::optional<Result> await(Start start) {
    std::optional<Result> result;
    QEventLoop loop;
    start([&](Result r) {
        result = std::move(r);
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (!result) loop.exec();
    return result;
}

QByteArray pem(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A loopback server, TLS with a certificate made for this test unless `plain`. Once a whole
// request has come it answers with `reply`, or never when that is empty.
struct TestServer {
    TempDir dir;
    QSslServer tlsServer;
    QTcpServer plainServer;
    QTcpServer& server;
    QSslCertificate certificate;
    QByteArray reply, request;

    explicit TestServer(bool plain = false) : server(plain ? plainServer : tlsServer) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                                  "-days", "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", QString::fromStdString(dir.file("key.pem")), "-out",
                                  QString::fromStdString(dir.file("cert.pem"))});
        EXPECT_TRUE(openssl.waitForFinished() && openssl.exitCode() == 0) << openssl.readAll().toStdString();
        certificate = QSslCertificate(pem(dir.file("cert.pem")));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(certificate);
        tls.setPrivateKey(QSslKey(pem(dir.file("key.pem")), QSsl::Ec));
        tlsServer.setSslConfiguration(tls);
        QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] {
                request += socket->readAll();
                const auto end = request.indexOf("\r\n\r\n"), field = request.toLower().indexOf("content-length:");
                if (end >= 0 && field >= 0 && !reply.isEmpty() &&
                    request.size() >= end + 4 + request.mid(field + 15).split('\r')[0].trimmed().toInt())
                    socket->write(reply);
            });
        });
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    }
    std::string url(std::string_view prefix = "https://127.0.0.1:") const {
        return std::string(prefix) + std::to_string(server.serverPort()) + "/v1/chat/completions";
    }
    QSslConfiguration trustingIt() const {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates({certificate});
        return tls;
    }
};

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

TEST(RealTextRecognitionTest, ReadsTheLinesOfAPicture) {
    QImage picture(640, 240, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    QFont font("DejaVu Sans");
    font.setPixelSize(26);
    painter.setFont(font);
    painter.drawText(30, 70, "Quarterly budget review");
    painter.drawText(30, 150, "Meeting notes for Friday");
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 90);

    QtScheduler scheduler;
    TesseractTextRecognizer recognizer(scheduler);
    const auto lines = await<std::vector<TextRecognizer::Lines>>([&](auto done) {
        recognizer.recognize({{jpeg.begin(), jpeg.end()}, {0xFF, 0xD8, 0xFF, 0x00}, {'G', 'I', 'F'}}, done);
    });
    EXPECT_EQ(lines, (std::vector<TextRecognizer::Lines>{{"Quarterly budget review", "Meeting notes for Friday"}, {}, {}}));
}

TEST(RealHttpsTest, RequestsAndTheirFailures) {
    const QByteArray mebibyte(1024 * 1024, 'x');
    const std::tuple<const char*, QByteArray, bool, std::optional<int>> cases[] = {
        {"answered", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n{\"a\"", true, 200},
        {"timeout", {}, true, std::nullopt},
        {"reply of 1 MiB", "HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + mebibyte, true, 200},
        {"reply past 1 MiB", "HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\n" + mebibyte + "x", true, std::nullopt},
        {"redirect not followed", "HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n",
         true, 302},
        {"server error", "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n", true, 500},
        {"untrusted certificate", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, std::nullopt},
        {"http://127.0.0.1:", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true, 200},
        {"http://localhost:", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true, std::nullopt},  // a name
    };
    for (const auto& [label, reply, trusted, status] : cases) {
        const bool plain = std::string_view(label).starts_with("http:");
        TestServer tls(plain);
        tls.reply = reply;
        auto http = trusted ? std::make_unique<QtHttpsClient>(tls.trustingIt()) : std::make_unique<QtHttpsClient>();
        const HttpsRequest request{plain ? tls.url(label) : tls.url(), "POST",
                                   {{"Authorization", "Bearer k-42"}, {"Content-Type", "application/json"}},
                                   "{\"model\":\"m\"}", 0.3};
        const auto answer = await<std::optional<HttpsResponse>>([&](auto done) { http->send(request, done); });
        ASSERT_TRUE(answer) << label;  // the completion ran
        const auto& response = *answer;
        EXPECT_EQ(response ? std::optional(response->status) : std::nullopt, status) << label;
        if (response && response->status == 200) {
            EXPECT_EQ(response->body.size(), reply.size() - reply.indexOf("\r\n\r\n") - 4) << label;
        }
        if (label == std::string_view("answered")) {  // what went over the wire
            const QByteArray head = tls.request.left(tls.request.indexOf("\r\n\r\n") + 2);
            EXPECT_TRUE(head.startsWith("POST /v1/chat/completions HTTP/1.1\r\n")) << head.toStdString();
            EXPECT_TRUE(head.contains("\r\nAuthorization: Bearer k-42\r\n")) << head.toStdString();
            EXPECT_TRUE(head.contains("\r\nContent-Type: application/json\r\n")) << head.toStdString();
            EXPECT_TRUE(tls.request.endsWith("\r\n\r\n{\"model\":\"m\"}"));
        }
    }
}

TEST(RealCaptureTest, CapturesTheFrontWindowButNotAPrivateOne) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    QtScreenRecordingPermission permission;
    ASSERT_TRUE(permission.isGranted()) << "an X11 session grants screen capture";
    for (const auto& [title, captured] : {std::pair{"Painted notes", true}, std::pair{"Incognito notes", false}}) {
        QProcess child;
        child.start(VELMORA_TEST_PROGRAMS "/painted_window", {title});
        ASSERT_TRUE(child.waitForReadyRead(20000)) << title;
        const auto pid = static_cast<std::int32_t>(child.processId());
        X11WindowList windows;
        const auto shown = [&] {
            for (const auto& w : windows.windows())
                if (w.ownerPid == pid && w.onScreen) return true;
            return false;
        };
        for (int i = 0; i < 200 && !shown(); ++i) QTest::qWait(50);
        ASSERT_TRUE(shown()) << title;

        FakeDesktopSession desktop;  // the child is frontmost whatever else runs on the display
        desktop.apps = {{pid, {}, "painted_window", false, true}};
        CountingCapture capture;
        QtScheduler scheduler;
        SystemClock clock;
        ScreenshotRingBuffer ring(permission, desktop, windows, capture, scheduler, clock, getpid());
        ring.start(false);  // captures once at once
        EXPECT_EQ(capture.captures, captured ? 1 : 0) << title;
        ASSERT_EQ(ring.frameCount(), captured ? 1u : 0u) << title;
        if (captured) {
            const auto& jpeg = ring.frames().back().jpegData;
            const QImage frame = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
            EXPECT_EQ(frame.size(), QSize(640, 320));
            const QColor middle = frame.pixelColor(320, 160);  // the window's own colour
            EXPECT_NEAR(middle.red(), 200, 12);
            EXPECT_NEAR(middle.green(), 30, 12);
            EXPECT_NEAR(middle.blue(), 160, 12);
        }
        child.kill();
        child.waitForFinished();
    }
}

namespace {

// Waits for a line the child writes; false when it ends or says nothing for long.
bool awaitLine(QProcess& child, const QByteArray& line) {
    while (child.waitForReadyRead(20000))
        while (child.canReadLine())
            if (child.readLine().trimmed() == line) return true;
    return false;
}

// The picture taken of a window at its own size, decoded again; null when none was taken.
QImage captured(QtScreenCapture& capture, std::uint64_t window) {
    const auto image = capture.captureWindow(window);
    if (!image) return {};
    const auto jpeg = capture.encodeJpeg(*image, image->width(), image->height(), 0.9);
    return jpeg ? QImage::fromData(jpeg->data(), static_cast<int>(jpeg->size()), "JPEG") : QImage();
}

bool magenta(const QColor& c) {  // the painted window's own colour, not the covering green
    return std::abs(c.red() - 200) < 40 && std::abs(c.green() - 30) < 40 && std::abs(c.blue() - 160) < 40;
}

}  // namespace

TEST(RealCaptureTest, NoFrameWhileAnotherWindowLiesOverTheTarget) {
    if (!std::getenv("VELMORA_DESKTOP")) GTEST_SKIP() << "needs scripts/with-desktop.sh";
    QProcess target;
    target.start(VELMORA_TEST_PROGRAMS "/painted_window", {"Painted notes"});
    ASSERT_TRUE(target.waitForReadyRead(20000));
    X11WindowList windows;
    const auto find = [&](std::int64_t pid) -> std::optional<ListedWindow> {
        for (const auto& w : windows.windows())
            if (w.ownerPid == pid && w.onScreen) return w;
        return std::nullopt;
    };
    std::optional<ListedWindow> shown;
    for (int i = 0; i < 200 && !(shown = find(target.processId())); ++i) QTest::qWait(50);
    ASSERT_TRUE(shown);
    const int tx = static_cast<int>(shown->bounds.x), ty = static_cast<int>(shown->bounds.y);
    ASSERT_EQ(shown->bounds.width, 800);
    ASSERT_EQ(shown->bounds.height, 400);
    // A place clear of the target for a 300 × 150 window and its frame: below it, else above.
    const QPoint clear(tx, ty + 400 + 200 <= 800 ? ty + 450 : ty - 250);

    QtScreenCapture capture;
    struct Case {
        const char* label;
        const char* kind;
        QPoint at;
        QSize size;
        bool frame;
    };
    const Case cases[] = {
        {"private window over a corner", "normal", {tx + 600, ty + 250}, {300, 200}, false},
        {"widget on top, inside", "above", {tx + 300, ty + 100}, {200, 120}, false},
        {"override-redirect over the left edge", "override", {tx - 50, ty + 100}, {100, 100}, false},
        {"override-redirect touching the right edge", "override", {tx + 800, ty + 100}, {100, 100}, true},
        {"override-redirect touching the bottom edge", "override", {tx + 100, ty + 400}, {100, 100}, true},
        {"private window beside it", "normal", clear, {300, 150}, true},
    };
    for (const auto& c : cases) {
        // Alone, the target is read; each case starts from there.
        QImage before;
        for (int i = 0; i < 100 && (before = captured(capture, shown->windowId)).isNull(); ++i) QTest::qWait(50);
        ASSERT_FALSE(before.isNull()) << c.label;

        QProcess cover;
        cover.start(VELMORA_TEST_PROGRAMS "/covering_window",
                    {c.kind, QString::number(c.at.x()), QString::number(c.at.y()), QString::number(c.size.width()),
                     QString::number(c.size.height()), "Private Browsing - Mozilla Firefox"});
        ASSERT_TRUE(awaitLine(cover, "ready")) << c.label;
        if (std::string_view(c.kind) == "normal") {  // the window manager lists it once it is up
            std::optional<ListedWindow> listed;
            for (int i = 0; i < 200 && !(listed = find(cover.processId())); ++i) QTest::qWait(50);
            ASSERT_TRUE(listed) << c.label;
        }
        const QImage frame = captured(capture, shown->windowId);
        EXPECT_EQ(!frame.isNull(), c.frame) << c.label;
        if (!frame.isNull()) {
            EXPECT_EQ(frame.size(), QSize(800, 400)) << c.label;
            for (const QPoint p : {QPoint(0, 0), QPoint(20, 150), QPoint(700, 350), QPoint(799, 150), QPoint(150, 399),
                                   QPoint(400, 200)})
                EXPECT_TRUE(magenta(frame.pixelColor(p))) << c.label << " at " << p.x() << "," << p.y();
        }
        cover.kill();
        cover.waitForFinished();
    }

    // A covering window that moves away lets the next capture through, in the ring too.
    QProcess cover;
    cover.start(VELMORA_TEST_PROGRAMS "/covering_window",
                {"override", QString::number(tx + 350), QString::number(ty + 150), "100", "100"});
    ASSERT_TRUE(awaitLine(cover, "ready"));
    FakeDesktopSession desktop;
    desktop.apps = {{static_cast<std::int32_t>(target.processId()), {}, "painted_window", false, true}};
    QtScreenRecordingPermission permission;
    QtScheduler scheduler;
    SystemClock clock;
    ScreenshotRingBuffer ring(permission, desktop, windows, capture, scheduler, clock, getpid());
    ring.start(false);
    EXPECT_EQ(ring.frameCount(), 0u);
    cover.write(QByteArray("move ") + QByteArray::number(clear.x()) + " " + QByteArray::number(clear.y()) + "\n");
    ASSERT_TRUE(awaitLine(cover, "moved"));
    ring.captureNow();
    ASSERT_EQ(ring.frameCount(), 1u);
    const auto& jpeg = ring.frames().back().jpegData;
    const QImage frame = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
    EXPECT_TRUE(magenta(frame.pixelColor(frame.width() / 2, frame.height() / 2)));
    cover.kill();
    cover.waitForFinished();
    target.kill();
    target.waitForFinished();
    // A window gone by the time it is read gives nothing, as does an id that never was one.
    bool read = true;
    for (int i = 0; i < 100 && read; ++i) {
        read = !captured(capture, shown->windowId).isNull();
        if (read) QTest::qWait(50);
    }
    EXPECT_FALSE(read);
    EXPECT_EQ(capture.captureWindow(0x7fffffff), nullptr);
}
