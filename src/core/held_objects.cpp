#include "core/held_objects.h"

#include <QObject>
#include <QSet>

namespace vxr {

void holdUntilDestroyed(QObject* object) {
    // Never freed, so whatever it holds at exit stays reachable.
    static auto* const held = new QSet<QObject*>;
    held->insert(object);
    QObject::connect(object, &QObject::destroyed, [](QObject* gone) { held->remove(gone); });
}

} // namespace vxr
