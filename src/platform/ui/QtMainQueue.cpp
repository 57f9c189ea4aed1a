#include "QtMainQueue.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace sorvel {

QtMainQueue::QtMainQueue() : DispatchQueue("com.sorvel.main") {}

void QtMainQueue::async(Block block) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QMetaObject::invokeMethod(app, std::move(block), Qt::QueuedConnection);
}

}  // namespace sorvel
