#include "StoredResources.h"

#include <QtGlobal>

void initStoredResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(tandra);
        return true;
    }();
    Q_UNUSED(registered);
}
