#pragma once
#include <functional>
#include <string>

namespace velmora {

// Desktop notifications for the weekly digest.
class DigestNotifier {
public:
    virtual ~DigestNotifier() = default;
    // Shows the notification at once under the identifier "weekly-digest"; failures are not reported.
    virtual void postWeeklyDigest(const std::string& title, const std::string& body) = 0;
    // Asks for permission to show alerts; `completion` runs on the main thread with the answer.
    virtual void requestAuthorization(std::function<void(bool granted)> completion) = 0;
};

}  // namespace velmora
