#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <memory>
#include <stdexcept>
#include <type_traits>

namespace velomar::test {

// A window's component by its object name ("RGrid", "FlatButton1"), the way a user finds
// it: a widget of another window (a dialog the window owns has names of its own) is not
// it. Throws when there is none, so that a test fails instead of crashing.
template <typename T>
T* Find(const QObject* window, const char* name) {
    const auto* top = qobject_cast<const QWidget*>(window);
    for (T* c : window->findChildren<T*>(QString::fromLatin1(name))) {
        if constexpr (std::is_base_of_v<QWidget, T>) {
            if (top && c->window() != top) continue;
        }
        return c;
    }
    throw std::logic_error(std::string("no component named ") + name);
}

template <typename T>
T* Find(const QObject& window, const char* name) {
    return Find<T>(&window, name);
}

template <typename T, typename W>
T* Find(const std::unique_ptr<W>& window, const char* name) {
    return Find<T>(window.get(), name);
}

}  // namespace velomar::test
