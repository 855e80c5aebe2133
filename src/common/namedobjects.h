#pragma once

#include <QMultiHash>
#include <QObject>
#include <QString>

// The named objects under a window, found in one walk of its tree. A findChild per name walks the
// whole tree each time, and giving the main window its texts looks up over a hundred names.
class NamedObjects {
public:
    explicit NamedObjects(const QObject &root)
    {
        const QList<QObject *> all = root.findChildren<QObject *>();
        // Backwards, because a multi-hash gives the latest insertion first: findChild's order.
        for (auto it = all.crbegin(); it != all.crend(); ++it) {
            if (!(*it)->objectName().isEmpty())
                m_objects.insert((*it)->objectName(), *it);
        }
    }

    // The first object of that name and type, as findChild would find it.
    template <typename T> T *find(const QString &name) const
    {
        for (auto it = m_objects.constFind(name); it != m_objects.cend() && it.key() == name; ++it) {
            if (auto *object = qobject_cast<T *>(*it))
                return object;
        }
        return nullptr;
    }

    // Every object of that type whose name begins with `prefix`.
    template <typename T> QList<T *> findStartingWith(QLatin1String prefix) const
    {
        QList<T *> found;
        for (auto it = m_objects.cbegin(); it != m_objects.cend(); ++it) {
            if (it.key().startsWith(prefix)) {
                if (auto *object = qobject_cast<T *>(*it))
                    found.append(object);
            }
        }
        return found;
    }

private:
    QMultiHash<QString, QObject *> m_objects;
};
