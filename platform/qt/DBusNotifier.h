#pragma once
#include <QObject>

#include "platform/DigestNotifier.h"

namespace velmora {

// The weekly digest through the desktop's notification service (org.freedesktop.Notifications on
// the session bus). A new digest replaces the one still on screen. Permission is the service
// answering: a desktop without one has no notifications to give.
class DBusNotifier final : public QObject, public DigestNotifier {
    Q_OBJECT
public:
    explicit DBusNotifier(QObject* parent = nullptr);
    void postWeeklyDigest(const std::string& title, const std::string& body) override;
    void requestAuthorization(std::function<void(bool granted)> completion) override;

private:
    quint32 shownId_ = 0;    // the digest on screen, replaced by the next
    bool bodyMarkup_ = true;  // until the server says otherwise, escape as if it read markup
};

}  // namespace velmora
