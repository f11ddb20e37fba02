#include "platform/qt/DBusNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

#include "platform/qt/BidiText.h"

namespace velmora {

namespace {

const char* const service = "org.freedesktop.Notifications";
const char* const path = "/org/freedesktop/Notifications";
const char* const interface = "org.freedesktop.Notifications";
constexpr int timeoutMs = 5000;

QDBusMessage call(const char* method) { return QDBusMessage::createMethodCall(service, path, interface, method); }

}  // namespace

DBusNotifier::DBusNotifier(QObject* parent) : QObject(parent) {
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call("GetCapabilities"), timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QStringList> reply = *w;
        if (reply.isValid()) bodyMarkup_ = reply.value().contains("body-markup");
        w->deleteLater();
    });
}

void DBusNotifier::postWeeklyDigest(const std::string& title, const std::string& body) {
    // As shown, a right-to-left app name is isolated so it keeps the words and figures beside it in
    // place; the digest itself stays as it was composed.
    QString text = shownSentence(body);
    // App names in the body are outside text: a server that reads markup must see them as text.
    if (bodyMarkup_) text = text.toHtmlEscaped();
    QDBusMessage message = call("Notify");
    QVariantMap hints;
    hints.insert("desktop-entry", QString("velmora"));
    hints.insert("category", QString("presence"));
    message << QString("Velmora") << shownId_ << QString() << shownSentence(title) << text << QStringList()
            << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<quint32> reply = *w;
        if (reply.isValid()) shownId_ = reply.value();
        w->deleteLater();
    });
}

void DBusNotifier::requestAuthorization(std::function<void(bool granted)> completion) {
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call("GetServerInformation"), timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [completion = std::move(completion)](QDBusPendingCallWatcher* w) {
                const bool answered = !w->isError();
                w->deleteLater();
                if (completion) completion(answered);
            });
}

}  // namespace velmora
