// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <memory>

/// Deleter for objects that may be released from inside one of their own signals
/// (a socket handler that ends its own connection): the object goes when control
/// is back in the event loop.
struct CDeleteLater {
    void operator()(QObject* object) const {
        if (object != nullptr)
            object->deleteLater();
    }
};

template <class T> using LaterPtr = std::unique_ptr<T, CDeleteLater>;
