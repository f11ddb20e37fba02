#include "platform/qt/QtHttpsClient.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace velmora {

namespace {

// Plain http would put the key on the wire; only a loopback test server may do without TLS.
bool allowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    if (url.scheme() == QLatin1String("https")) return true;
    return url.scheme() == QLatin1String("http") && QHostAddress(url.host()).isLoopback();
}

}  // namespace

QtHttpsClient::QtHttpsClient() : manager_(std::make_unique<QNetworkAccessManager>()), guard_(std::make_unique<QObject>()) {}

QtHttpsClient::QtHttpsClient(QSslConfiguration tls) : QtHttpsClient() { tls_ = std::move(tls); }

QtHttpsClient::~QtHttpsClient() = default;

void QtHttpsClient::send(HttpsRequest request, std::function<void(std::optional<HttpsResponse>)> done) {
    const QUrl url(QString::fromStdString(request.url), QUrl::StrictMode);
    if (!allowed(url)) {
        QTimer::singleShot(0, guard_.get(), [done = std::move(done)] { done(std::nullopt); });
        return;
    }
    QNetworkRequest req(url);
    for (const auto& [name, value] : request.headers)
        req.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setTransferTimeout(static_cast<int>(std::lround(request.timeoutSeconds * 1000)));
    if (tls_) req.setSslConfiguration(*tls_);

    QNetworkReply* reply = manager_->sendCustomRequest(req, QByteArray::fromStdString(request.method),
                                                       QByteArray::fromStdString(request.body));
    const auto limit = static_cast<qint64>(request.maxReplyBytes);
    // The buffer holds one byte past the limit, enough to tell a reply that is too long.
    reply->setReadBufferSize(limit + 1);
    auto tooLong = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::readyRead, guard_.get(), [reply, limit, tooLong] {
        if (reply->bytesAvailable() > limit && !*tooLong) {
            *tooLong = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, guard_.get(), [reply, limit, tooLong, done = std::move(done)] {
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
        // A status without a whole reply (timeout, reset, abort) is a failed transfer.
        const auto error = reply->error();
        const bool transportFailed = error != QNetworkReply::NoError &&
                                     (error < QNetworkReply::ContentAccessDenied || error == QNetworkReply::ProtocolFailure);
        if (*tooLong || !status.isValid() || transportFailed || body.size() > limit) return done(std::nullopt);
        done(HttpsResponse{status.toInt(), body.toStdString()});
    });
}

}  // namespace velmora
