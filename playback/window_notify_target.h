// Reports of worker threads, posted to a window as WindowMessage events.
#pragma once

#include "broadcast/notify_target.h"

class QObject;

namespace kinoverd {

class WindowNotifyTarget : public NotifyTarget {
public:
    // `window` must outlive every thread that posts through this target.
    explicit WindowNotifyTarget(QObject* window) : window_(window) {}
    void Post(int message, uintptr_t wparam, intptr_t lparam) override;

private:
    QObject* const window_;
};

}  // namespace kinoverd
