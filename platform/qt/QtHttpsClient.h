#pragma once
#include <memory>
#include <optional>

#include <QObject>
#include <QSslConfiguration>

#include "platform/HttpsClient.h"

class QNetworkAccessManager;

namespace velmora {

// HTTPS through Qt Network on the thread that built it: certificates checked, redirects not
// followed, replies held to their size limit.
class QtHttpsClient final : public HttpsClient {
public:
    // Trusts the system's certificate authorities.
    QtHttpsClient();
    // Trusts what `tls` says instead (a test's own certificate).
    explicit QtHttpsClient(QSslConfiguration tls);
    ~QtHttpsClient() override;

    void send(HttpsRequest request, std::function<void(std::optional<HttpsResponse>)> done) override;

private:
    std::unique_ptr<QNetworkAccessManager> manager_;
    std::optional<QSslConfiguration> tls_;
    // Replies report through this; it goes first, so no reply reports into a client being destroyed.
    std::unique_ptr<QObject> guard_;
};

}  // namespace velmora
