#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTimer>

#include <functional>

namespace app_test {

// Runs `inside` with the popup menu that the next call opens, then closes it.
inline void onNextPopup(std::function<void(QMenu&)> inside) {
    QTimer::singleShot(0, [inside] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        inside(*menu);
        menu->close();
    });
}

}  // namespace app_test
